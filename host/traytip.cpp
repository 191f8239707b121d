#include "host/traytip.h"

namespace host {

text::Text TrayTip(std::string_view tip) {
    std::size_t end = 0;
    while (end < tip.size()) {
        const bool leadByte = static_cast<unsigned char>(tip[end]) >= 0x80 && end + 1 < tip.size();
        const std::size_t next = end + (leadByte ? 2 : 1);
        if (next > MaxTrayTipBytes)
            break;
        end = next;
    }
    return text::Text(tip.substr(0, end));
}

} // namespace host
