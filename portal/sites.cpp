#include "portal/sites.h"

#include "text/text.h"

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

std::optional<std::string> QueryValue(std::string_view target, std::string_view name) {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos)
        return std::nullopt;
    std::string_view query = target.substr(question + 1);
    query = query.substr(0, query.find('#'));
    while (true) {
        const std::size_t end = query.find('&');
        const std::string_view parameter = query.substr(0, end);
        const std::size_t equals = parameter.find('=');
        if (text::PercentDecoded(parameter.substr(0, equals)) == name)
            return equals == std::string_view::npos
                       ? std::string()
                       : text::PercentDecoded(parameter.substr(equals + 1));
        if (end == std::string_view::npos)
            return std::nullopt;
        query.remove_prefix(end + 1);
    }
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
