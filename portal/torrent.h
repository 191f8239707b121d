#pragma once
// A torrent the portal makes from one of its sample files or folders: the
// bencoded .torrent file and what the pages show of it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace portal {

inline constexpr std::size_t PieceLength = 16 * 1024;
// No tracker runs there; clients only need a well-formed announce address.
inline constexpr std::string_view AnnounceUrl = "http://127.0.0.1:6969/announce";

struct TorrentFile {
    std::string path; // relative to the torrent's folder, '/'-separated
    std::uint64_t length = 0;
    std::filesystem::path source; // the portal's own copy, which the player serves
};

struct Torrent {
    std::string title;              // UTF-8, shown on the pages
    std::string name;               // the info dictionary's name
    bool multiFile = false;         // made from a folder
    std::vector<TorrentFile> files; // a single-file torrent has one, named like the torrent
    std::uint64_t totalLength = 0;
    std::string infoHash; // 40 upper-case hexadecimal digits
    std::string metainfo; // the .torrent file
};

// Makes the torrent of a regular file, or of every regular file below a
// folder (sorted by path). Nothing on failure, with the reason in `error`.
std::optional<Torrent> MakeTorrent(const std::filesystem::path& source, std::string title,
                                   std::string& error);

// "magnet:?xt=urn:btih:<hash>&dn=<name>", the name percent-encoded.
std::string MagnetUri(const Torrent& torrent);

} // namespace portal
