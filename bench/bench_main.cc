// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The benchmark program: Google Benchmark's usual table, then a summary in Markdown of what the numbers
// mean together: how each operation grows with the store, and the ratios to the work it cannot avoid
// (README, "Benchmarks", shows one).
//
// The host keeps Xerces-C initialised for the whole run, as the library expects of its host.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include <xercesc/util/PlatformUtils.hpp>

#if defined(_WIN32)
#include <io.h>
#define TIDINGS_ISATTY _isatty
#else
#include <unistd.h>
#define TIDINGS_ISATTY isatty
#endif

namespace {

using Run = benchmark::BenchmarkReporter::Run;

struct Result {
  double dSeconds = 0;  // real time per iteration
  double dItemsPerSecond = 0;
};

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // With repetitions, the median stands for them all.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      Result& result = m_results[Key(run.run_name.function_name, run.run_name.args, run.threads)];
      result.dSeconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) result.dItemsPerSecond = items->second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::string out = "\nSummary\n\n";
    AppendGrowth(&out);
    AppendRatios(&out);
    AppendThreads(&out);
    std::fputs(out.c_str(), stdout);
  }

 private:
  static std::string Key(const std::string& name, const std::string& args, int64_t threads) {
    return name + "/" + args + "/" + std::to_string(threads);
  }
  const Result* Find(const std::string& name, const std::string& args, int64_t threads = 1) const {
    auto it = m_results.find(Key(name, args, threads));
    return it == m_results.end() ? nullptr : &it->second;
  }

  static std::string Time(double dSeconds) {
    const char* unit = "s";
    double value = dSeconds;
    if (dSeconds < 1e-6) {
      value = dSeconds * 1e9;
      unit = "ns";
    } else if (dSeconds < 1e-3) {
      value = dSeconds * 1e6;
      unit = "us";
    } else if (dSeconds < 1) {
      value = dSeconds * 1e3;
      unit = "ms";
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, value < 10 ? "%.2f %s" : value < 100 ? "%.1f %s" : "%.0f %s", value, unit);
    return buf;
  }
  static std::string Ratio(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, d < 10 ? "%.2f" : "%.0f", d);
    return buf;
  }
  static std::string Cell(const Result* r) { return r ? Time(r->dSeconds) : "-"; }
  static std::string RatioCell(const Result* a, const Result* b) {
    return a && b && b->dSeconds > 0 ? Ratio(a->dSeconds / b->dSeconds) : "-";
  }

  // Operations run at 10, 1,000 and 100,000 messages, with how they grow.
  void AppendGrowth(std::string* out) const {
    std::vector<std::string> names;
    for (const auto& entry : m_results) {
      const std::string& key = entry.first;
      const size_t cut = key.rfind("/100000/1");
      if (cut == std::string::npos || cut + 9 != key.size()) continue;
      const std::string name = key.substr(0, cut);
      if (Find(name, "10") != nullptr) names.push_back(name);
    }
    if (names.empty()) return;
    *out +=
        "| Operation (one call; a walk: all N steps) | N = 10 | N = 1,000 | N = 100,000 | "
        "100,000 / 1,000 | 100,000 / 10 |\n|---|---|---|---|---|---|\n";
    for (const std::string& name : names) {
      if (name.compare(0, 8, "Threads/") == 0) continue;
      const Result* r10 = Find(name, "10");
      const Result* r1k = Find(name, "1000");
      const Result* r100k = Find(name, "100000");
      *out += "| " + name + " | " + Cell(r10) + " | " + Cell(r1k) + " | " + Cell(r100k) + " | " +
              RatioCell(r100k, r1k) + " | " + RatioCell(r100k, r10) + " |\n";
    }
    const Result* n1 = Find("Notify/subscribers", "1");
    const Result* n10 = Find("Notify/subscribers", "10");
    const Result* n100 = Find("Notify/subscribers", "100");
    if (n1 || n10 || n100) {
      *out +=
          "\n| A notification (NBX_MessageHasPopup, 10 messages) | 1 subscriber | 10 subscribers | "
          "100 subscribers |\n|---|---|---|---|\n| Notify/subscribers | " +
          Cell(n1) + " | " + Cell(n10) + " | " + Cell(n100) + " |\n";
    }
    *out += "\n";
  }

  void AppendRatios(std::string* out) const {
    std::string rows;
    for (const char* n : {"1000", "100000"}) {
      const Result* init = Find("MsgGovInitial", n);
      const Result* parse = Find("XercesParse", n);
      if (init && parse) {
        rows += std::string("| MsgGovInitial / Xerces-C parse, ") + n + " messages | " +
                Time(init->dSeconds) + " / " + Time(parse->dSeconds) + " | " + RatioCell(init, parse) +
                " |\n";
      }
      const Result* finish = Find("MsgGovFinish", n);
      const Result* both = Find("XercesParseSerialize", n);
      if (finish && both) {
        rows += std::string("| MsgGovFinish / Xerces-C parse and serialize, ") + n + " messages | " +
                Time(finish->dSeconds) + " / " + Time(both->dSeconds) + " | " + RatioCell(finish, both) +
                " |\n";
      }
    }
    const Result* line = Find("Trace/line", "");
    const Result* bare = Find("Trace/bare_calls", "");
    const Result* locked = Find("Trace/bare_calls_locked", "");
    if (line && bare) {
      rows += "| Trace line / its bare calls (open, size, seek, write, close) | " + Time(line->dSeconds) +
              " / " + Time(bare->dSeconds) + " | " + RatioCell(line, bare) + " |\n";
    }
    if (line && locked) {
      rows += "| Trace line / the same calls with the lock | " + Time(line->dSeconds) + " / " +
              Time(locked->dSeconds) + " | " + RatioCell(line, locked) + " |\n";
    }
    const Result* off = Find("Trace/off", "");
    const Result* offBase = Find("Trace/off_baseline", "");
    if (off && offBase) {
      rows += "| Tracing off: what one trace call adds | " + Time(off->dSeconds) + " - " +
              Time(offBase->dSeconds) + " | " + Time(off->dSeconds - offBase->dSeconds) + " |\n";
    }
    if (!rows.empty()) *out += "| Ratio | Times | Value |\n|---|---|---|\n" + rows + "\n";
  }

  void AppendThreads(std::string* out) const {
    std::string rows;
    for (const char* n : {"1000", "100000"}) {
      std::string row = std::string("| Threads/read_and_add, N = ") + n;
      bool bAny = false;
      for (int64_t threads : {1, 2, 4}) {
        const Result* r = Find("Threads/read_and_add", n, threads);
        char buf[64] = "-";
        if (r) std::snprintf(buf, sizeof buf, "%.3g", r->dItemsPerSecond);
        bAny = bAny || r;
        row += std::string(" | ") + buf;
      }
      if (bAny) rows += row + " |\n";
    }
    if (!rows.empty()) {
      *out +=
          "| Operations per second, all threads | 1 thread | 2 threads | 4 threads |\n|---|---|---|---|\n" +
          rows;
    }
  }

  std::map<std::string, Result> m_results;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  xercesc::XMLPlatformUtils::Initialize();
  {
    // Colours only for a terminal.
    SummaryReporter reporter(TIDINGS_ISATTY(1) ? benchmark::ConsoleReporter::OO_ColorTabular
                                               : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  // Xerces-C is not terminated: the copies of the library stay loaded until the program ends.
  return 0;
}
