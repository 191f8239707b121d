#pragma once
// What the player does with a file of a torrent, told by its name's ending.

#include <string_view>

namespace portal {

struct MediaType {
    std::string_view mime; // the Content-Type it is served with
    // How the player page shows it: "video", "audio", "image", "text", or
    // empty for a file it only lists.
    std::string_view kind;
};

MediaType MediaTypeOf(std::string_view path);

} // namespace portal
