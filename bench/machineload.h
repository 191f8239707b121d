#pragma once
// The load averages of the machine (1, 5 and 15 minutes): benchmarks print
// them at their start and end, since other work moves every figure.

#include <fstream>
#include <string>

namespace bench {

inline std::string MachineLoad() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace bench
