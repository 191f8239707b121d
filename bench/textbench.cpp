// Throughput of the text core over pages of mixed ASCII and GBK text, at
// 1 MiB and 16 MiB, against memmem, iconv and ICU's direct converter on the
// same buffers. Prints the ratios that matter at the end.

#include "text/codepage.h"
#include "text/encoding.h"
#include "text/markers.h"
#include "text/memoryfile.h"
#include "text/text.h"

#include "machineload.h"

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

namespace {

constexpr std::size_t OneMiB = std::size_t(1) << 20;
constexpr std::size_t SixteenMiB = 16 * OneMiB;
constexpr int Repetitions = 5;
const std::string Marker = "info_hash="; // ten bytes, absent from the plain page

// Pages of a given size: words of random lower-case ASCII and HTML
// punctuation between runs of GB2312 characters.
struct Corpus {
    std::string page;
    std::string markedPage; // the marker and a quote 200 bytes before the end
    std::string ampPage;    // "&amp;" about every 100 bytes
    std::string utf8Page;
    std::string header; // header lines with CR LF
    double highShare = 0;
};

std::string ChineseRun(std::mt19937& random, std::size_t characters) {
    std::string run;
    for (std::size_t i = 0; i < characters; ++i) {
        run += static_cast<char>(0xB0 + random() % 0x27); // rows B0-D6 are full
        run += static_cast<char>(0xA1 + random() % 0x5E);
    }
    return run;
}

std::string AsciiRun(std::mt19937& random, std::size_t bytes) {
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz  <>/=\".";
    std::string run;
    for (std::size_t i = 0; i < bytes; ++i)
        run += alphabet[random() % (sizeof alphabet - 1)];
    return run;
}

Corpus MakeCorpus(std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    Corpus corpus;
    std::string& page = corpus.page;
    while (page.size() < size)
        page += random() % 2 ? ChineseRun(random, 1 + random() % 10)
                             : AsciiRun(random, 1 + random() % 15);
    page.resize(size);
    while (static_cast<unsigned char>(page.back()) >= 0x80)
        page.back() = 'x'; // no lead byte cut off at the end
    std::size_t high = 0;
    for (char c : page)
        high += static_cast<unsigned char>(c) >= 0x80;
    corpus.highShare = double(high) / double(size);

    corpus.markedPage = page;
    const std::string tail = Marker + "ABCDEF\"";
    corpus.markedPage.replace(size - 200, tail.size(), tail);
    if (static_cast<unsigned char>(corpus.markedPage[size - 201]) >= 0x80)
        corpus.markedPage[size - 201] = ' ';

    for (std::size_t at = 0; at + 100 < size; at += 100)
        corpus.ampPage.append(page, at, 95).append("&amp;");
    corpus.utf8Page = text::GbkToUtf8(page);

    while (corpus.header.size() < size)
        corpus.header += random() % 3 ? "Set-Cookie: k" + std::to_string(random() % 1000) + "=v" +
                                            ChineseRun(random, 3) + "; path=/\r\n"
                                      : "X-Title: " + ChineseRun(random, 12) + "\r\n";
    corpus.header.resize(size);
    return corpus;
}

const Corpus& CorpusOf(std::size_t size) {
    static std::map<std::size_t, Corpus> corpora;
    auto found = corpora.find(size);
    if (found == corpora.end())
        found = corpora.emplace(size, MakeCorpus(size)).first;
    return found->second;
}

template <typename Operation>
void Measure(benchmark::State& state, const std::string& input, Operation operation) {
    for (auto _ : state)
        benchmark::DoNotOptimize(operation(input));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

// The whole page is GB2312, which iconv converts completely.
std::size_t Iconv(const std::string& utf8) {
    iconv_t converter = iconv_open("GBK", "UTF-8");
    std::string out(utf8.size(), '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* target = out.data();
    std::size_t outLeft = out.size();
    const bool complete = iconv(converter, &in, &inLeft, &target, &outLeft) == 0;
    iconv_close(converter);
    if (!complete)
        std::abort();
    return out.size() - outLeft;
}

// ICU's own converter straight from UTF-8 to the code page the program uses
// for GBK; the fastest ICU offers, so a conversion of our own must beat it.
std::size_t IcuDirect(const std::string& utf8) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* reader = ucnv_open("UTF-8", &error);
    UConverter* writer = ucnv_open("windows-936-2000", &error);
    std::string out(utf8.size(), '\0');
    char* target = out.data();
    const char* source = utf8.data();
    UChar pivot[1024];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    ucnv_convertEx(writer, reader, &target, out.data() + out.size(), &source,
                   utf8.data() + utf8.size(), pivot, &pivotSource, &pivotTarget,
                   pivot + std::size(pivot), true, true, &error);
    ucnv_close(writer);
    ucnv_close(reader);
    if (U_FAILURE(error))
        std::abort();
    return static_cast<std::size_t>(target - out.data());
}

using Benchmark = void (*)(benchmark::State&, const Corpus&);

const std::pair<const char*, Benchmark> Benchmarks[] = {
    {"memmem absent",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.page, [](const std::string& page) {
             return memmem(page.data(), page.size(), Marker.data(), Marker.size());
         });
     }},
    {"copy (result floor)",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.page, [](const std::string& page) { return std::string(page); });
     }},
    {"FindText absent",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.page, [](const std::string& page) { return text::FindText(page, Marker); });
     }},
    {"FindText near end",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.markedPage,
                 [](const std::string& page) { return text::FindText(page, Marker); });
     }},
    {"FindText ignore case",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.markedPage, [](const std::string& page) {
             return text::FindText(page, "INFO_HASH=", {}, true);
         });
     }},
    {"ReplaceSubtext none",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.page,
                 [](const std::string& page) { return text::ReplaceSubtext(page, "&amp;", "&"); });
     }},
    {"ReplaceSubtext many",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.ampPage,
                 [](const std::string& page) { return text::ReplaceSubtext(page, "&amp;", "&"); });
     }},
    {"TextBetween near end",
     [](benchmark::State& s, const Corpus& c) {
         Measure(s, c.markedPage,
                 [](const std::string& page) { return text::TextBetween(page, Marker, "\""); });
     }},
    {"iconv UTF-8 to GBK",
     [](benchmark::State& s, const Corpus& c) { Measure(s, c.utf8Page, Iconv); }},
    {"ICU UTF-8 to GBK",
     [](benchmark::State& s, const Corpus& c) { Measure(s, c.utf8Page, IcuDirect); }},
    {"Utf8ToGbk",
     [](benchmark::State& s, const Corpus& c) { Measure(s, c.utf8Page, text::Utf8ToGbk); }},
    {"ReadLine",
     [](benchmark::State& s, const Corpus& c) {
         text::MemoryFile file = text::OpenMemoryFile();
         file.WriteText(c.header);
         Measure(s, c.header, [&file](const std::string&) {
             std::size_t lines = 0;
             for (file.SeekFileStart(); !file.AtFileEnd(); ++lines)
                 benchmark::DoNotOptimize(file.ReadLine());
             return lines;
         });
     }},
};

