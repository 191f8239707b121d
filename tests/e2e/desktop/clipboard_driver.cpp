// Puts a text on the clipboard through the Qt host and ends, as the program
// does after a torrent link was copied.
// Usage: clipboard_driver TEXT-FILE [--until-taken]
// The text file is UTF-8. With --until-taken the driver says "set" and waits
// until another program has taken the clipboard before it ends.

#include "gui/qthost.h"
#include "net/cookiestore.h"
#include "text/codepage.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 2)
        return 2;
    std::ifstream file(argv[1], std::ios::binary);
    const std::string utf8{std::istreambuf_iterator<char>(file), {}};
    const bool untilTaken = argc > 2 && std::strcmp(argv[2], "--until-taken") == 0;

    net::CookieStore cookies;
    gui::QtHost host(argc, argv, cookies);
    if (!host.SetClipboardText(text::Gbk(utf8)))
        return 1;
    if (untilTaken) {
        std::puts("set");
        std::fflush(stdout);
        while (QGuiApplication::clipboard()->ownsClipboard())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return 0;
}
