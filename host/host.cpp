#include "host/host.h"

#include "host/codepage.h"

namespace host {

Text Host::DefaultCaption() {
    return Gbk(u8"信息：");
}

} // namespace host