std::string NameOf(const char* operation, std::size_t size) {
    return std::string(operation) + (size == OneMiB ? "/1MiB" : "/16MiB");
}

// Keeps the medians, minima and maxima over the repetitions of every
// benchmark for the summary.
class RecordingReporter final : public benchmark::ConsoleReporter {
  public:
    struct Figures {
        double seconds = 0;                  // median processor time
        double median = 0, min = 0, max = 0; // throughput, bytes per second
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto bytes = run.counters.find("bytes_per_second");
            if (run.run_type != Run::RT_Aggregate || bytes == run.counters.end())
                continue;
            Figures& figures = figures_[run.run_name.function_name];
            if (run.aggregate_name == "median") {
                figures.seconds = run.GetAdjustedCPUTime();
                figures.median = bytes->second.value;
            } else if (run.aggregate_name == "min") {
                figures.min = bytes->second.value;
            } else if (run.aggregate_name == "max") {
                figures.max = bytes->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    Figures Of(const char* operation, std::size_t size) const {
        const auto found = figures_.find(NameOf(operation, size));
        return found == figures_.end() ? Figures{} : found->second;
    }

  private:
    std::map<std::string, Figures> figures_;
};

void PrintSummary(const RecordingReporter& reporter, const std::string& loadAtStart) {
    constexpr double GiB = double(1 << 30);
    auto median = [&](const char* name) { return reporter.Of(name, SixteenMiB).median; };
    std::printf("\nMachine load (1, 5, 15 min) at the start: %s, at the end: %s\n",
                loadAtStart.c_str(), bench::MachineLoad().c_str());
    std::printf("GBK page: %.1f%% of its bytes are 0x80 or more\n",
                100 * CorpusOf(SixteenMiB).highShare);
    std::printf("16 MiB throughput in GiB/s (processor time), median [min-max] of %d:\n",
                Repetitions);
    for (const auto& [name, run] : Benchmarks) {
        const RecordingReporter::Figures figures = reporter.Of(name, SixteenMiB);
        if (figures.median == 0)
            continue; // filtered out
        std::printf("  %-22s %7.3f [%.3f-%.3f]\n", name, figures.median / GiB, figures.min / GiB,
                    figures.max / GiB);
    }
    std::printf("Ratios of the medians:\n");
    std::printf("  FindText absent / memmem:  %.2f (target at least 0.5)\n",
                median("FindText absent") / median("memmem absent"));
    std::printf("  Utf8ToGbk / iconv:         %.2f (target at least 1.5)\n",
                median("Utf8ToGbk") / median("iconv UTF-8 to GBK"));
    std::printf("  Utf8ToGbk / ICU direct:    %.2f\n",
                median("Utf8ToGbk") / median("ICU UTF-8 to GBK"));
    std::printf("Time at 16 MiB / time at 1 MiB (linear: about 16):\n");
    for (const auto& [name, run] : Benchmarks) {
        const double small = reporter.Of(name, OneMiB).seconds;
        const double large = reporter.Of(name, SixteenMiB).seconds;
        if (small > 0 && large > 0)
            std::printf("  %-22s %6.1f\n", name, large / small);
    }
}

} // namespace

int main(int argc, char** argv) {
    for (std::size_t size : {OneMiB, SixteenMiB})
        for (const auto& [name, run] : Benchmarks)
            benchmark::RegisterBenchmark(
                NameOf(name, size).c_str(),
                [run = run, size](benchmark::State& state) { run(state, CorpusOf(size)); })
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(Repetitions)
                ->ReportAggregatesOnly(true)
                ->ComputeStatistics("min",
                                    [](const std::vector<double>& values) {
                                        return *std::ranges::min_element(values);
                                    })
                ->ComputeStatistics("max", [](const std::vector<double>& values) {
                    return *std::ranges::max_element(values);
                });
    benchmark::Initialize(&argc, argv);
    const std::string loadAtStart = bench::MachineLoad();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter, loadAtStart);
    benchmark::Shutdown();
}
