// Loads a description of n "Files to download" entries (n / 100 "Download Sites") and walks both
// lists to the end: the reader, and the plain reference of its text passes.
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

std::string WriteDescription(int entries) {
  const std::string path =
      "/tmp/ini_parser_bench_" + std::to_string(getpid()) + "_" + std::to_string(entries) + ".ini";
  std::ofstream(path, std::ios::binary) << MakeDescription(entries);
  return path;
}

void BM_Reader(benchmark::State& state) {
  const std::string path = WriteDescription(static_cast<int>(state.range(0)));
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

void BM_Reference(benchmark::State& state) {
  const std::string path = WriteDescription(static_cast<int>(state.range(0)));
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

BENCHMARK(BM_Reader)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
// The reference is quadratic: 100k entries would take hours, so it stops at 10k.
BENCHMARK(BM_Reference)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

BENCHMARK_MAIN();
