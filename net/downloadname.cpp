#include "net/downloadname.h"

#include "net/curlhandle.h"
#include "text/codepage.h"
#include "text/text.h"

#include <algorithm>
#include <array>

namespace net {

namespace {

constexpr std::string_view FallbackName = "download";
// Leaves room within the file system's 255 bytes for the marks of the
// temporary name (".12.part").
constexpr std::size_t LongestName = 200;
constexpr std::size_t LongestKeptExtension = 16;

// Header values are ASCII around the name, which may be UTF-8 or GBK.
std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string PercentDecoded(std::string_view text) {
    int length = 0;
    // An empty input would be read up to its NUL.
    const curl::Text decoded(
        text.empty()
            ? nullptr
            : curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length));
    return decoded ? std::string(decoded.get(), static_cast<std::size_t>(length)) : std::string();
}

// Servers in the GBK world send GBK names; anything that is not UTF-8 is
// read as GBK. Control bytes go first: they are ASCII in both, and a zero
// byte would end the conversion.
std::string AsUtf8(std::string bytes) {
    std::erase_if(bytes, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
    if (text::ConvertCodePage(bytes, text::Utf8CodePage, text::Utf8CodePage) == bytes)
        return bytes;
    return text::GbkToUtf8(bytes);
}

// Direction marks can make "txt.exe" read as "exe.txt".
void RemoveDirectionMarks(std::string& name) {
    static constexpr std::array<std::string_view, 11> Marks = {
        "\u200E", "\u200F", "\u202A", "\u202B", "\u202C", "\u202D",
        "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"};
    for (const std::string_view mark : Marks)
        for (auto at = name.find(mark); at != std::string::npos; at = name.find(mark, at))
            name.erase(at, mark.size());
}

void TrimDotsAndSpaces(std::string& name) {
    const auto first = name.find_first_not_of(". ");
    name.erase(0, first == std::string::npos ? name.size() : first);
    name.erase(name.find_last_not_of(". ") + 1);
}

// Cut on a character boundary, keeping a short extension.
void Shorten(std::string& name) {
    if (name.size() <= LongestName)
        return;
    const auto dot = name.rfind('.');
    const std::string extension =
        dot != std::string::npos && name.size() - dot <= LongestKeptExtension ? name.substr(dot)
                                                                              : std::string{};
    std::size_t cut = LongestName - extension.size();
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name = name.substr(0, cut) + extension;
}

std::string CleanName(std::string_view raw) {
    std::string name = AsUtf8(PercentDecoded(raw));
    std::erase_if(name, [](char c) { return c == '/' || c == '\\'; });
    RemoveDirectionMarks(name);
    TrimDotsAndSpaces(name);
    Shorten(name);
    TrimDotsAndSpaces(name);
    return name;
}

std::string LastPathSegment(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    const auto scheme = url.find("://");
    const auto pathStart = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    if (pathStart == std::string_view::npos)
        return {};
    const std::string_view path = url.substr(pathStart);
    return std::string(path.substr(path.rfind('/') + 1));
}

// One parameter value: a quoted string with its escapes resolved, or a
// token up to the next ";".
std::string ParameterValue(std::string_view& rest) {
    std::string value;
    if (rest.starts_with('"')) {
        std::size_t i = 1;
        for (; i < rest.size() && rest[i] != '"'; ++i) {
            if (rest[i] == '\\' && i + 1 < rest.size())
                ++i;
            value += rest[i];
        }
        rest.remove_prefix(std::min(i + 1, rest.size()));
        rest = rest.substr(std::min(rest.find(';'), rest.size()));
        return value;
    }
    const auto end = std::min(rest.find(';'), rest.size());
    value = TrimBlanks(rest.substr(0, end));
    rest.remove_prefix(end);
    return value;
}

// The raw (still escaped) file name of a Content-Disposition header; the
// extended form counts only in UTF-8, the one charset this program reads.
std::string ContentDispositionName(std::string_view header) {
    std::string plain, extended;
    std::string_view rest = header.substr(std::min(header.find(';'), header.size()));
    while (!rest.empty()) {
        rest.remove_prefix(1); // the ";"
        const auto equals = rest.find_first_of("=;");
        const std::string key = text::ToLowerCase(TrimBlanks(rest.substr(0, equals)));
        if (equals == std::string_view::npos || rest[equals] == ';') {
            rest.remove_prefix(std::min(equals, rest.size()));
            continue;
        }
        rest.remove_prefix(equals + 1);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
        const std::string value = ParameterValue(rest);
        constexpr std::string_view Utf8Prefix = "utf-8'";
        if (key == "filename")
            plain = value;
        else if (key == "filename*" &&
                 text::ToLowerCase(value.substr(0, Utf8Prefix.size())) == Utf8Prefix)
            if (const auto quote = value.find('\'', Utf8Prefix.size()); quote != std::string::npos)
                extended = value.substr(quote + 1);
    }
    return extended.empty() ? plain : extended;
}

} // namespace

std::string SuggestedFileName(std::string_view url, std::string_view contentDisposition) {
    for (const std::string& raw :
         {ContentDispositionName(contentDisposition), LastPathSegment(url)})
        if (std::string name = CleanName(raw); !name.empty())
            return name;
    return std::string(FallbackName);
}

} // namespace net
