#pragma once
// A loopback HTTP server for the download tests, in the test's own process,
// and what the tests read back from disk.

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <stdlib.h>

namespace nettest {

// Bytes i % 251.
inline std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh folder under /tmp, removed with everything in it.
class ScratchFolder final {
  public:
    ScratchFolder() {
        char pattern[] = "/tmp/lodestone-download-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The names in `folder`, sorted.
inline std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    return names;
}

// Serves, on a port of its own:
//   /file/NAME?n=N   N bytes of the pattern
//   /named           a body with a Content-Disposition name
//   /empty           an empty body
//   /missing         404
//   /redirect?to=U   302 to U, setting the cookie hop=1
//   /loop            302 to itself
//   /cookies         200 only with the cookies sid=abc and hop=1
//   /cut             announces 100000 bytes, closes after 30000
//   /stall           announces 5000 bytes, sends 1000, then waits
//   /slow            an endless body, a little at a time
// and remembers the headers of each request by path.
class DownloadServer final {
  public:
    DownloadServer() {
        server_.Get("/file/.*", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(Pattern(std::stoul(request.get_param_value("n"))),
                                 "application/octet-stream");
        });
        server_.Get("/named", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Disposition",
                                "attachment; filename*=UTF-8''%E6%96%B0%E7%89%88.exe");
            response.set_content(Pattern(2000), "application/octet-stream");
        });
        server_.Get("/empty", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("", "application/octet-stream");
        });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("no such file", "text/plain");
        });
        server_.Get("/redirect", [](const httplib::Request& request, httplib::Response& response) {
            response.set_header("Set-Cookie", "hop=1; path=/");
            response.set_redirect(request.get_param_value("to"));
        });
        server_.Get("/loop", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/loop");
        });
        server_.Get("/cookies", [](const httplib::Request& request, httplib::Response& response) {
            const std::string cookies = request.get_header_value("Cookie");
            const bool both = cookies.find("sid=abc") != std::string::npos &&
                              cookies.find("hop=1") != std::string::npos;
            response.status = both ? 200 : 403;
            response.set_content(cookies, "text/plain");
        });
        server_.Get("/cut", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(100000, "application/octet-stream",
                                          [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                              const std::string part = Pattern(30000);
                                              sink.write(part.data(), part.size());
                                              return false; // the connection goes
                                          });
        });
        server_.Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                5000, "application/octet-stream",
                [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset == 0) {
                        const std::string part = Pattern(1000);
                        return sink.write(part.data(), part.size());
                    }
                    Idle(std::chrono::seconds(10));
                    return false;
                });
        });
        server_.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/octet-stream", [this](std::size_t, httplib::DataSink& sink) {
                    Idle(std::chrono::milliseconds(20));
                    const std::string part = Pattern(512);
                    return !stopping_ && sink.write(part.data(), part.size());
                });
        });
        // Noted before the answer goes out: a client may finish before a
        // logger, which runs after it, would have had its turn.
        server_.set_pre_routing_handler(
            [this](const httplib::Request& request, httplib::Response&) {
                const std::lock_guard lock(mutex_);
                requests_[request.path] = request.headers;
                return httplib::Server::HandlerResponse::Unhandled;
            });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~DownloadServer() {
        stopping_ = true;
        server_.stop();
        thread_.join();
    }
    DownloadServer(const DownloadServer&) = delete;
    DownloadServer& operator=(const DownloadServer&) = delete;

    std::string Url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    }
    std::string Header(const std::string& path, const std::string& name) {
        const std::lock_guard lock(mutex_);
        const auto request = requests_.find(path);
        if (request == requests_.end())
            return "(not requested)";
        const auto header = request->second.find(name);
        return header == request->second.end() ? "" : header->second;
    }
    int Port() const { return port_; }

  private:
    void Idle(std::chrono::milliseconds time) {
        for (auto end = std::chrono::steady_clock::now() + time;
             !stopping_ && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    httplib::Server server_;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, httplib::Headers> requests_;
};

} // namespace nettest
