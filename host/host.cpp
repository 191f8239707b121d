#include "host/host.h"

#include "text/codepage.h"

namespace host {

Text Host::DefaultCaption() {
    return Gbk(u8"信息：");
}

} // namespace host
