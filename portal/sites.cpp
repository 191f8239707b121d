#include "portal/sites.h"

#include <algorithm>

namespace portal {

std::string HttpUrl(std::string_view site, std::string_view path) {
    return "http://" + std::string(site) + std::string(path);
}

std::string PlayLink(const Sites& sites, const Torrent& torrent) {
    return HttpUrl(sites.portal, "/magnet?info_hash=" + torrent.infoHash);
}

std::string TorrentLink(const Sites& sites, const Torrent& torrent) {
    return HttpUrl(sites.portal, "/torrent?info_hash=" + torrent.infoHash);
}

std::string SaveLink(const Sites& sites, const Torrent& torrent) {
    return HttpUrl(sites.cacheB, CacheBPath(torrent.infoHash));
}

std::string CacheAPath(std::string_view infoHash) {
    const std::string hash(infoHash);
    return "/torrents/" + hash.substr(0, 2) + '/' + hash.substr(2, 2) + '/' + hash + ".torrent";
}

std::string CacheBPath(std::string_view infoHash) {
    return "/files/" + std::string(infoHash) + ".torrent";
}

std::string PlayerPath(std::string_view infoHash) {
    return "/lumacast/api.html?url=magnet:?xt=urn:btih:" + std::string(infoHash);
}

std::string PlayerFilePath(std::string_view infoHash, std::size_t index) {
    return "/lumacast/files/" + std::string(infoHash) + '/' + std::to_string(index);
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        decoded += low >= 0 ? static_cast<char>(high * 16 + low) : text[i];
        if (low >= 0)
            i += 2;
    }
    return decoded;
}

std::multimap<std::string, std::string> QueryParameters(std::string_view target) {
    std::multimap<std::string, std::string> parameters;
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos)
        return parameters;
    std::string query(target.substr(question + 1));
    query.resize(query.find('#') == std::string::npos ? query.size() : query.find('#'));
    std::ranges::replace(query, '+', ' ');
    for (std::size_t start = 0; start <= query.size();) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view parameter = std::string_view(query).substr(start, end - start);
        if (!parameter.empty()) {
            const std::size_t equals = parameter.find('=');
            parameters.emplace(PercentDecoded(parameter.substr(0, equals)),
                               equals == std::string_view::npos
                                   ? std::string()
                                   : PercentDecoded(parameter.substr(equals + 1)));
        }
        start = end + 1;
    }
    return parameters;
}

std::string_view MagnetInfoHash(std::string_view magnet) {
    constexpr std::string_view marker = "urn:btih:";
    if (!magnet.starts_with("magnet:?"))
        return {};
    const std::size_t at = magnet.find(marker);
    if (at == std::string_view::npos)
        return {};
    const std::string_view rest = magnet.substr(at + marker.size());
    return rest.substr(0, rest.find('&'));
}

std::string UpdatePackageName() {
    return "lodestone-" + std::string(LatestVersion) + ".tar.gz";
}

std::string DownloadPath(std::string_view fileName) {
    return "/download/" + std::string(fileName);
}

} // namespace portal
