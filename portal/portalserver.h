#pragma once
// The five sites of the portal, each an HTTP server on its own port: the
// portal (client page, torrent pages), the streaming player, torrent caches
// A and B, and the update notice with its share page and downloads.

#include "portal/catalogue.h"
#include "portal/sites.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace portal {

// A download that trickles in over about 20 seconds, for cancelling.
inline constexpr std::string_view SlowDownloadName = "slow.bin";
inline constexpr std::size_t SlowChunkSize = 1024;
inline constexpr std::size_t SlowChunkCount = 20;
inline constexpr std::chrono::milliseconds SlowChunkInterval{1000};

// The byte at `offset` of the slow download.
char SlowDownloadByte(std::size_t offset);

class PortalServer final {
  public:
    // updatePackage: the file the share page's direct link downloads.
    PortalServer(const Catalogue& catalogue, std::string updatePackage, bool verbose);
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // Binds the sites in the order of `Sites` to basePort, basePort + 1, ...
    // on host, or each to a free port when basePort is 0.
    bool Bind(const std::string& host, int basePort, std::string& error);
    const Sites& Addresses() const { return sites_; }

    void Start();
    // Ends the slow downloads at once, finishes the requests in progress and
    // returns when every server has stopped.
    void Stop();

  private:
    void RoutePortal();
    void RoutePlayer();
    void RouteCache(httplib::Server& cache, std::string (*pathOf)(std::string_view));
    void RouteNotice();
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    void Get(httplib::Server& server, const char* pattern, Handler handler);
    void Dispatch(const httplib::Server& server, const httplib::Request& received,
                  httplib::Response& response);
    void ServeSlowDownload(httplib::Response& response);
    void ServeFile(const httplib::Request& request, httplib::Response& response,
                   const TorrentFile& file);
    void SetCommonHandlers(httplib::Server& server, const std::string& site);
    bool StopRequestedWithin(std::chrono::milliseconds wait);
    std::vector<httplib::Server*> Servers();

    const Catalogue& catalogue_;
    std::string updatePackage_;
    bool verbose_;
    Sites sites_;
    struct Route {
        std::regex path;
        Handler handler;
    };
    std::map<const httplib::Server*, std::vector<Route>> routes_;
    httplib::Server portal_, player_, cacheA_, cacheB_, notice_;
    std::vector<std::thread> listeners_;
    std::mutex stopMutex_;
    std::condition_variable stopRequested_;
    bool stopping_ = false;
    std::mutex logMutex_;
};

} // namespace portal
