#pragma once
// Runs the application's event handlers. A handler may spin nested event
// loops (message boxes, menus, the event pump) in which the window whose event
// it handles is closed; such windows are kept alive until no handler runs.

#include <QObject>
#include <QPointer>

#include <utility>
#include <vector>

namespace gui {

class HandlerRunner final {
  public:
    HandlerRunner() = default;
    HandlerRunner(const HandlerRunner&) = delete;
    HandlerRunner& operator=(const HandlerRunner&) = delete;

    template <typename Handler, typename... Args> void Run(const Handler& handler, Args&&... args) {
        if (!handler)
            return;
        const Nesting nesting(*this);
        handler(std::forward<Args>(args)...);
    }

    // Deletes the object once no handler is running any more.
    void Retire(QObject* object) {
        retired_.emplace_back(object);
        if (depth_ == 0)
            ReleaseRetired();
    }

  private:
    struct Nesting {
        explicit Nesting(HandlerRunner& runner) : runner(runner) { ++runner.depth_; }
        ~Nesting() {
            if (--runner.depth_ == 0)
                runner.ReleaseRetired();
        }
        HandlerRunner& runner;
    };

    void ReleaseRetired() {
        for (const QPointer<QObject>& object : std::exchange(retired_, {}))
            if (object)
                object->deleteLater();
    }

    int depth_ = 0;
    std::vector<QPointer<QObject>> retired_;
};

} // namespace gui
