#pragma once
// A loopback HTTP server standing in for the portal and the update pages:
// it answers each path with the body a test gives it and records what was
// asked.

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestPortal {
  public:
    TestPortal(const char* host, int port) {
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex_);
            requests_.push_back(request.target);
            const auto page = pages_.find(request.path);
            if (page == pages_.end()) {
                response.status = 404;
                return;
            }
            response.status = page->second.status;
            response.set_content(page->second.body, "text/html; charset=utf-8");
        });
        if (!server_.bind_to_port(host, port))
            throw std::runtime_error("test portal: port in use");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TestPortal() { Stop(); }
    TestPortal(const TestPortal&) = delete;
    TestPortal& operator=(const TestPortal&) = delete;

    // Serves `utf8Body` at `path` (query ignored).
    void Serve(const std::string& path, std::string utf8Body, int status = 200) {
        std::lock_guard lock(mutex_);
        pages_[path] = {std::move(utf8Body), status};
    }
    // Closes the port: later requests find nobody there.
    void Stop() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    struct Page {
        std::string body;
        int status = 200;
    };
    std::map<std::string, Page> pages_;
    std::vector<std::string> requests_;
};
