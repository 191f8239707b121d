#include "portal/mediatype.h"

#include <algorithm>

namespace portal {

MediaType MediaTypeOf(std::string_view path) {
    // Only formats the web engine plays without codecs of its own.
    static constexpr struct {
        std::string_view ending;
        MediaType type;
    } known[] = {
        {".webm", {"video/webm", "video"}},
        {".ogv", {"video/ogg", "video"}},
        {".ogg", {"audio/ogg", "audio"}},
        {".oga", {"audio/ogg", "audio"}},
        {".opus", {"audio/ogg", "audio"}},
        {".png", {"image/png", "image"}},
        {".jpg", {"image/jpeg", "image"}},
        {".gif", {"image/gif", "image"}},
        {".txt", {"text/plain; charset=utf-8", "text"}},
    };
    const auto match = std::ranges::find_if(known, [path](const auto& entry) {
        return path.size() >= entry.ending.size() &&
               std::ranges::equal(path.substr(path.size() - entry.ending.size()), entry.ending,
                                  [](char a, char b) { return (a | 0x20) == b; });
    });
    return match == std::end(known) ? MediaType{"application/octet-stream", ""} : match->type;
}

} // namespace portal
