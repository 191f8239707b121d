#include "gui/application.h"

#include "gui/waylandseat.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace gui {

namespace {

// The web engine cannot sandbox its renderers for root; it then refuses to
// start unless told to go without.
void AllowRootWithoutSandbox() {
    if (geteuid() != 0)
        return;
    std::fputs("lodestone: running as root, so the web engine runs without its sandbox\n", stderr);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

// The web engine keeps its pages out of the accessibility tree on Linux
// unless asked: screen readers would see an empty document.
void ExposePagesToScreenReaders() {
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
}

// What Qt says while it looks for a display is held back: when it finds
// none it ends the process with an abort and a hint to reinstall, which is
// neither true nor helpful; one line saying what is missing is.
struct HeldMessage {
    QtMsgType type;
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};
// Set only while the application object is being made: a message handler is
// a plain function and has no other way to its state.
std::vector<HeldMessage>* heldMessages = nullptr;

void NoDisplay() {
    const QByteArray x11 = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (x11.isEmpty() && wayland.isEmpty())
        std::fputs("lodestone: no display to open a window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set): run it in a graphical session\n",
                   stderr);
    else
        std::fprintf(stderr, "lodestone: no display to open a window on (cannot reach %s)\n",
                     (x11.isEmpty() ? "WAYLAND_DISPLAY=" + wayland : "DISPLAY=" + x11).constData());
    std::fflush(nullptr);
    std::_Exit(1);
}

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg)
        NoDisplay();
    heldMessages->push_back(
        {type, context.file, context.line, context.function, context.category, message});
}

// Without a seat there is no keyboard to type with; Qt's wayland text input
// would follow the missing seat into a crash, so it is not started.
void NoInputMethodWithoutSeat() {
    if (!qEnvironmentVariableIsSet("QT_IM_MODULE") && WaylandCompositorHasSeat() == false)
        qputenv("QT_IM_MODULE", "none");
}

} // namespace

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv) {
    NoInputMethodWithoutSeat();
    std::vector<HeldMessage> held;
    heldMessages = &held;
    const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    heldMessages = nullptr;
    // A display was found after all: what Qt said on the way is news again.
    for (const HeldMessage& message : held)
        qt_message_output(
            message.type,
            QMessageLogContext(message.file, message.line, message.function, message.category),
            message.text);
    AllowRootWithoutSandbox();
    ExposePagesToScreenReaders();
    return application;
}

} // namespace gui
