// The conversions on any bytes: the direct UTF-8 to GBK path replaces exactly
// what the two steps through UTF-16 replace, and every result is a text.
#include "fuzzinput.h"
#include "text/codepage.h"
#include "text/encoding.h"

namespace {

bool IsText(std::string_view text) {
    return text.find('\0') == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const text::Text gbk = text::Utf8ToGbk(bytes);
    Check(gbk == text::Utf16ToCodePage(text::CodePageToUtf16(bytes, 65001), 936));
    Check(IsText(gbk));
    Check(text::GbkToUtf8(bytes) == text::FromUtf16(text::GbkToUtf16(bytes), 65001));
    Check(text::Utf16ToGbk(text::GbkToUtf16(bytes)).size() <= 2 * bytes.size());

    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    const text::Text simplified = text::ToSimplifiedChinese(text);
    Check(simplified.size() == text.size() && IsText(simplified));
    Check(IsText(text::Big5ToSimplifiedGbk(bytes)));
    return 0;
}
