// Transfer benchmark: a large file served by nginx on loopback, fetched in turn by DownloadFile
// (with a progress receiver that counts, as the window would) and by `curl -s -o`, each in a
// child process of its own so that its peak resident memory can be read. Prints every round,
// the median wall time of each side, their ratio and each side's peak resident memory.
//
//   transfer_bench [--size-mib N] [--rounds N]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "download/http_transfer.h"
#include "support/nginx_fixture.h"
#include "support/temp_folder.h"
#include "ui/download_dlg.h"

namespace {

class CCountingSink : public CProgressSink {
 public:
  void OnDownloadProgress(uint64_t wParam, int64_t /*lParam*/) override {
    bytes += wParam;
    ++messages;
  }
  uint64_t bytes = 0;
  uint64_t messages = 0;
};

struct CRun {
  double seconds = 0;
  long peakKiB = 0;
  bool ok = false;
};

// Runs argv in a child; its wall time and peak resident memory.
CRun RunChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  CRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKiB = usage.ru_maxrss;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Fetch(const char* url, const char* target, const char* expectedSize) {
  CCountingSink sink;
  bool ok = DownloadFile(CString(url), CString(target), &sink);
  uint64_t expected = std::strtoull(expectedSize, nullptr, 10);
  if (!ok || sink.bytes != expected) {
    std::fprintf(stderr, "DownloadFile: %s, %llu of %llu bytes reported\n", ok ? "true" : "false",
                 static_cast<unsigned long long>(sink.bytes),
                 static_cast<unsigned long long>(expected));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--fetch") == 0) return Fetch(argv[2], argv[3], argv[4]);

  uint64_t sizeMiB = 512;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--size-mib") == 0) sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  setenv("no_proxy", "127.0.0.1", 1);

  CNginxServer nginx;
  if (!nginx.IsRunning()) {
    std::fprintf(stderr, "nginx: %s\n", nginx.StartError().c_str());
    return 2;
  }
  const uint64_t size = sizeMiB << 20;
  {
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 131) ^ (i >> 9));
    FILE* file = std::fopen((nginx.WwwFolder() + "/file.bin").c_str(), "wb");
    for (uint64_t i = 0; file && i < sizeMiB; ++i) std::fwrite(block.data(), 1, block.size(), file);
    if (!file || std::fclose(file) != 0) {
      std::fprintf(stderr, "cannot write the served file\n");
      return 2;
    }
  }
  CTempFolder downloads;
  const std::string url = nginx.Url("/file.bin");
  const std::string target = downloads.Sub("file.bin");
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 2;
  self[length] = '\0';

  std::vector<double> ours, curls;
  long oursPeak = 0, curlPeak = 0;
  std::printf("%llu MiB from nginx on 127.0.0.1, %d rounds\n",
              static_cast<unsigned long long>(sizeMiB), rounds);
  for (int round = 0; round < rounds; ++round) {
    std::remove(target.c_str());
    CRun our = RunChild({self, "--fetch", url, target, std::to_string(size)});
    std::remove(target.c_str());
    CRun curl = RunChild({"/usr/bin/curl", "-s", "-o", target, url});
    std::remove(target.c_str());
    if (!our.ok || !curl.ok) {
      std::fprintf(stderr, "round %d failed (DownloadFile %d, curl %d)\n", round, our.ok, curl.ok);
      return 1;
    }
    ours.push_back(our.seconds);
    curls.push_back(curl.seconds);
    oursPeak = std::max(oursPeak, our.peakKiB);
    curlPeak = std::max(curlPeak, curl.peakKiB);
    std::printf("round %d: DownloadFile %.3f s (%ld KiB), curl %.3f s (%ld KiB)\n", round + 1,
                our.seconds, our.peakKiB, curl.seconds, curl.peakKiB);
  }
  double ourMedian = Median(ours), curlMedian = Median(curls);
  std::printf("median: DownloadFile %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s)\n", ourMedian,
              sizeMiB / ourMedian, curlMedian, sizeMiB / curlMedian);
  std::printf("ratio DownloadFile / curl: %.2f\n", ourMedian / curlMedian);
  std::printf("peak resident memory: DownloadFile %.1f MiB, curl %.1f MiB\n", oursPeak / 1024.0,
              curlPeak / 1024.0);
  return 0;
}
