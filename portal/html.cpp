#include "portal/html.h"

#include <cstdio>

namespace portal {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence that starts at `at`, or 0 when the bytes
// there are no valid sequence (overlong forms and surrogates included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
    };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range allowed for the second byte
    if (lead >= 0x01 && lead <= 0x7F)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!IsContinuation(byte(i)))
            return 0;
    return length;
}

constexpr std::string_view StyleSheet = R"(
body{margin:0;background:#f3f5f8;color:#222;font:15px/1.6 "Noto Sans CJK SC","Microsoft YaHei",sans-serif}
header{background:#2f5d8a;color:#fff;padding:12px 24px}
header h1{margin:0;font-size:20px;font-weight:normal}
main{max-width:740px;margin:16px auto;padding:0 16px}
h2{font-size:18px;margin:16px 0 8px}
form{display:flex;gap:8px;margin:8px 0 16px}
input[type=text]{flex:1;padding:6px 8px;font-size:15px;border:1px solid #9aa8b8;border-radius:4px}
button{padding:6px 18px;font-size:15px;border:0;border-radius:4px;background:#2f5d8a;color:#fff}
table{width:100%;border-collapse:collapse;background:#fff;margin-bottom:12px}
th,td{padding:6px 8px;border-bottom:1px solid #e1e5ea;text-align:left;vertical-align:top}
th{background:#e9eef4;font-weight:normal;white-space:nowrap}
a{color:#2f5d8a}
.actions{white-space:nowrap}
.actions a{display:inline-block;margin-right:10px}
.hash,code{font-family:monospace;font-size:12px;color:#555;word-break:break-all}
.note{background:#fff8e1;border:1px solid #ecd58a;border-radius:4px;padding:8px 12px}
.muted,footer{color:#778;font-size:13px}
footer{text-align:center;margin:24px 0}
.stage video,.stage img{display:block;margin:0 auto 8px;max-width:100%;max-height:320px;background:#000}
.stage img{height:240px;object-fit:contain;background:none}
.stage audio{display:block;width:100%;margin-bottom:8px}
.stage pre{margin:0 0 8px;padding:8px 12px;max-height:240px;overflow:auto;background:#fff;white-space:pre-wrap}
.files{list-style:none;padding:0;margin:0 0 8px}
.files button{background:none;color:#222;padding:2px 8px;font:inherit;font-size:14px;border-radius:0;border-left:3px solid transparent}
.files button.current{border-left-color:#d08a1c;font-weight:bold}
)";

} // namespace

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            escaped += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        switch (text[at]) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped.append(text.substr(at, length));
        }
        at += length;
    }
    return escaped;
}

std::string FormatSize(std::uint64_t bytes) {
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    const bool mebi = bytes >= 1024 * 1024;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", double(bytes) / (mebi ? 1024.0 * 1024.0 : 1024.0),
                  mebi ? "MiB" : "KiB");
    return text;
}

std::string HtmlDocument(std::string_view title, std::string_view body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           HtmlEscape(title) + "</title>\n<style>" + std::string(StyleSheet) +
           "</style>\n</head>\n<body>\n" + std::string(body) + "\n</body>\n</html>\n";
}

} // namespace portal
