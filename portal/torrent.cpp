#include "portal/torrent.h"

#include "portal/bencode.h"
#include "portal/readfile.h"
#include "portal/sha1.h"

#include <algorithm>

namespace portal {
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> FilesBelow(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), folder));
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.generic_string() < b.generic_string();
    });
    return files;
}

std::string PieceHashes(std::string_view content) {
    std::string hashes;
    for (std::size_t offset = 0; offset < content.size(); offset += PieceLength)
        hashes += Sha1(content.substr(offset, PieceLength));
    return hashes;
}

std::string EncodedFileList(const std::vector<TorrentFile>& files) {
    std::vector<std::string> list;
    for (const TorrentFile& file : files) {
        std::vector<std::string> components;
        for (const auto& component : fs::path(file.path))
            components.push_back(BencodeString(component.string()));
        list.push_back(BencodeDictionary({{"length", BencodeInteger(std::int64_t(file.length))},
                                          {"path", BencodeList(components)}}));
    }
    return BencodeList(list);
}

} // namespace

std::optional<Torrent> MakeTorrent(const fs::path& source, std::string title, std::string& error) {
    std::error_code code;
    const bool folder = fs::is_directory(source, code);
    if (!folder && !fs::is_regular_file(source, code)) {
        error = "no such sample file or folder: " + source.string();
        return std::nullopt;
    }
    Torrent torrent;
    torrent.title = std::move(title);
    torrent.name = source.filename().string();
    torrent.multiFile = folder;
    const std::vector<fs::path> paths =
        folder ? FilesBelow(source) : std::vector<fs::path>{source.filename()};
    if (paths.empty()) {
        error = "sample folder holds no files: " + source.string();
        return std::nullopt;
    }
    std::string content; // every file in order, as the pieces see them
    for (const fs::path& path : paths) {
        const fs::path file = folder ? source / path : source;
        std::optional<std::string> bytes = ReadFile(file);
        if (!bytes) {
            error = "cannot read " + file.string();
            return std::nullopt;
        }
        torrent.files.push_back({path.generic_string(), bytes->size(), file});
        content += *bytes;
    }
    torrent.totalLength = content.size();

    BencodedEntries info{{"name", BencodeString(torrent.name)},
                         {"piece length", BencodeInteger(PieceLength)},
                         {"pieces", BencodeString(PieceHashes(content))}};
    if (folder)
        info["files"] = EncodedFileList(torrent.files);
    else
        info["length"] = BencodeInteger(std::int64_t(torrent.totalLength));
    const std::string encodedInfo = BencodeDictionary(info);
    torrent.infoHash = HexUpper(Sha1(encodedInfo));
    // No creation date, so the same samples always give the same files.
    torrent.metainfo = BencodeDictionary({{"announce", BencodeString(AnnounceUrl)},
                                          {"comment", BencodeString(torrent.title)},
                                          {"created by", BencodeString("lodestone-portal")},
                                          {"encoding", BencodeString("UTF-8")},
                                          {"info", encodedInfo}});
    return torrent;
}

std::string MagnetUri(const Torrent& torrent) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : torrent.name) {
        const bool unreserved = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                                (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            name += char(c);
        } else {
            name += '%';
            name += digits[c >> 4];
            name += digits[c & 0xF];
        }
    }
    return "magnet:?xt=urn:btih:" + torrent.infoHash + "&dn=" + name;
}

} // namespace portal
