#include "host/templatecheck.h"

#include <set>

namespace host {

namespace {

template <typename Items, typename Id> bool IdsPositiveAndDistinct(const Items& items, Id id) {
    std::set<int> seen;
    for (const auto& item : items)
        if (id(item) <= 0 || !seen.insert(id(item)).second)
            return false;
    return true;
}

} // namespace

bool TemplatesWellFormed(const std::vector<WindowTemplate>& templates) {
    if (!IdsPositiveAndDistinct(templates, [](const WindowTemplate& w) { return w.window; }))
        return false;
    for (const WindowTemplate& window : templates)
        if (!IdsPositiveAndDistinct(window.components,
                                    [](const ComponentTemplate& c) { return c.unit; }))
            return false;
    return true;
}

} // namespace host
