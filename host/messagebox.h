#pragma once
// Message-box styles and results in the values the application passes and
// expects: MessageBox style bits in, button identifiers out.

#include <cstdint>

namespace host {

enum MessageBoxStyle : int {
    BoxOk = 0x0,
    BoxOkCancel = 0x1,
    BoxAbortRetryIgnore = 0x2,
    BoxYesNoCancel = 0x3,
    BoxYesNo = 0x4,
    BoxRetryCancel = 0x5,
    BoxIconError = 0x10,
    BoxIconQuestion = 0x20,
    BoxIconWarning = 0x30,
    BoxIconInformation = 0x40,
    BoxSystemModal = 0x1000,
    BoxTaskModal = 0x2000,
};

enum ButtonId : int { IdOk = 1, IdCancel = 2, IdAbort = 3, IdRetry = 4, IdIgnore = 5, IdYes = 6, IdNo = 7 };

enum class BoxIcon { None, Error, Question, Warning, Information };

// The buttons, in order, and the icon a style asks for.
struct BoxLayout {
    int buttons[3] = {};
    int buttonCount = 0;
    BoxIcon icon = BoxIcon::None;
    bool taskModal = false;
};

BoxLayout LayoutForStyle(int style);

// The result ShowMessageBox hands back for the button that closed the box:
// its identifier minus one, any unknown button 0.
int ButtonResult(int buttonId);

} // namespace host
