#include "host/notices.h"

#include "text/codepage.h"

namespace host {

text::Text Notices::DefaultCaption() {
    return text::Gbk(u8"信息：");
}

} // namespace host
