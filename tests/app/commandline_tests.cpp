// The program's own command line, answered before Qt starts.

#include "app/commandline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    std::vector<const char*> arguments;
    std::optional<int> exitCode; // empty: the program runs
    const char* out;             // a part of what goes to stdout
    const char* err;             // a part of what goes to stderr
};

TEST(CommandLineTest, AnswersHelpVersionAndRefusesWhatItDoesNotKnow) {
    const Case cases[] = {
        {{}, std::nullopt, "", ""},
        {{"--help"}, 0, "Usage: lodestone", ""},
        {{"-h"}, 0, "--version", ""},
        {{"--version"}, 0, "Lodestone 1.0.0 (build 20130906)\n", ""},
        {{"--version", "--help"}, 0, "Usage:", ""},
        // Qt's switches pass, with their values apart or attached.
        {{"-platform", "wayland"}, std::nullopt, "", ""},
        {{"--platform", "xcb", "-reverse", "-style=fusion"}, std::nullopt, "", ""},
        {{"-qwindowgeometry", "100x100+0+0", "--version"}, 0, "1.0.0", ""},
        {{"--webEngineArgs", "--remote-debugging-port=9222", "stray"}, std::nullopt, "", ""},
        // A value is not taken for a switch.
        {{"-platform", "--version"}, std::nullopt, "", ""},
        {{"--bogus"}, 2, "", "lodestone: unknown option '--bogus'\nUsage: lodestone"},
        {{"--help", "-x"}, 2, "", "unknown option '-x'"},
        {{"-reverse=1"}, 2, "", "unknown option '-reverse=1'"},
        {{"--"}, 2, "", "unknown option '--'"},
        {{"file.torrent"}, 2, "", "unexpected argument 'file.torrent'"},
        {{"-"}, 2, "", "unexpected argument '-'"},
        {{"-platform"}, 2, "", "option '-platform' needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
        const auto answer = app::AnswerCommandLine(c.arguments);
        ASSERT_EQ(answer.has_value(), c.exitCode.has_value());
        if (!answer)
            continue;
        EXPECT_EQ(answer->exitCode, *c.exitCode);
        EXPECT_NE(answer->out.find(c.out), std::string::npos) << answer->out;
        EXPECT_NE(answer->err.find(c.err), std::string::npos) << answer->err;
        // An answer goes to one stream only, and help goes out on errors.
        EXPECT_TRUE(answer->exitCode == 0 ? answer->err.empty() : answer->out.empty());
        if (answer->exitCode == 2) {
            EXPECT_EQ(answer->err.find('\n'), answer->err.find("Usage:") - 1);
        }
    }
}

} // namespace
