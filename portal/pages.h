#pragma once
// The HTML pages of the five sites, all UTF-8. Anything that comes from a
// request is escaped before it is placed in a page.

#include "portal/catalogue.h"
#include "portal/sites.h"

#include <string>
#include <string_view>

namespace portal {

// The query of the client page; the search form sends v, c and so back as
// they came.
struct ClientQuery {
    std::string v = "varnholt";
    std::string c = "0";
    std::string so = "0";
    std::string t; // the search words
};

std::string ClientPage(const Catalogue& catalogue, const Sites& sites, const ClientQuery& query);

// The client cuts each cache address out of this page from the first
// "http://" + cache host to the first "\" class=" after it, so the links come
// before anything else that could hold those addresses.
std::string TorrentPage(const Torrent& torrent, const Sites& sites);

std::string PlayerPage(const Torrent& torrent);
std::string PlayerHelpPage();

// The update notice in the shape the client reads: "软件更新", then
// "最新版本号：<version></p><p>下载地址：<share address, & written as &amp;>
// </p><p><br /></p> </div>".
std::string NoticePage(const Sites& sites, std::string_view version);

// The share page: "百度网盘" and the direct link inside a script as
// dlink\":\"<link, each '/' written as \\/>\"}";disk.util
std::string SharePage(const Sites& sites);

std::string ErrorPage(int status);

} // namespace portal
