// The web request routine on libcurl against the curl command-line tool:
// both fetch 1, 16 and 64 MiB bodies from the same loopback server, each in a
// process of its own so that its peak memory can be read. Prints the wall
// time ratio (target: at most 1.25 times curl at 64 MiB), the peak memory
// against the body size (target: at most twice) and the throughput at each
// size, which shows whether the cost grows linearly.

#include "fakehost.h"
#include "loopbackserver.h"
#include "net/cookiestore.h"
#include "net/curlinternet.h"
#include "net/webpageaccess.h"
#ifdef LODESTONE_BENCH_GUI
#include "gui/qthost.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t OneMiB = std::size_t(1) << 20;
constexpr int Runs = 7;

// The child's side: one fetch; prints the seconds the exchange took.
int FetchWith(host::Host& host, net::CookieStore& cookies, const char* address,
              std::size_t expected) {
    net::CurlInternet internet(cookies);
    net::WebContext web{host, internet};
    text::Text url = address;
    const auto start = std::chrono::steady_clock::now();
    const std::size_t size = net::WebPageAccess(web, url).size();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", elapsed.count());
    return size == expected ? 0 : 1;
}

// With a host whose event processing does nothing.
int FetchOnce(const char* address, std::size_t expected) {
    fakes::FakeHost host;
    net::CookieStore cookies;
    return FetchWith(host, cookies, address, expected);
}

#ifdef LODESTONE_BENCH_GUI
// With the real Qt host, whose event processing runs before every 1 KiB read.
int FetchOnceWithQtHost(const char* address, std::size_t expected) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "bench_net";
    char* argv[] = {name, nullptr};
    net::CookieStore cookies;
    gui::QtHost host(argc, argv, cookies);
    return FetchWith(host, cookies, address, expected);
}
#endif

struct Run {
    double process = 0;  // seconds from start to exit
    double transfer = 0; // seconds of the exchange, as the child reports it
    double peakMiB = 0;
    bool ok = false;
};

// Runs a child that prints its transfer time, and takes its peak memory.
Run Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    Run run;
    if (FILE* reported = fdopen(out[0], "r")) {
        if (std::fscanf(reported, "%lf", &run.transfer) != 1)
            run.transfer = 0;
        std::fclose(reported);
    }
    int status = 0;
    rusage usage{};
    if (!spawned || wait4(pid, &status, 0, &usage) != pid)
        return {};
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    run.process = elapsed.count();
    run.peakMiB = usage.ru_maxrss / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.transfer > 0;
    return run;
}

double Median(std::vector<double> values) {
    std::ranges::sort(values);
    return values[values.size() / 2];
}

struct Summary {
    double process = 0, transfer = 0, peakMiB = 0;
    bool ok = true;
};

Summary Summarise(const std::vector<Run>& runs) {
    Summary summary;
    std::vector<double> process, transfer, peak;
    for (const Run& run : runs) {
        process.push_back(run.process);
        transfer.push_back(run.transfer);
        peak.push_back(run.peakMiB);
        summary.ok = summary.ok && run.ok;
    }
    summary.process = Median(process);
    summary.transfer = Median(transfer);
    summary.peakMiB = Median(peak);
    return summary;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "fetch")
        return FetchOnce(argv[2], std::stoull(argv[3]));
#ifdef LODESTONE_BENCH_GUI
    if (argc == 4 && std::string(argv[1]) == "fetch-qt")
        return FetchOnceWithQtHost(argv[2], std::stoull(argv[3]));
#endif

    const std::string self = "/proc/self/exe";
    nettest::LoopbackServer server;
    const Run baseline = Spawn({self, "fetch", server.Url("/empty"), "0"});
    std::printf("A process that fetches an empty body peaks at %.1f MiB.\n", baseline.peakMiB);
    std::printf("Medians of %d runs; transfer = the exchange alone (curl: time_total), process = "
                "start to exit.\n\n",
                Runs);
    // "peak/body" counts the process's own baseline too; "beyond" leaves it out.
    std::printf("%6s | %9s %9s %6s | %9s %9s %6s | %8s %9s %7s | %7s\n", "body", "transfer", "curl",
                "ratio", "process", "curl", "ratio", "peak MiB", "peak/body", "beyond", "MiB/s");
    bool allOk = baseline.ok;
    for (const std::size_t mib : {1, 16, 64}) {
        const std::size_t size = mib * OneMiB;
        const std::string url = server.Url("/size?n=" + std::to_string(size));
        const std::vector<std::string> curlCommand = {
            "curl", "-s", "-o", "/dev/null", "-w", "%{time_total}", url};
        Spawn(curlCommand); // the server makes the body once
        std::vector<Run> ours, theirs;
        for (int i = 0; i < Runs; ++i) {
            ours.push_back(Spawn({self, "fetch", url, std::to_string(size)}));
            theirs.push_back(Spawn(curlCommand));
        }
        const Summary routine = Summarise(ours);
        const Summary curl = Summarise(theirs);
#ifdef LODESTONE_BENCH_GUI
        std::vector<Run> withQt;
        for (int i = 0; i < Runs; ++i)
            withQt.push_back(Spawn({self, "fetch-qt", url, std::to_string(size)}));
        const Summary qt = Summarise(withQt);
        allOk = allOk && qt.ok;
        std::printf("%2zu MiB with the Qt host: transfer %.4f s, %.2fx curl (target at most 2x)\n",
                    mib, qt.transfer, qt.transfer / curl.transfer);
#endif
        allOk = allOk && routine.ok && curl.ok;
        const double body = static_cast<double>(mib);
        std::printf(
            "%2zu MiB | %9.4f %9.4f %5.2fx | %9.4f %9.4f %5.2fx | %8.1f %8.2fx %6.2fx | %7.0f\n",
            mib, routine.transfer, curl.transfer, routine.transfer / curl.transfer, routine.process,
            curl.process, routine.process / curl.process, routine.peakMiB, routine.peakMiB / body,
            (routine.peakMiB - baseline.peakMiB) / body, body / routine.transfer);
    }
    if (!allOk)
        std::printf("\nsome fetch failed\n");
    return allOk ? 0 : 1;
}
