#include "host/fatalerror.h"

#include "text/codepage.h"

#include <string>

namespace host {

Text FatalErrorText(std::optional<int> code, std::string_view message) {
    Text text = Gbk(u8"运行时出错!") + "\r\n\r\n";
    if (code)
        text += Gbk(u8"错误代码：") + std::to_string(*code) + "\r\n\r\n";
    if (!message.empty())
        text += Gbk(u8"错误信息：") + Text(message) + "\r\n";
    return text;
}

Text FatalErrorCaption() {
    return Gbk(u8"错误");
}

} // namespace host
