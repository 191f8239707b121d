#include "text/encoding.h"

#include <unicode/utrans.h>

#include <memory>
#include <vector>

namespace text {
namespace {

struct CloseTransliterator {
    void operator()(UTransliterator* transliterator) const { utrans_close(transliterator); }
};
using Transliterator = std::unique_ptr<UTransliterator, CloseTransliterator>;

Transliterator OpenSimplifier() {
    UErrorCode error = U_ZERO_ERROR;
    Transliterator simplifier(
        utrans_openU(u"Traditional-Simplified", -1, UTRANS_FORWARD, nullptr, 0, nullptr, &error));
    return U_SUCCESS(error) ? std::move(simplifier) : nullptr;
}

bool IsLead(char byte) {
    return static_cast<unsigned char>(byte) >= 0x80;
}

// The simplified form of one double-byte GBK character, or the character
// itself where that form is not a double-byte GBK character.
std::string SimplifiedChar(UTransliterator* simplifier, std::string_view gbkChar) {
    std::u16string unit = ToUtf16(gbkChar, GbkCodePage);
    if (unit.size() != 1)
        return std::string(gbkChar);
    UErrorCode error = U_ZERO_ERROR;
    unit.resize(8);
    int32_t length = 1;
    int32_t limit = 1;
    utrans_transUChars(simplifier, unit.data(), &length, static_cast<int32_t>(unit.size()), 0,
                       &limit, &error);
    if (U_FAILURE(error) || length > static_cast<int32_t>(unit.size()))
        return std::string(gbkChar);
    unit.resize(static_cast<std::size_t>(length));
    std::string simplified = FromUtf16(unit, GbkCodePage, Unmappable::Stop);
    return simplified.size() == 2 && IsLead(simplified[0]) ? simplified : std::string(gbkChar);
}

} // namespace

Text Utf8ToGbk(std::string_view text) {
    return ConvertCodePage(text, Utf8CodePage, GbkCodePage);
}

Text Big5ToSimplifiedGbk(std::string_view text) {
    return ToSimplifiedChinese(Big5ToGbk(text));
}

ByteSet CodePageToUtf16(std::string_view text, int codePage) {
    const std::u16string units = ToUtf16(text, codePage);
    if (units.empty())
        return {};
    ByteSet buffer;
    buffer.reserve(2 * units.size() + 2);
    for (char16_t unit : units) {
        buffer.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        buffer.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    buffer.insert(buffer.end(), 2, 0);
    return buffer;
}

Text Utf16ToCodePage(const ByteSet& buffer, int codePage) {
    std::u16string units(buffer.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(buffer[2 * i] | buffer[2 * i + 1] << 8);
    return FromUtf16(units, codePage);
}

Text Big5ToGbk(std::string_view text) {
    return FromUtf16(ToUtf16(text, Big5CodePage), GbkCodePage, Unmappable::Stop);
}

Text ToSimplifiedChinese(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const Transliterator simplifier = OpenSimplifier();
    if (!simplifier)
        return SpaceText(static_cast<std::int64_t>(text.size()));
    // Texts repeat their characters: each double-byte one is mapped once and
    // remembered by its two bytes (never 0, as the first is 0x80 or more).
    std::vector<std::uint16_t> mapped(0x8000);
    Text simplified(text);
    for (std::size_t at = 0; at + 1 < simplified.size(); at += IsLead(simplified[at]) ? 2 : 1) {
        if (!IsLead(simplified[at]))
            continue;
        const std::size_t index = (static_cast<unsigned char>(simplified[at]) - 0x80u) << 8 |
                                  static_cast<unsigned char>(simplified[at + 1]);
        if (mapped[index] == 0) {
            const std::string form = SimplifiedChar(simplifier.get(), text.substr(at, 2));
            mapped[index] = static_cast<std::uint16_t>(static_cast<unsigned char>(form[0]) << 8 |
                                                       static_cast<unsigned char>(form[1]));
        }
        simplified[at] = static_cast<char>(mapped[index] >> 8);
        simplified[at + 1] = static_cast<char>(mapped[index] & 0xFF);
    }
    return simplified;
}

} // namespace text
