#include "ui/download_dlg.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/recording_front_end.h"

namespace {

TEST(DownloadDlg, BarStartsAtOneOfAHundredAndSetTotalChangesOnlyTheRange) {
  CRecordingFrontEnd recorder;
  CDownloadDlg dlg;
  dlg.Create();
  EXPECT_EQ(100, recorder.bar.GetUpper());
  EXPECT_EQ(1, recorder.bar.GetPosition());
  dlg.SetTotal(1000);
  EXPECT_EQ(1000, recorder.bar.GetUpper());
  EXPECT_EQ(1, recorder.bar.GetPosition());
  dlg.OnDownloadProgress(1024, 1024);
  dlg.OnDownloadProgress(0, 1024);
  EXPECT_EQ(1000, recorder.bar.GetPosition());  // held at the end
  dlg.OnDownloadProgress(5, 1029);
  EXPECT_EQ(1000, recorder.bar.GetPosition());
}

TEST(DownloadDlg, CallsWithoutAWindowReachNoFrontEnd) {
  CRecordingFrontEnd recorder;
  {
    CDownloadDlg dlg;
    dlg.SetTotal(10);
    dlg.OnDownloadProgress(5, 5);
    dlg.LeaveTopBand();
    dlg.DestroyWindow();
    EXPECT_TRUE(recorder.events.empty());
    dlg.Create();
    dlg.Create();  // one window only
  }
  // Destroying the object removes the window it still had.
  std::vector<std::string> expected = {"create", "destroy"};
  EXPECT_EQ(expected, recorder.events);
}

TEST(ProgressBarState, KeepsThePositionInsideTheRange) {
  const struct {
    const char* name;
    int64_t upper;
    uint64_t advance;
    int64_t position;
    int filledOf457;
  } cases[] = {
      {"start", 100, 0, 1, 4},
      {"half of 1000", 1000, 500, 501, 228},
      {"beyond the end", 1000, 5000, 1000, 457},
      {"huge chunk", 1000, UINT64_MAX, 1000, 457},
      {"range of 0", 0, 1024, 0, 0},
      {"negative range", -5, 10, 0, 0},
      {"1 GiB range", int64_t{1} << 30, 512u << 20, (int64_t{1} << 29) + 1, 228},
      {"largest range", INT64_MAX, UINT64_MAX, INT64_MAX, 457},
  };
  for (const auto& c : cases) {
    CProgressBarState bar;
    bar.SetRange(c.upper);
    bar.Advance(c.advance);
    EXPECT_EQ(c.position, bar.GetPosition()) << c.name;
    EXPECT_EQ(c.filledOf457, bar.GetFilledWidth(457)) << c.name;
  }
  // Shrinking the range below the position brings it back to the new end; it never goes back
  // otherwise.
  CProgressBarState bar;
  bar.SetRange(1000);
  bar.Advance(600);
  bar.SetRange(300);
  EXPECT_EQ(300, bar.GetPosition());
  bar.SetRange(1000);
  EXPECT_EQ(300, bar.GetPosition());
}

}  // namespace
