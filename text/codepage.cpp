#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <array>

namespace text {
namespace {

const char* IcuName(int codePage) {
    switch (codePage) {
    case AnsiCodePage:
    case GbkCodePage:
        return "windows-936-2000";
    case Big5CodePage:
        return "windows-950-2000";
    case Utf8CodePage:
        return "UTF-8";
    default:
        return nullptr;
    }
}

// Windows converts character by character through per-unit tables, so a
// surrogate pair it cannot map gives two default characters; ICU would give one.
void WritePerUnit(const void* context, UConverterFromUnicodeArgs* args, const UChar*,
                  int32_t length, UChar32, UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR)
        return; // reset, close or clone: nothing to write
    const auto* substitute = static_cast<const std::string_view*>(context);
    *error = U_ZERO_ERROR;
    for (int32_t i = 0; i < length && U_SUCCESS(*error); ++i)
        ucnv_cbFromUWriteBytes(args, substitute->data(), static_cast<int32_t>(substitute->size()),
                               0, error);
}

// Double-byte code pages read an undefined sequence as their default character.
void WriteQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                       UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR)
        return;
    static constexpr UChar questionMark = u'?';
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &questionMark, 1, 0, error);
}

constexpr std::string_view QuestionMark = "?";
constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::string_view NulByte{"", 1};

const std::string_view* SubstituteFor(int codePage, Unmappable unmappable) {
    if (unmappable == Unmappable::Stop)
        return &NulByte;
    return codePage == Utf8CodePage ? &ReplacementCharacter : &QuestionMark;
}

// Sets up a converter as source (reading) or target (writing) of a conversion.
Converter OpenReader(int codePage) {
    Converter converter(codePage);
    if (converter && codePage != Utf8CodePage) {
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter.get(), WriteQuestionMark, nullptr, nullptr, nullptr, &error);
    }
    return converter;
}

Converter OpenWriter(int codePage, const std::string_view* substitute) {
    Converter converter(codePage);
    if (converter) {
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setFromUCallBack(converter.get(), WritePerUnit, substitute, nullptr, nullptr, &error);
    }
    return converter;
}

std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

std::u16string_view UpToNul(std::u16string_view units) {
    return units.substr(0, units.find(u'\0'));
}

std::string CutAtNul(std::string bytes) {
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    return bytes;
}

// ICU counts in 32-bit lengths; no text of this program comes near the cap.
int32_t Length(std::size_t size) {
    return static_cast<int32_t>(std::min<std::size_t>(size, INT32_MAX / 4));
}

} // namespace

void Converter::Close::operator()(UConverter* converter) const {
    ucnv_close(converter);
}

Converter::Converter(int codePage) {
    if (const char* name = IcuName(codePage)) {
        UErrorCode error = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(name, &error);
        if (U_SUCCESS(error))
            handle_.reset(converter);
    }
}

std::u16string ToUtf16(std::string_view bytes, int codePage) {
    bytes = UpToNul(bytes);
    Converter reader = OpenReader(codePage);
    if (!reader || bytes.empty())
        return {};
    // A byte never gives more than one unit in the code pages we know; the
    // retry covers any that would.
    std::u16string units(bytes.size() + 1, u'\0');
    for (;;) {
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(reader.get(), units.data(), Length(units.size()), bytes.data(),
                                  Length(bytes.size()), &error);
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            units.assign(static_cast<std::size_t>(n) + 1, u'\0');
            ucnv_resetToUnicode(reader.get());
            continue;
        }
        units.resize(U_SUCCESS(error) ? static_cast<std::size_t>(n) : 0);
        return units;
    }
}

std::string FromUtf16(std::u16string_view text, int codePage, Unmappable unmappable) {
    text = UpToNul(text);
    Converter writer = OpenWriter(codePage, SubstituteFor(codePage, unmappable));
    if (!writer || text.empty())
        return {};
    std::string bytes(3 * text.size() + 1, '\0');
    for (;;) {
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(writer.get(), bytes.data(), Length(bytes.size()), text.data(),
                                    Length(text.size()), &error);
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            bytes.assign(static_cast<std::size_t>(n) + 1, '\0');
            ucnv_resetFromUnicode(writer.get());
            continue;
        }
        bytes.resize(U_SUCCESS(error) ? static_cast<std::size_t>(n) : 0);
        return unmappable == Unmappable::Stop ? CutAtNul(std::move(bytes)) : bytes;
    }
}

std::string ConvertCodePage(std::string_view bytes, int from, int to) {
    bytes = UpToNul(bytes);
    Converter reader = OpenReader(from);
    Converter writer = OpenWriter(to, SubstituteFor(to, Unmappable::DefaultChar));
    if (!reader || !writer || bytes.empty())
        return {};
    // Only UTF-8 comes out longer than it went in (two bytes of GBK or Big5
    // make three); the loop below grows the buffer should anything else.
    const std::size_t growth = to == Utf8CodePage ? bytes.size() / 2 : 0;
    std::string out(bytes.size() + growth + 16, '\0');
    char* target = out.data();
    const char* source = bytes.data();
    const char* const sourceEnd = source + bytes.size();
    std::array<UChar, 1024> pivot;
    UChar* pivotSource = pivot.data();
    UChar* pivotTarget = pivot.data();
    for (bool reset = true;; reset = false) {
        UErrorCode error = U_ZERO_ERROR;
        ucnv_convertEx(writer.get(), reader.get(), &target, out.data() + out.size(), &source,
                       sourceEnd, pivot.data(), &pivotSource, &pivotTarget,
                       pivot.data() + pivot.size(), reset, true, &error);
        if (error != U_BUFFER_OVERFLOW_ERROR) {
            out.resize(U_SUCCESS(error) ? static_cast<std::size_t>(target - out.data()) : 0);
            return out;
        }
        const std::size_t written = static_cast<std::size_t>(target - out.data());
        out.resize(2 * out.size());
        target = out.data() + written;
    }
}

Text Gbk(std::string_view utf8) {
    return ConvertCodePage(utf8, Utf8CodePage, GbkCodePage);
}

Text Gbk(std::u8string_view utf8) {
    return Gbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string GbkToUtf8(std::string_view gbk) {
    return ConvertCodePage(gbk, GbkCodePage, Utf8CodePage);
}

std::u16string GbkToUtf16(std::string_view gbk) {
    return ToUtf16(gbk, GbkCodePage);
}

Text Utf16ToGbk(std::u16string_view text) {
    return FromUtf16(text, GbkCodePage);
}

} // namespace text
