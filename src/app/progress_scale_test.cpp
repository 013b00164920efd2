#include "app/progress_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "support/recording_front_end.h"

namespace {

constexpr uint64_t kMaxRange = std::numeric_limits<int32_t>::max();

// The increments that reached the window, from the recorder's "advance N" lines.
std::vector<uint64_t> Increments(const CRecordingFrontEnd& recorder) {
  std::vector<uint64_t> increments;
  for (const std::string& event : recorder.events) {
    if (event.rfind("advance ", 0) == 0) increments.push_back(std::stoull(event.substr(8)));
  }
  return increments;
}

TEST(ScaledProgressTest, RangeAndIncrementsFitAndFillTheBarExactlyOnce) {
  const struct {
    const char* name;
    uint64_t total;
    std::vector<uint64_t> chunks;
  } cases[] = {
      {"small total, bytes as units", 3000, {0, 1024, 1024, 952}},
      {"largest total in bytes", kMaxRange, {1, kMaxRange - 2, 1}},
      {"one byte beyond", kMaxRange + 1, {1, 1, kMaxRange - 1}},
      {"five gigabytes",
       5000000000,
       {1, 1023, 999999999, 1000000000, 1000000000, 1000000000, 999998977}},
      {"beyond four terabytes", uint64_t{1} << 42, {uint64_t{1} << 41, 7, (uint64_t{1} << 41) - 7}},
      {"the largest total there is", UINT64_MAX, {UINT64_MAX / 2, UINT64_MAX - UINT64_MAX / 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(std::accumulate(c.chunks.begin(), c.chunks.end(), uint64_t{0}), c.total);
    CRecordingFrontEnd recorder;
    CDownloadDlg window;
    window.Create();
    CScaledProgress progress(&window);
    progress.SetTotal(c.total);
    const uint64_t range = static_cast<uint64_t>(recorder.bar.GetUpper());
    EXPECT_LE(range, kMaxRange);
    EXPECT_EQ(range, c.total / progress.GetBytesPerUnit());
    if (c.total <= kMaxRange) {
      EXPECT_EQ(progress.GetBytesPerUnit(), 1u);
    }

    for (uint64_t chunk : c.chunks) progress.OnDownloadProgress(chunk, 0);
    std::vector<uint64_t> increments = Increments(recorder);
    // Every message reaches the window, those that complete no unit as a repaint.
    ASSERT_EQ(increments.size(), c.chunks.size());
    EXPECT_EQ(std::accumulate(increments.begin(), increments.end(), uint64_t{0}), range);
    // Only the last chunk completes the range.
    EXPECT_LT(std::accumulate(increments.begin(), increments.end() - 1, uint64_t{0}), range);
  }
}

TEST(ScaledProgressTest, WithoutAWindowNothingIsShown) {
  CRecordingFrontEnd recorder;
  CScaledProgress progress(nullptr);
  progress.SetTotal(5000000000);
  progress.OnDownloadProgress(1024, 1024);
  EXPECT_TRUE(recorder.events.empty());
}

}  // namespace
