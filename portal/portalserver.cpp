#include "portal/portalserver.h"

#include "portal/byterange.h"
#include "portal/mediatype.h"
#include "portal/pages.h"

#include <sys/socket.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>

namespace portal {

using httplib::Request;
using httplib::Response;

namespace {

constexpr const char* HtmlType = "text/html; charset=utf-8";
constexpr std::size_t FileChunkSize = 64 * 1024; // read from a file at once

void SendPage(Response& response, const std::string& html) {
    response.set_content(html, HtmlType);
}

void SendFile(Response& response, const std::string& fileName, const std::string& bytes,
              const char* type) {
    response.set_header("Content-Disposition", "attachment; filename=\"" + fileName + '"');
    response.set_content(bytes, type);
}

std::string ParamOr(const Request& request, const char* key, std::string fallback) {
    return request.has_param(key) ? request.get_param_value(key) : fallback;
}

// Request targets can hold anything; keep control bytes off the terminal.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

} // namespace

char SlowDownloadByte(std::size_t offset) {
    constexpr std::string_view pattern = "lodestone slow download\n";
    return pattern[offset % pattern.size()];
}

PortalServer::PortalServer(const Catalogue& catalogue, std::string updatePackage, bool verbose)
    : catalogue_(catalogue), updatePackage_(std::move(updatePackage)), verbose_(verbose) {
    // The library's default also sets SO_REUSEPORT, which would let a second
    // portal share the ports silently instead of failing to start.
    for (httplib::Server* server : Servers()) {
        server->set_socket_options([](socket_t sock) {
            const int yes = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        server->set_keep_alive_max_count(1); // one request per connection
    }
}

PortalServer::~PortalServer() {
    Stop();
}

std::vector<httplib::Server*> PortalServer::Servers() {
    return {&portal_, &player_, &cacheA_, &cacheB_, &notice_};
}

bool PortalServer::Bind(const std::string& host, int basePort, std::string& error) {
    const std::vector<std::string*> addresses{&sites_.portal, &sites_.player, &sites_.cacheA,
                                              &sites_.cacheB, &sites_.notice};
    const std::vector<httplib::Server*> servers = Servers();
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const int wanted = basePort == 0 ? 0 : basePort + int(i);
        const int port = wanted == 0 ? servers[i]->bind_to_any_port(host)
                                     : (servers[i]->bind_to_port(host, wanted) ? wanted : -1);
        if (port <= 0) {
            error = "cannot listen on " + host + ':' + std::to_string(wanted);
            return false;
        }
        *addresses[i] = host + ':' + std::to_string(port);
    }
    RoutePortal();
    RoutePlayer();
    RouteCache(cacheA_, CacheAPath);
    RouteCache(cacheB_, CacheBPath);
    RouteNotice();
    for (std::size_t i = 0; i < servers.size(); ++i)
        SetCommonHandlers(*servers[i], *addresses[i]);
    return true;
}

void PortalServer::Start() {
    for (httplib::Server* server : Servers())
        listeners_.emplace_back([server] { server->listen_after_bind(); });
    // The library's stop() does nothing to a server that is not running yet.
    for (httplib::Server* server : Servers())
        while (!server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PortalServer::Stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopRequested_.notify_all();
    for (httplib::Server* server : Servers())
        server->stop();
    for (std::thread& listener : listeners_)
        listener.join();
    listeners_.clear();
}

bool PortalServer::StopRequestedWithin(std::chrono::milliseconds wait) {
    std::unique_lock lock(stopMutex_);
    return stopRequested_.wait_for(lock, wait, [this] { return stopping_; });
}

void PortalServer::SetCommonHandlers(httplib::Server& server, const std::string& site) {
    server.set_pre_routing_handler([this, &server](const Request& request, Response& response) {
        Dispatch(server, request, response);
        return httplib::Server::HandlerResponse::Handled;
    });
    // Pages for the failures of the library's own. Some versions of it refuse
    // a second '?' in a target with 400 before routing, as browsers send the
    // player's magnet URI: such a request is routed from here.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [this, &server](const Request& request, Response& response) {
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            const std::string_view target = request.target;
            if (response.status == 400 && target.starts_with('/') &&
                target.find('?', target.find('?') + 1) != std::string_view::npos) {
                response.status = 200;
                Dispatch(server, request, response);
            } else {
                SendPage(response, ErrorPage(response.status));
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const Request&, Response& response, std::exception_ptr) { response.status = 500; });
    if (verbose_)
        server.set_logger([this, site](const Request& request, const Response& response) {
            std::lock_guard lock(logMutex_);
            std::cout << site << ' ' << request.method << ' ' << Printable(request.target) << ' '
                      << response.status << std::endl;
        });
}

// Routing is the portal's own, on the raw target (see QueryParameters): the
// library's own splits a parameter at its last '=' in some versions.
void PortalServer::Get(httplib::Server& server, const char* pattern, Handler handler) {
    routes_[&server].push_back({std::regex(pattern), std::move(handler)});
}

// Handlers only set the status of a failure; the page comes from here.
void PortalServer::Dispatch(const httplib::Server& server, const Request& received,
                            Response& response) {
    // Ranges are answered here (ServeFile) and nowhere else: the library
    // would cut every reply to the ranges it parsed, each version its own
    // way, pages and error pages included. The request is the library's
    // own, not const, and it reads the ranges only after this handler.
    const_cast<Request&>(received).ranges.clear();
    if (received.method != "GET" && received.method != "HEAD") {
        response.status = 405;
        response.set_header("Allow", "GET, HEAD");
    } else {
        Request request = received;
        const std::string_view target = request.target;
        request.path = PercentDecoded(target.substr(0, target.find('?')));
        request.params = QueryParameters(target);
        const std::vector<Route>& routes = routes_.at(&server);
        const auto route = std::ranges::find_if(routes, [&request](const Route& each) {
            return std::regex_match(request.path, request.matches, each.path);
        });
        if (route == routes.end())
            response.status = 404;
        else
            route->handler(request, response);
    }
    if (response.status >= 400 && response.body.empty())
        SendPage(response, ErrorPage(response.status));
}

void PortalServer::RoutePortal() {
    Get(portal_, "/",
        [](const Request&, Response& response) { response.set_redirect(std::string(ClientPath)); });
    Get(portal_, "/client", [this](const Request& request, Response& response) {
        ClientQuery query;
        query.v = ParamOr(request, "v", query.v);
        query.c = ParamOr(request, "c", query.c);
        query.so = ParamOr(request, "so", query.so);
        query.t = ParamOr(request, "t", "");
        SendPage(response, ClientPage(catalogue_, sites_, query));
    });
    Get(portal_, "/torrent", [this](const Request& request, Response& response) {
        if (!request.has_param("info_hash")) {
            response.status = 400;
        } else if (const Torrent* torrent = catalogue_.Find(request.get_param_value("info_hash"))) {
            SendPage(response, TorrentPage(*torrent, sites_));
        } else {
            response.status = 404;
        }
    });
    // Play links lead here, so that a browser other than the client's also
    // reaches the player.
    Get(portal_, "/magnet", [this](const Request& request, Response& response) {
        if (const Torrent* torrent = catalogue_.Find(request.get_param_value("info_hash")))
            response.set_redirect(HttpUrl(sites_.player, PlayerPath(torrent->infoHash)));
        else
            response.status = 404;
    });
}

void PortalServer::RoutePlayer() {
    // The magnet URI in the query is unencoded and holds '?' and '='.
    Get(player_, R"(/lumacast/api\.html)", [this](const Request& request, Response& response) {
        const std::string magnet = request.get_param_value("url");
        if (!magnet.starts_with("magnet:?"))
            response.status = 400;
        else if (const Torrent* torrent = catalogue_.Find(MagnetInfoHash(magnet)))
            SendPage(response, PlayerPage(*torrent));
        else
            response.status = 404;
    });
    Get(player_, R"(/lumacast/help\.html)",
        [](const Request&, Response& response) { SendPage(response, PlayerHelpPage()); });
    Get(player_, R"(/lumacast/files/([0-9A-Fa-f]{40})/([0-9]{1,9}))",
        [this](const Request& request, Response& response) {
            const Torrent* torrent = catalogue_.Find(request.matches[1].str());
            const std::size_t index = std::stoul(request.matches[2].str());
            if (torrent && index < torrent->files.size())
                ServeFile(request, response, torrent->files[index]);
            else
                response.status = 404;
        });
}

void PortalServer::ServeFile(const Request& request, Response& response, const TorrentFile& file) {
    const RangeAnswer answer = AnswerRange(request.get_header_value("Range"), file.length);
    const std::string size = std::to_string(file.length);
    response.set_header("Accept-Ranges", "bytes");
    if (answer.kind == RangeAnswer::Refused) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + size);
        return;
    }
    const ByteRange part = answer.range;
    if (answer.kind == RangeAnswer::Part) {
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(part.first) + '-' +
                                                 std::to_string(part.first + part.length - 1) +
                                                 '/' + size);
    }
    const std::string_view type = MediaTypeOf(file.path).mime;
    auto in = std::make_shared<std::ifstream>(file.source, std::ios::binary);
    if (!*in) {
        response.status = 404;
        return;
    }
    if (part.length == 0) {
        response.set_content("", std::string(type));
        return;
    }
    // Read as the client takes it, a chunk at a time; a file that changed
    // since the torrent was made ends the reply early.
    response.set_content_provider(
        part.length, std::string(type),
        [this, in, part](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (StopRequestedWithin(std::chrono::milliseconds(0)))
                return false;
            std::string chunk(std::min(length, FileChunkSize), '\0');
            in->seekg(std::streamoff(part.first + offset));
            in->read(chunk.data(), std::streamsize(chunk.size()));
            return std::size_t(in->gcount()) == chunk.size() &&
                   sink.write(chunk.data(), chunk.size());
        });
}

