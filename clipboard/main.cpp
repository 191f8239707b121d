// lodestone-clipboard: keeps a text on the X11 clipboard after the program
// that put it there has ended.
//
// Reads the text, UTF-8, from standard input and takes the clipboard with it.
// It returns 0 once the clipboard is held; a detached process then serves the
// text until another program takes the clipboard or the display goes away.

#include "clipboard/clipboardowner.h"
#include "clipboard/xcbhandles.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// No X server takes more than this in one request.
constexpr std::size_t LongestInput = 16u << 20;

// False when the input is longer than any clipboard text can be. The rest is
// read all the same, so that the writer does not fail on a broken pipe.
bool ReadInput(std::string& text) {
    char block[65536];
    bool fits = true;
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, block, sizeof block);
        if (got == 0)
            return fits;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        fits = fits && text.size() + static_cast<std::size_t>(got) <= LongestInput;
        if (fits)
            text.append(block, static_cast<std::size_t>(got));
    }
}

// The caller learns from the exit that the clipboard is held. The server goes
// on in a session of its own, so that the end of the caller's terminal or
// session does not take the text along, and it holds no one's pipe or folder.
bool Detach() {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child > 0)
        _exit(0); // leaves the X connection to the child
    setsid();
    std::signal(SIGHUP, SIG_IGN);
    std::error_code ignored;
    std::filesystem::current_path("/", ignored);
    const int null = open("/dev/null", O_RDWR);
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        dup2(null, stream);
    if (null > STDERR_FILENO)
        close(null);
    return true;
}

int Fail(const char* reason) {
    std::fprintf(stderr, "lodestone-clipboard: %s\n", reason);
    return 1;
}

} // namespace

int main() {
    std::string text;
    if (!ReadInput(text))
        return Fail("the text cannot be read or is too long to keep");
    const clipboard::XcbConnection connection = clipboard::ConnectToDisplay();
    if (!connection)
        return Fail("cannot open the X display");
    std::string error;
    const auto owner = clipboard::ClipboardOwner::Take(*connection, std::move(text), error);
    if (!owner)
        return Fail(error.c_str());
    if (!Detach())
        return Fail("cannot start the process that keeps the text");
    owner->Serve();
    return 0;
}
