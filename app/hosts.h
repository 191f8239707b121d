#pragma once
// The servers the client talks to. They are fixed when the program is built
// (each "host" or "host:port"); the program reads no configuration.

#include <string_view>

namespace app {

std::string_view PortalHost();
std::string_view PlayerHost();
std::string_view CacheAHost();
std::string_view CacheBHost();
std::string_view UpdateNoticeAddress();

} // namespace app
