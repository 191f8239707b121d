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
