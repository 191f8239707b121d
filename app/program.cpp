#include "app/program.h"

#include "app/mainwindow.h"
#include "app/playerwindow.h"
#include "app/units.h"
#include "text/codepage.h"

namespace app {

void InitGlobals(Globals& globals) {
    globals = Globals{};
}

void ReleaseGlobals(Globals& globals) {
    globals = Globals{};
}

text::Text FetchFailure(int status) {
    switch (status) {
    case net::FetchNotMade:
        return text::Gbk(u8"无法请求");
    case net::FetchConnectionRefused:
        return text::Gbk(u8"连接被拒绝");
    case net::FetchHostUnknown:
        return text::Gbk(u8"找不到服务器");
    case net::FetchNoAnswer:
        return text::Gbk(u8"没有回应");
    default:
        return status >= 200 && status <= 299
                   ? text::Text{}
                   : text::JoinTexts(text::Gbk(u8"回应 HTTP "), text::ToText(status));
    }
}

void EndJobs(Program& program) {
    program.capture.reset();
    program.update.reset();
}

void LoadProgram(Program& program) {
    host::Runtime& runtime = program.runtime;
    runtime.StartRuntime({MainWindowTemplate(program), PlayerWindowTemplate(program)});
    InitGlobals(program.globals);
    runtime.RegisterCleanup([&program] { ReleaseGlobals(program.globals); });
    runtime.LoadStartupWindow(MainWindow.window);
}

int StartProgram(Program& program) {
    LoadProgram(program);
    program.runtime.RunMessageLoop();
    return 0;
}

} // namespace app
