// Loads a description of n "Files to download" entries (n / 100 "Download Sites") and walks both
// lists to the end: the reader, and the plain reference of its text passes. Two shapes: every
// entry uses the same variable, or every entry a variable of its own (n distinct tags).
//   ini_parser_bench [--benchmark_filter=Reader]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "description/ini_parser.h"
#include "description/ini_reference.h"

namespace {

// Every entry uses a variable whose tag comes last, comments every tenth line.
std::string MakeDescription(int entries) {
  std::string text = "// generated\n[Download Sites]\n";
  for (int i = 0; i < entries / 100; ++i) text += "mirror" + std::to_string(i) + ".example/x\n";
  text += "[Files to download]\n";
  for (int i = 0; i < entries; ++i) {
    text += "/v$Version$/f" + std::to_string(i) + ".cab -> f" + std::to_string(i) + ".cab";
    text += i % 10 == 0 ? " // tenth\n" : "\n";
  }
  text += "[Version] 1.2\n[End]\nEnd\n";
  return text;
}

// Every entry uses a variable of its own; half the tags stand before the list, half after it.
std::string MakeDistinctDescription(int entries) {
  std::string head = "// generated\n[Download Sites]\n";
  for (int i = 0; i < entries / 100; ++i) head += "mirror" + std::to_string(i) + ".example/x\n";
  std::string list = "[Files to download]\n", tail;
  for (int i = 0; i < entries; ++i) {
    const std::string name = "Version " + std::to_string(i);
    (i % 2 ? tail : head) += "[" + name + "] 1." + std::to_string(i) + "\n";
    list += "/v$" + name + "$/f" + std::to_string(i) + ".cab -> f" + std::to_string(i) + ".cab\n";
  }
  return head + list + tail + "[End]\nEnd\n";
}

std::string WriteDescription(int entries, bool distinct = false) {
  const std::string path = "/tmp/ini_parser_bench_" + std::to_string(getpid()) + "_" +
                           std::to_string(entries) + (distinct ? "d" : "") + ".ini";
  std::ofstream(path, std::ios::binary)
      << (distinct ? MakeDistinctDescription(entries) : MakeDescription(entries));
  return path;
}

void BM_Reader(benchmark::State& state, bool distinct) {
  const std::string path = WriteDescription(static_cast<int>(state.range(0)), distinct);
  size_t walked = 0;
  for (auto _ : state) {
    CIniParser parser;
    if (!parser.Load(CString(path))) state.SkipWithError("description did not load");
    CString remote, local, site;
    for (bool more = parser.GetFirstFile(remote, local); more;
         more = parser.GetNextFile(remote, local)) {
      ++walked;
    }
    for (bool more = parser.GetFirstSite(site); more; more = parser.GetNextSite(site)) ++walked;
  }
  state.counters["entries"] = static_cast<double>(walked / state.iterations());
  state.SetComplexityN(state.range(0));
  std::remove(path.c_str());
}

void BM_Reference(benchmark::State& state, bool distinct) {
  const std::string path = WriteDescription(static_cast<int>(state.range(0)), distinct);
  size_t walked = 0;
  for (auto _ : state) {
    std::optional<std::vector<unsigned char>> bytes = CIniParser::ReadPlainFile(CString(path));
    reference::CLoaded loaded = reference::LoadBytes(*bytes);
    if (!loaded.endOk) state.SkipWithError("description did not load");
    walked += reference::WalkFiles(loaded.text).size() + reference::WalkSites(loaded.text).size();
  }
  state.counters["entries"] = static_cast<double>(walked / state.iterations());
  state.SetComplexityN(state.range(0));
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK_CAPTURE(BM_Reader, SharedVariable, false)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK_CAPTURE(BM_Reader, DistinctVariables, true)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
// The reference is quadratic: 100k entries would take hours, so it stops at 10k.
BENCHMARK_CAPTURE(BM_Reference, SharedVariable, false)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK_CAPTURE(BM_Reference, DistinctVariables, true)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
