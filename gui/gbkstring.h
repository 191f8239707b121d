#pragma once
// Texts are GBK on the application's side and UTF-16 on Qt's.

#include "text/codepage.h"
#include "text/text.h"

#include <QString>

#include <string_view>

namespace gui {

inline QString ToQString(std::string_view gbk) {
    return QString::fromStdU16String(text::GbkToUtf16(gbk));
}

inline text::Text ToGbk(const QString& text) {
    return text::Utf16ToGbk(text.toStdU16String());
}

} // namespace gui
