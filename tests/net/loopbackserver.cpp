#include "loopbackserver.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace nettest {

LoopbackServer::LoopbackServer(Tls tls) {
    char pattern[] = "/tmp/lodestone-net-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("no temporary directory");
    workDir_ = pattern;

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::string python = LODESTONE_PYTHON, script = LODESTONE_TEST_SERVER, flag = "--tls";
    char* argv[] = {python.data(), script.data(), workDir_.data(),
                    tls == Tls::On ? flag.data() : nullptr, nullptr};
    const int spawned = posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    FILE* out = fdopen(pipeEnds[0], "r");
    const bool started = spawned == 0 && out && std::fscanf(out, "%d %d", &port_, &tlsPort_) == 2;
    if (out)
        std::fclose(out);
    if (!started) {
        if (spawned == 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(workDir_);
        throw std::runtime_error("the test server did not start");
    }
}

LoopbackServer::~LoopbackServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(workDir_, ignored);
}

std::string LoopbackServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string LoopbackServer::SecureUrl(std::string_view path) const {
    return "https://127.0.0.1:" + std::to_string(tlsPort_) + std::string(path);
}

} // namespace nettest
