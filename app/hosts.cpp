#include "app/hosts.h"

#include "hosts_config.h"

namespace app {

std::string_view PortalHost() {
    return LODESTONE_PORTAL_HOST;
}
std::string_view PlayerHost() {
    return LODESTONE_PLAYER_HOST;
}
std::string_view CacheAHost() {
    return LODESTONE_CACHE_A_HOST;
}
std::string_view CacheBHost() {
    return LODESTONE_CACHE_B_HOST;
}
std::string_view UpdateNoticeAddress() {
    return LODESTONE_UPDATE_NOTICE_URL;
}

} // namespace app
