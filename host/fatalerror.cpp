#include "host/fatalerror.h"

#include "text/codepage.h"

#include <string>

namespace host {

text::Text FatalErrorText(std::optional<int> code, std::string_view message) {
    text::Text text = text::Gbk(u8"运行时出错!") + "\r\n\r\n";
    if (code)
        text += text::Gbk(u8"错误代码：") + std::to_string(*code) + "\r\n\r\n";
    if (!message.empty())
        text += text::Gbk(u8"错误信息：") + text::Text(message) + "\r\n";
    return text;
}

text::Text FatalErrorCaption() {
    return text::Gbk(u8"错误");
}

} // namespace host
