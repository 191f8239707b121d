#pragma once
// The program's windows and their components, built from the templates:
// loading, closing, their properties and their pop-up menus.

#include "host/windowtemplate.h"

#include <cstdint>
#include <optional>

namespace host {

class Windows {
  public:
    virtual ~Windows() = default;

    virtual bool LoadWindow(UnitRef window, std::optional<UnitRef> parent = {},
                            bool modal = false) = 0;
    virtual bool IsCreated(UnitRef unit) = 0;
    // Closes the window after the running handler has returned (or at once
    // when `immediately`); IsCreated stays true until then.
    virtual void DestroyUnit(UnitRef unit, bool immediately = false) = 0;
    virtual std::int64_t ReadProperty(UnitRef unit, int property, int element = -1) = 0;
    virtual void WriteProperty(UnitRef unit, int property, int element, std::int64_t value) = 0;
    // Pops the menu up at the cursor (+3, +3) unless x or y is given, and
    // returns when it has closed.
    virtual void PopupMenu(UnitRef window, UnitRef menu, std::optional<int> x = {},
                           std::optional<int> y = {}) = 0;
};

} // namespace host
