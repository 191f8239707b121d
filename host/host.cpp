#include "host/host.h"

#include "text/codepage.h"

namespace host {

text::Text Host::DefaultCaption() {
    return text::Gbk(u8"信息：");
}

} // namespace host
