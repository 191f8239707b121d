#include "portal/catalogue.h"

#include <algorithm>
#include <fstream>

namespace portal {
namespace fs = std::filesystem;

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
    return lower;
}

std::vector<std::string> QueryWords(std::string_view query) {
    std::string spaced(query);
    // Chinese input methods type the ideographic space (U+3000).
    for (std::size_t at; (at = spaced.find("\xE3\x80\x80")) != std::string::npos;)
        spaced.replace(at, 3, " ");
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < spaced.size()) {
        const std::size_t end = std::min(spaced.find_first_of(" \t\r\n", start), spaced.size());
        if (end > start)
            words.push_back(AsciiLower(std::string_view(spaced).substr(start, end - start)));
        start = end + 1;
    }
    return words;
}

bool StaysInside(const fs::path& relative) {
    if (relative.empty() || relative.is_absolute())
        return false;
    return std::none_of(relative.begin(), relative.end(),
                        [](const fs::path& part) { return part == ".."; });
}

} // namespace

std::optional<Catalogue> Catalogue::Load(const fs::path& dataFolder, std::string& error) {
    const fs::path listPath = dataFolder / "catalogue.tsv";
    std::ifstream list(listPath);
    if (!list) {
        error = "cannot read " + listPath.string();
        return std::nullopt;
    }
    Catalogue catalogue;
    int lineNumber = 0;
    for (std::string line; std::getline(list, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t tab = line.find('\t');
        const fs::path relative = line.substr(0, tab);
        const std::string where = listPath.string() + ":" + std::to_string(lineNumber) + ": ";
        if (tab == std::string::npos || tab + 1 == line.size() || !StaysInside(relative)) {
            error = where + "expected a path below samples/, a tab and a title";
            return std::nullopt;
        }
        std::optional<Torrent> torrent =
            MakeTorrent(dataFolder / "samples" / relative, line.substr(tab + 1), error);
        if (!torrent) {
            error = where + error;
            return std::nullopt;
        }
        if (catalogue.Find(torrent->infoHash)) {
            error = where + "same torrent as an earlier entry";
            return std::nullopt;
        }
        catalogue.torrents_.push_back(std::move(*torrent));
    }
    if (catalogue.torrents_.empty()) {
        error = listPath.string() + " lists no samples";
        return std::nullopt;
    }
    return catalogue;
}

const Torrent* Catalogue::Find(std::string_view infoHash) const {
    const std::string wanted = AsciiLower(infoHash);
    for (const Torrent& torrent : torrents_)
        if (AsciiLower(torrent.infoHash) == wanted)
            return &torrent;
    return nullptr;
}

std::vector<const Torrent*> Catalogue::Search(std::string_view query) const {
    const std::vector<std::string> words = QueryWords(query);
    std::vector<const Torrent*> found;
    for (const Torrent& torrent : torrents_) {
        const std::string haystack =
            AsciiLower(torrent.title + '\n' + torrent.name + '\n' + torrent.infoHash);
        if (std::all_of(words.begin(), words.end(), [&](const std::string& word) {
                return haystack.find(word) != std::string::npos;
            }))
            found.push_back(&torrent);
    }
    return found;
}

} // namespace portal
