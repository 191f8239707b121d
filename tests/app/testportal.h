#pragma once
// A site standing in for the portal or the update pages, reached through the
// fake internet: it answers each path with the body and status a test gives
// it (an unknown path with an empty body) and records what was asked.

#include "fakeinternet.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class TestPortal {
  public:
    explicit TestPortal(std::string host) : host(std::move(host)) {}

    const std::string host;

    // Serves `utf8Body` at `path` (query ignored).
    void Serve(const std::string& path, std::string utf8Body, int status = 200) {
        pages_[path] = {std::move(utf8Body), status};
    }
    // Later requests find nobody there.
    void Stop() { stopped_ = true; }
    // The request targets (path and query), in order.
    const std::vector<std::string>& Requests() const { return requests_; }

    std::optional<nettest::FakeInternet::Page> Answer(const std::string& target) {
        if (stopped_)
            return std::nullopt;
        requests_.push_back(target);
        const auto page = pages_.find(target.substr(0, target.find('?')));
        return page == pages_.end() ? nettest::FakeInternet::Page{} : page->second;
    }

  private:
    std::map<std::string, nettest::FakeInternet::Page> pages_;
    std::vector<std::string> requests_;
    bool stopped_ = false;
};
