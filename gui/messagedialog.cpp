#include "gui/messagedialog.h"

#include "host/messagebox.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <map>

namespace gui {

namespace {

QMessageBox::StandardButton StandardButtonFor(int buttonId) {
    switch (buttonId) {
    case host::IdCancel:
        return QMessageBox::Cancel;
    case host::IdAbort:
        return QMessageBox::Abort;
    case host::IdRetry:
        return QMessageBox::Retry;
    case host::IdIgnore:
        return QMessageBox::Ignore;
    case host::IdYes:
        return QMessageBox::Yes;
    case host::IdNo:
        return QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconFor(host::BoxIcon icon) {
    switch (icon) {
    case host::BoxIcon::Error:
        return QMessageBox::Critical;
    case host::BoxIcon::Question:
        return QMessageBox::Question;
    case host::BoxIcon::Warning:
        return QMessageBox::Warning;
    case host::BoxIcon::Information:
        return QMessageBox::Information;
    case host::BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A system box widens to show each line whole, so that copied addresses read
// as one line each; Qt's wraps at half the screen width. Lines are kept whole
// up to most of the screen's width, so a hostile text still wraps.
void KeepLinesWhole(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    int widest = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n')))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    const int screenWidth = box.screen() ? box.screen()->availableGeometry().width() : 1024;
    label->setMinimumWidth(std::min(widest + 2, screenWidth * 3 / 4));
}

} // namespace

int RunMessageBox(QWidget* owner, const QString& text, const QString& caption, int style) {
    const host::BoxLayout layout = host::LayoutForStyle(style);
    QMessageBox box(IconFor(layout.icon), caption, QString(text).replace("\r\n", "\n"),
                    QMessageBox::NoButton, owner);
    // Page texts reach these boxes: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    KeepLinesWhole(box);
    std::map<const QAbstractButton*, int> buttonIds;
    for (int i = 0; i < layout.buttonCount; ++i) {
        QPushButton* button = box.addButton(StandardButtonFor(layout.buttons[i]));
        buttonIds[button] = layout.buttons[i];
        if (i == 0)
            box.setDefaultButton(button);
    }
    box.exec();
    const auto chosen = buttonIds.find(box.clickedButton());
    return chosen == buttonIds.end() ? 0 : chosen->second;
}

} // namespace gui
