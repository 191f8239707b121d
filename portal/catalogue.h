#pragma once
// The portal's catalogue: the torrents it makes at start from the samples it
// ships, found by info-hash or by a search.
//
// The data folder holds catalogue.tsv, one entry a line: a file or folder
// below samples/, a tab, the title the pages show. Empty lines and lines that
// begin with '#' are skipped.

#include "portal/torrent.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace portal {

class Catalogue final {
  public:
    // Nothing on failure, with the reason in `error`.
    static std::optional<Catalogue> Load(const std::filesystem::path& dataFolder,
                                         std::string& error);

    const std::vector<Torrent>& Torrents() const { return torrents_; }

    // The torrent with this info-hash, in either letter case; null when none.
    const Torrent* Find(std::string_view infoHash) const;

    // The torrents that hold every word of the query (split at spaces, the
    // ideographic space included) in their title, name or info-hash, ASCII
    // letters in either case. An empty query finds everything.
    std::vector<const Torrent*> Search(std::string_view query) const;

  private:
    std::vector<Torrent> torrents_;
};

} // namespace portal
