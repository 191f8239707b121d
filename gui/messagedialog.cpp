#include "gui/messagedialog.h"

#include "host/messagebox.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
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

// Pages and servers decide what some boxes show, at any length; a line longer
// than this is cut before it is measured, as laying out a megabyte takes
// seconds.
constexpr qsizetype MostMeasuredChars = 512;
// Room the box keeps for its title bar, margins and buttons below the text.
constexpr int ButtonRoom = 160;
constexpr QChar Ellipsis{0x2026};

// The first and last characters of a long line, joined by an ellipsis; a
// cut never splits a surrogate pair.
QString CutLine(QStringView line) {
    if (line.size() <= MostMeasuredChars)
        return line.toString();
    QStringView head = line.first(MostMeasuredChars / 2);
    QStringView tail = line.last(MostMeasuredChars / 2);
    if (head.back().isHighSurrogate())
        head.chop(1);
    if (tail.front().isLowSurrogate())
        tail = tail.sliced(1);
    return head.toString() + Ellipsis + tail.toString();
}

// What the box shows of `text`: each line whole as far as it fits `width`,
// cut in the middle beyond that, and no more lines than fit `maxLines`. A
// system box widens to show each line whole, so copied addresses read as one
// line each.
QString ShownText(const QString& text, const QFontMetrics& metrics, int width, int maxLines) {
    QStringList shown;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        if (shown.size() == maxLines - 1 && end < text.size()) {
            shown.append(QString(Ellipsis));
            break;
        }
        shown.append(metrics.elidedText(CutLine(QStringView(text).sliced(start, end - start)),
                                        Qt::ElideMiddle, width));
        start = end + 1;
    }
    return shown.join(QLatin1Char('\n'));
}

void SetBoundedText(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QFontMetrics metrics = label ? label->fontMetrics() : box.fontMetrics();
    const int width = room.width() * 3 / 4;
    const int maxLines = std::max(1, (room.height() - ButtonRoom) / metrics.lineSpacing());
    const QString shown = ShownText(text, metrics, width, maxLines);
    box.setText(shown);
    if (!label)
        return;
    int widest = 0;
    for (const QString& line : shown.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    label->setMinimumWidth(std::min(widest + 2, width));
}

} // namespace

int RunMessageBox(QWidget* owner, const QString& text, const QString& caption, int style) {
    const host::BoxLayout layout = host::LayoutForStyle(style);
    QMessageBox box(IconFor(layout.icon), caption, QString(), QMessageBox::NoButton, owner);
    // Page texts reach these boxes: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    SetBoundedText(box, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
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
