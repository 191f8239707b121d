// The lodestone-portal program itself: it announces its sites, serves them,
// and ends cleanly on SIGTERM and SIGINT.

#include "rawhttp.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <vector>

extern char** environ;

namespace {

// The program under test, started with its output on a pipe; killed if a
// test leaves it running.
class PortalProcess final {
  public:
    explicit PortalProcess(std::vector<std::string> arguments) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        arguments.insert(arguments.begin(), LODESTONE_PORTAL_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }

    ~PortalProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }

    // The first line of standard output; empty if none comes within 30 s.
    std::string FirstLine() {
        std::string line;
        char c;
        pollfd entry{output_, POLLIN, 0};
        while (::poll(&entry, 1, 30000) > 0 && ::read(output_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // The exit code, or -1 when the program did not exit normally.
    int Stop(int signal) {
        ::kill(pid_, signal);
        return Wait();
    }

    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// "lodestone-portal ready: portal=H:P player=H:P ..." as a map.
std::map<std::string, std::string> ParseSites(const std::string& line) {
    std::map<std::string, std::string> sites;
    std::istringstream words(line.substr(line.find(':') + 1));
    for (std::string word; words >> word;)
        if (const std::size_t equals = word.find('='); equals != std::string::npos)
            sites[word.substr(0, equals)] = word.substr(equals + 1);
    return sites;
}

class PortalProgramStop : public ::testing::TestWithParam<int> {};

TEST_P(PortalProgramStop, ServesEverySiteThenExitsCleanly) {
    PortalProcess portal({"--base-port", "0", "--verbose"});
    const std::string ready = portal.FirstLine();
    ASSERT_EQ(ready.rfind("lodestone-portal ready:", 0), 0u) << ready;
    std::map<std::string, std::string> sites = ParseSites(ready);
    ASSERT_EQ(sites.size(), 5u) << ready;
    EXPECT_EQ(portaltest::Get(sites["portal"], "/client?v=varnholt&c=0&so=0&t=").status, 200);
    EXPECT_EQ(portaltest::Get(sites["player"], "/lumacast/help.html").status, 200);
    EXPECT_EQ(portaltest::Get(sites["cache-a"], "/x.torrent").status, 404);
    EXPECT_EQ(portaltest::Get(sites["cache-b"], "/x.torrent").status, 404);
    EXPECT_EQ(portaltest::Get(sites["notice"], "/notice.html").status, 200);
    EXPECT_NE(portal.FirstLine().find(" GET /client?v=varnholt&c=0&so=0&t= 200"),
              std::string::npos);
    EXPECT_EQ(portal.Stop(GetParam()), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, PortalProgramStop, ::testing::Values(SIGTERM, SIGINT));

TEST(PortalProgram, RefusesBadOptionsAndBusyPorts) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--bogus"},
                                                      {"--base-port"},
                                                      {"--base-port", "x"},
                                                      {"--base-port", "65535"},
                                                      {"--base-port", "-1"}})
        EXPECT_EQ(PortalProcess(arguments).Wait(), 2) << arguments.front();
    EXPECT_EQ(PortalProcess({"--help"}).Wait(), 0);
    EXPECT_EQ(PortalProcess({"--data", "/nonexistent"}).Wait(), 1);

    const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(busy, 1), 0);
    ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    if (port <= 65535 - 4) {
        EXPECT_EQ(PortalProcess({"--base-port", std::to_string(port)}).Wait(), 1);
    }
    ::close(busy);
}

} // namespace
