#pragma once
// The servers the client talks to, each "host" or "host:port", and the update
// notice's address. The program is given them when it starts; the logic reads
// them from here only.

#include <string>

namespace app {

struct Sites {
    std::string portal;
    std::string player;
    std::string cacheA;
    std::string cacheB;
    std::string updateNotice;
};

} // namespace app
