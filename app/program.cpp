#include "app/program.h"

#include "app/mainwindow.h"
#include "app/playerwindow.h"
#include "app/units.h"

namespace app {

void InitGlobals(Globals& globals) {
    globals = Globals{};
}

void ReleaseGlobals(Globals& globals) {
    globals = Globals{};
}

void EndJobs(Program& program) {
    program.capture.reset();
    program.update.reset();
}

void LoadProgram(Program& program) {
    host::Host& host = program.host;
    host.StartRuntime({MainWindowTemplate(program), PlayerWindowTemplate(program)});
    InitGlobals(program.globals);
    host.RegisterCleanup([&program] { ReleaseGlobals(program.globals); });
    host.LoadStartupWindow(MainWindow.window);
}

int StartProgram(Program& program) {
    LoadProgram(program);
    program.host.RunMessageLoop();
    return 0;
}

} // namespace app
