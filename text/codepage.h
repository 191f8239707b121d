#pragma once
// Code-page conversions on ICU. Code pages go by their Windows numbers; 0 is
// this program's ANSI code page, GBK. Byte sequences a code page does not
// define read as U+FFFD from UTF-8 and as '?' from the others; characters a
// code page lacks are written as its default character, once per UTF-16 unit
// (so a character outside the Basic Multilingual Plane becomes "??").

#include "text/text.h"

#include <memory>
#include <string>
#include <string_view>

struct UConverter;

namespace text {

enum CodePage : int {
    AnsiCodePage = 0,
    GbkCodePage = 936,
    Big5CodePage = 950,
    Utf8CodePage = 65001
};

// What becomes of a character the target code page lacks.
enum class Unmappable {
    DefaultChar, // '?' (U+FFFD for UTF-8)
    Stop,        // the result ends before it
};

// An ICU converter for one code page; empty when the code page is unknown.
class Converter final {
  public:
    explicit Converter(int codePage);
    explicit operator bool() const { return handle_ != nullptr; }
    UConverter* get() const { return handle_.get(); }

  private:
    struct Close {
        void operator()(UConverter* converter) const;
    };
    std::unique_ptr<UConverter, Close> handle_;
};

// Inputs end at their first zero byte or unit, like the texts they hold.
// Results are empty on an unknown code page.
std::u16string ToUtf16(std::string_view bytes, int codePage);
std::string FromUtf16(std::u16string_view text, int codePage,
                      Unmappable unmappable = Unmappable::DefaultChar);
// The same as FromUtf16(ToUtf16(bytes, from), to), without the detour.
std::string ConvertCodePage(std::string_view bytes, int from, int to);

// The GUI boundary and the program's Chinese constants (source files are UTF-8).
Text Gbk(std::string_view utf8);
Text Gbk(std::u8string_view utf8);
std::string GbkToUtf8(std::string_view gbk);
std::u16string GbkToUtf16(std::string_view gbk);
Text Utf16ToGbk(std::u16string_view text);

} // namespace text
