// The web request routine against libcurl used plainly: each fetches bodies
// of 1 byte, 1, 16 and 64 MiB from the same loopback server, every fetch in a
// process of its own (bench_net_fetch, built next to this program) so that its
// start-up and peak memory can be read. Both keep the body in memory; see
// netfetch.cpp.
//
// The ways take turns within each round, in an order that rotates from round
// to round, so a change in the machine's load falls on all of them alike; the
// ratios to libcurl are taken per round, then summarised. Every figure is a
// median with the minimum and maximum of the rounds. The one-byte fetch is
// set-up and first byte, nearly all latency. The machine's load is printed at
// the start and the end, since other work on it moves every figure.
//
// Usage: bench_net [rounds] (default 15).

#include "loopbackserver.h"
#include "machineload.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t OneMiB = std::size_t(1) << 20;

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
    // The Qt host's start-up chatter; a failed fetch shows in its exit code.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    Run run;
    if (FILE* reported = fdopen(out[0], "r")) {
        if (std::fscanf(reported, "%lf", &run.transfer) != 1)
            run.transfer = 0;
        std::fclose(reported);
    } else {
        close(out[0]);
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

struct Spread {
    double median = 0, min = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
    if (values.empty())
        return {};
    std::ranges::sort(values);
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

template <typename Field> Spread SpreadOf(const std::vector<Run>& runs, Field field) {
    std::vector<double> values;
    for (const Run& run : runs)
        values.push_back(field(run));
    return SpreadOf(values);
}

// "median [min-max]" in a fixed width.
std::string Format(const Spread& spread, const char* format) {
    char number[3][32];
    std::snprintf(number[0], sizeof number[0], format, spread.median);
    std::snprintf(number[1], sizeof number[1], format, spread.min);
    std::snprintf(number[2], sizeof number[2], format, spread.max);
    return std::string(number[0]) + " [" + number[1] + "-" + number[2] + "]";
}

struct Way {
    const char* name;
    std::vector<std::string> command; // the URL and size follow
    std::vector<Run> runs;
    double baselineMiB = 0; // peak of a process that fetched an empty body
};

std::string SizeName(std::size_t size) {
    return size < OneMiB ? std::to_string(size) + " B" : std::to_string(size / OneMiB) + " MiB";
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::filesystem::path here =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string fetch = here / "bench_net_fetch";
    const std::string fetchWithQt = here / "bench_net_fetch_qt";

    std::vector<Way> ways = {{"libcurl (yardstick)", {fetch, "curl"}, {}, 0},
                             {"ours, headless", {fetch, "ours"}, {}, 0}};
    if (std::filesystem::exists(fetchWithQt))
        ways.push_back({"ours, Qt host", {fetchWithQt, "ours"}, {}, 0});

    std::printf("Machine load (1, 5, 15 min) at the start: %s\n", bench::MachineLoad().c_str());
    std::printf("Every way keeps the body in memory. %d rounds; median [min-max] over them.\n"
                "transfer = the exchange alone, process = start to exit, x libcurl = the ratio\n"
                "within each round, beyond = (peak - the way's baseline) / body.\n\n",
                rounds);

    nettest::LoopbackServer server;
    bool allOk = true;
    const std::string empty = server.Url("/empty");
    std::printf("Baseline, peak of a process that fetches an empty body:");
    for (Way& way : ways) {
        std::vector<Run> runs;
        for (int i = 0; i < 3; ++i) {
            std::vector<std::string> command = way.command;
            command.insert(command.end(), {empty, "0"});
            runs.push_back(Spawn(command));
            allOk = allOk && runs.back().ok;
        }
        way.baselineMiB = SpreadOf(runs, [](const Run& run) { return run.peakMiB; }).median;
        std::printf("%s %s %.1f MiB", &way == &ways.front() ? "" : ",", way.name, way.baselineMiB);
    }
    std::printf("\n");

    for (const std::size_t size : {std::size_t(1), OneMiB, 16 * OneMiB, 64 * OneMiB}) {
        const std::string url = server.Url("/size?text=1&n=" + std::to_string(size));
        Spawn({fetch, "curl", url, std::to_string(size)}); // the server makes the body once
        for (Way& way : ways)
            way.runs.clear();
        for (int round = 0; round < rounds; ++round)
            for (std::size_t turn = 0; turn < ways.size(); ++turn) {
                Way& way = ways[(turn + static_cast<std::size_t>(round)) % ways.size()];
                std::vector<std::string> command = way.command;
                command.insert(command.end(), {url, std::to_string(size)});
                way.runs.push_back(Spawn(command));
                allOk = allOk && way.runs.back().ok;
            }

        std::printf("\n%s%s\n", SizeName(size).c_str(),
                    size == 1 ? " (set-up and first byte)" : "");
        std::printf("  %-20s %-24s %-19s %-24s %-19s %-22s %s\n", "", "transfer ms", "x libcurl",
                    "process ms", "x libcurl", "peak MiB", "beyond");
        const std::vector<Run>& curl = ways.front().runs;
        for (const Way& way : ways) {
            const bool yardstick = &way == &ways.front();
            std::vector<double> transferRatio, processRatio;
            for (std::size_t i = 0; i < way.runs.size(); ++i) {
                transferRatio.push_back(way.runs[i].transfer / curl[i].transfer);
                processRatio.push_back(way.runs[i].process / curl[i].process);
            }
            const double body = static_cast<double>(size) / double(OneMiB);
            std::string beyond = "-";
            if (size >= OneMiB)
                beyond = Format(SpreadOf(way.runs,
                                         [&](const Run& run) {
                                             return (run.peakMiB - way.baselineMiB) / body;
                                         }),
                                "%.2f");
            std::printf(
                "  %-20s %-24s %-19s %-24s %-19s %-22s %s\n", way.name,
                Format(SpreadOf(way.runs, [](const Run& run) { return 1000 * run.transfer; }),
                       "%.1f")
                    .c_str(),
                yardstick ? "-" : Format(SpreadOf(transferRatio), "%.2f").c_str(),
                Format(SpreadOf(way.runs, [](const Run& run) { return 1000 * run.process; }),
                       "%.1f")
                    .c_str(),
                yardstick ? "-" : Format(SpreadOf(processRatio), "%.2f").c_str(),
                Format(SpreadOf(way.runs, [](const Run& run) { return run.peakMiB; }), "%.1f")
                    .c_str(),
                beyond.c_str());
        }
    }
    std::printf("\nMachine load (1, 5, 15 min) at the end: %s\n", bench::MachineLoad().c_str());
    if (!allOk)
        std::printf("some fetch failed\n");
    return allOk ? 0 : 1;
}
