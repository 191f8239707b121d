#include "host/messagebox.h"

#include <initializer_list>

namespace host {

BoxLayout LayoutForStyle(int style) {
    BoxLayout layout;
    auto set = [&layout](std::initializer_list<int> ids) {
        for (int id : ids)
            layout.buttons[layout.buttonCount++] = id;
    };
    switch (style & 0xF) {
    case BoxOkCancel: set({IdOk, IdCancel}); break;
    case BoxAbortRetryIgnore: set({IdAbort, IdRetry, IdIgnore}); break;
    case BoxYesNoCancel: set({IdYes, IdNo, IdCancel}); break;
    case BoxYesNo: set({IdYes, IdNo}); break;
    case BoxRetryCancel: set({IdRetry, IdCancel}); break;
    default: set({IdOk}); break;
    }
    switch (style & 0xF0) {
    case BoxIconError: layout.icon = BoxIcon::Error; break;
    case BoxIconQuestion: layout.icon = BoxIcon::Question; break;
    case BoxIconWarning: layout.icon = BoxIcon::Warning; break;
    case BoxIconInformation: layout.icon = BoxIcon::Information; break;
    default: break;
    }
    layout.taskModal = (style & BoxSystemModal) == 0;
    return layout;
}

int ButtonResult(int buttonId) {
    return buttonId >= IdOk && buttonId <= IdNo ? buttonId - 1 : 0;
}

} // namespace host
