#pragma once
// A site standing in for the portal or the update pages, reached through the
// fake internet: it answers each path with the body a test gives it (an
// unknown path with an empty one) and records what was asked.

#include <map>
#include <string>
#include <vector>

class TestPortal {
  public:
    explicit TestPortal(std::string host) : host(std::move(host)) {}

    const std::string host;

    // Serves `utf8Body` at `path` (query ignored).
    void Serve(const std::string& path, std::string utf8Body) {
        pages_[path] = std::move(utf8Body);
    }
    // The request targets (path and query), in order.
    const std::vector<std::string>& Requests() const { return requests_; }

    std::string Answer(const std::string& target) {
        requests_.push_back(target);
        const auto page = pages_.find(target.substr(0, target.find('?')));
        return page == pages_.end() ? std::string() : page->second;
    }

  private:
    std::map<std::string, std::string> pages_;
    std::vector<std::string> requests_;
};