void PortalServer::RouteCache(httplib::Server& cache, std::string (*pathOf)(std::string_view)) {
    Get(cache, R"(/.*/([^/]*)\.torrent)",
        [this, pathOf](const Request& request, Response& response) {
            const Torrent* torrent = catalogue_.Find(request.matches[1].str());
            // Only this cache's own layout for the hash, in its own letter case.
            if (torrent && pathOf(torrent->infoHash) == request.path)
                SendFile(response, torrent->name + ".torrent", torrent->metainfo,
                         "application/x-bittorrent");
            else
                response.status = 404;
        });
}

void PortalServer::RouteNotice() {
    Get(notice_, R"(/notice\.html)", [this](const Request& request, Response& response) {
        // ?current=1 names the client's own version: no update to offer.
        const bool current = ParamOr(request, "current", "0") != "0";
        SendPage(response, NoticePage(sites_, current ? ClientVersion : LatestVersion));
    });
    Get(notice_, "/share", [this](const Request& request, Response& response) {
        if (request.get_param_value("id") == ShareId)
            SendPage(response, SharePage(sites_));
        else
            response.status = 404;
    });
    Get(notice_, "/download/(.*)", [this](const Request& request, Response& response) {
        const std::string name = request.matches[1];
        if (name == UpdatePackageName())
            SendFile(response, name, updatePackage_, "application/gzip");
        else if (name == SlowDownloadName)
            ServeSlowDownload(response);
        else
            response.status = 404;
    });
}

void PortalServer::ServeSlowDownload(Response& response) {
    response.set_header("Content-Disposition",
                        "attachment; filename=\"" + std::string(SlowDownloadName) + '"');
    response.set_content_provider(
        SlowChunkSize * SlowChunkCount, "application/octet-stream",
        [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset > 0 && StopRequestedWithin(SlowChunkInterval))
                return false;
            std::string chunk(std::min(length, SlowChunkSize), '\0');
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = SlowDownloadByte(offset + i);
            return sink.write(chunk.data(), chunk.size());
        });
}

} // namespace portal
