#pragma once
// The program's life: the window templates, the start-up window, the message
// loop that runs until the last window is gone, the clean-up after it, and
// the end a fatal error makes.

#include "host/windowtemplate.h"
#include "text/text.h"

#include <functional>
#include <optional>
#include <vector>

namespace host {

class Runtime {
  public:
    virtual ~Runtime() = default;

    virtual void StartRuntime(std::vector<WindowTemplate> templates) = 0;
    virtual void RegisterCleanup(std::function<void()> routine) = 0;
    virtual void LoadStartupWindow(int window) = 0;
    // Returns when no window is loaded any more, after the clean-up routine.
    virtual void RunMessageLoop() = 0;
    // Shows the error box and ends the process with exit code -1; the
    // clean-up routine does not run.
    [[noreturn]] virtual void FatalRuntimeError(std::optional<int> code,
                                                const text::Text& message) = 0;
};

} // namespace host
