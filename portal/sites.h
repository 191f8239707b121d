#pragma once
// The five sites the portal serves and the addresses its pages link to. The
// client finds them by their exact form, so they are built in one place.

#include "portal/torrent.h"

#include <map>
#include <string>
#include <string_view>

namespace portal {

// Each site's "host:port", as it appears in links.
struct Sites {
    std::string portal; // client page, torrent pages
    std::string player; // streaming-player page
    std::string cacheA; // torrent cache A
    std::string cacheB; // torrent cache B
    std::string notice; // update notice, share page, downloads
};

inline constexpr std::string_view ClientPath = "/client?v=varnholt&c=0&so=0&t=";
inline constexpr std::string_view ClientVersion = "20130906"; // the client's own build stamp
inline constexpr std::string_view LatestVersion = "20261201";
inline constexpr std::string_view ShareId = "1";

std::string HttpUrl(std::string_view site, std::string_view path);

// Links of the result list: the play link holds "magnet" and ends in
// "info_hash=<hash>", which is all the client takes from it; the torrent link
// holds "torrent?info_hash=<hash>".
std::string PlayLink(const Sites& sites, const Torrent& torrent);
std::string TorrentLink(const Sites& sites, const Torrent& torrent);
// The .torrent file itself, as an attachment to save: a plain link that holds
// neither marker, so the client leaves it to the browser's download.
std::string SaveLink(const Sites& sites, const Torrent& torrent);

// Where the caches keep a torrent. They use different layouts: the client
// takes both addresses from the torrent page and never builds them.
std::string CacheAPath(std::string_view infoHash);
std::string CacheBPath(std::string_view infoHash);

// The player page for a hash, with the magnet URI unencoded in the query.
std::string PlayerPath(std::string_view infoHash);
// Where the player serves a torrent's file, by its place in the torrent, so
// that no other file can be named.
std::string PlayerFilePath(std::string_view infoHash, std::size_t index);
// Each "%XY" with two hex digits becomes its byte; everything else stays.
std::string PercentDecoded(std::string_view text);
// The parameters of a request target's query, percent-decoded ('+' is a
// space), in their order. Taken from the raw target as browsers send it: the
// query starts at the first '?' and a name ends at its first '=', so a magnet
// URI in a value arrives whole, whatever '?' and '=' it holds.
std::multimap<std::string, std::string> QueryParameters(std::string_view target);
// The hash in a magnet URI: what follows "urn:btih:" up to '&'; empty when none.
std::string_view MagnetInfoHash(std::string_view magnet);

std::string UpdatePackageName(); // "lodestone-<LatestVersion>.tar.gz"
std::string DownloadPath(std::string_view fileName);

} // namespace portal
