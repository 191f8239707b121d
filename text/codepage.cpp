#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <array>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// UTF-8 to GBK is the conversion every fetched page goes through, so it has a
// path of its own: a table of the GBK bytes of every BMP character, read once
// out of ICU's converter (which stays the definition), and a decoder that
// replaces each maximal invalid sequence with one '?', as ICU's U+FFFD
// followed by GBK's default character does.
using GbkTable = std::array<std::uint16_t, 0x10000>; // 0: none; else 1 or 2 bytes

std::unique_ptr<const GbkTable> BuildGbkTable() {
    Converter writer(GbkCodePage);
    if (!writer)
        return nullptr;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setFromUCallBack(writer.get(), UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr,
                          &error);
    std::u16string all;
    for (char32_t c = 1; c <= 0xFFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            all += static_cast<char16_t>(c);
    std::string bytes(2 * all.size(), '\0');
    std::vector<int32_t> sources(bytes.size());
    char* target = bytes.data();
    const UChar* source = all.data();
    ucnv_fromUnicode(writer.get(), &target, bytes.data() + bytes.size(), &source,
                     all.data() + all.size(), sources.data(), true, &error);
    if (U_FAILURE(error))
        return nullptr;
    auto table = std::make_unique<GbkTable>();
    for (std::size_t i = 0; i < static_cast<std::size_t>(target - bytes.data()); ++i) {
        std::uint16_t& entry = (*table)[all[static_cast<std::size_t>(sources[i])]];
        entry = static_cast<std::uint16_t>(entry << 8 | static_cast<unsigned char>(bytes[i]));
    }
    return table;
}

// Built on first use and never changed: shared read-only data, like a
// converter's own tables.
const GbkTable* GbkOfBmp() {
    static const std::unique_ptr<const GbkTable> table = BuildGbkTable();
    return table.get();
}

// Copies the ASCII bytes at `in` to `out` sixteen at a time while they last;
// returns how many. The output never runs ahead of the input.
std::size_t CopyAscii(const unsigned char* in, std::size_t left, char* out) {
    std::size_t copied = 0;
#if defined(__SSE2__)
    for (; left - copied >= 16; copied += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + copied));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + copied), block);
        if (const int high = _mm_movemask_epi8(block); high != 0)
            return copied + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
    }
#endif
    while (copied < left && in[copied] < 0x80) {
        out[copied] = static_cast<char>(in[copied]);
        ++copied;
    }
    return copied;
}

// Every sequence gives no more bytes than it takes, so the output fits in
// the input's size.
std::string Utf8ToGbkByTable(std::string_view utf8, const GbkTable& gbk) {
    std::string out(utf8.size(), '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    std::size_t at = 0;
    char* written = out.data();
    while (at < size) {
        const std::size_t ascii = CopyAscii(in + at, size - at, written);
        at += ascii;
        written += ascii;
        if (at == size)
            break;
        const unsigned char lead = in[at];
        // Most of a Chinese page: a well-formed three-byte character.
        if ((lead & 0xF0) == 0xE0 && size - at >= 3) {
            const unsigned second = in[at + 1];
            const unsigned third = in[at + 2];
            const char32_t c = (lead & 0x0Fu) << 12 | (second & 0x3Fu) << 6 | (third & 0x3Fu);
            if ((second & 0xC0) == 0x80 && (third & 0xC0) == 0x80 && c >= 0x800 &&
                (c < 0xD800 || c > 0xDFFF)) {
                const std::uint16_t bytes = gbk[c];
                written[0] = static_cast<char>(bytes > 0xFF ? bytes >> 8
                                               : bytes == 0 ? '?'
                                                            : bytes);
                written[1] = static_cast<char>(bytes & 0xFF);
                written += bytes > 0xFF ? 2 : 1;
                at += 3;
                continue;
            }
        }
        ++at;
        // The continuation bytes allowed, the first one narrower after E0,
        // ED, F0 and F4 (no overlong forms, surrogates or code points past
        // U+10FFFF).
        std::size_t needed = lead >= 0xC2 && lead <= 0xDF   ? 1
                             : lead >= 0xE0 && lead <= 0xEF ? 2
                             : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                            : 0;
        unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        char32_t c = lead & (0x7F >> (needed + 1));
        bool valid = needed != 0;
        for (; needed != 0 && valid; --needed) {
            valid = at < size && in[at] >= low && in[at] <= high;
            if (valid)
                c = c << 6 | (in[at++] & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        const std::uint16_t bytes = !valid ? 0 : c > 0xFFFF ? 0x3F3F : gbk[c];
        if (bytes > 0xFF)
            *written++ = static_cast<char>(bytes >> 8);
        *written++ = bytes == 0 ? '?' : static_cast<char>(bytes & 0xFF);
    }
    out.resize(static_cast<std::size_t>(written - out.data()));
    return out;
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
    const bool toGbk = to == GbkCodePage || to == AnsiCodePage;
    if (const GbkTable* gbk = from == Utf8CodePage && toGbk ? GbkOfBmp() : nullptr)
        return Utf8ToGbkByTable(bytes, *gbk);
    Converter reader = OpenReader(from);
    Converter writer = OpenWriter(to, SubstituteFor(to, Unmappable::DefaultChar));
    if (!reader || !writer || bytes.empty())
        return {};
    std::string out(bytes.size() + bytes.size() / 2 + 16, '\0');
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
