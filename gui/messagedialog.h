#pragma once
// Message boxes laid out from MessageBox style bits.

class QString;
class QWidget;

namespace gui {

// Shows the box, modal to `owner` or, without one, to the whole program, and
// returns the identifier of the button that closed it (0 when none did).
int RunMessageBox(QWidget* owner, const QString& text, const QString& caption, int style);

} // namespace gui
