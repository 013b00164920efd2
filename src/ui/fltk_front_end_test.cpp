// The desktop window and boxes on a real X server of the test's own, read back from the screen.
#include "ui/fltk_front_end.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/temp_folder.h"
#include "ui/front_end_select.h"
// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "ui/desktop_test.h"

namespace {

using namespace desktop_test;
using DesktopFrontEndTest = CDesktopTest<false>;

TEST_F(DesktopFrontEndTest, WindowIsCentredUndecoratedAboveFocusedAndPainted) {
  CDownloadDlg dlg;
  dlg.Create();

  Window window = FindWindow(m_view, "Corvanel");
  ASSERT_NE(None, window) << "no mapped window named Corvanel";
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(m_view, window, &attributes));
  EXPECT_EQ(kWindowWidth, attributes.width);
  EXPECT_EQ(kWindowHeight, attributes.height);
  EXPECT_EQ(kWindowX, attributes.x);
  EXPECT_EQ(kWindowY, attributes.y);
  EXPECT_EQ(0, attributes.border_width);
  // With no window manager running, nothing may frame it: it stands on the root by itself.
  EXPECT_TRUE(attributes.override_redirect);
  EXPECT_TRUE(HasAboveState(m_view, window));
  Window focus = None;
  int revert = 0;
  XGetInputFocus(m_view, &focus, &revert);
  EXPECT_EQ(window, focus);

  // Painted without any event loop running since Create returned.
  CScreenshot shot(m_view);
  for (auto [x, y] : {std::pair{0, 0}, {464, 0}, {0, 282}, {464, 282}, {232, 0}, {0, 140}})
    EXPECT_EQ(kBlack, InWindow(shot, x, y)) << "window border at " << x << "," << y;
  // The picture, 550 x 300 scaled to 466 x 246: its ground, the emblem's centre and the C's stem.
  EXPECT_TRUE(Near(kPictureGrey, InWindow(shot, 254, 33), 2))
      << std::hex << InWindow(shot, 254, 33);
  EXPECT_TRUE(Near(kPictureGrey, InWindow(shot, 440, 225), 2));
  EXPECT_TRUE(Near(0x1B6E8A, InWindow(shot, 85, 123), 2)) << std::hex << InWindow(shot, 85, 123);
  EXPECT_TRUE(Near(kLetters, InWindow(shot, 165, 123), 40)) << std::hex << InWindow(shot, 165, 123);
  // Below the picture (246 rows, the last row of its area left out) the window's own ground.
  EXPECT_EQ(kGround, InWindow(shot, 100, 246));
  EXPECT_EQ(kGround, InWindow(shot, 100, 249));
  // The bar with its border, at 1 of 0..100: 4 of its 457 pixels filled.
  EXPECT_EQ(kBlack, InWindow(shot, 3, 250));
  EXPECT_EQ(kBlack, InWindow(shot, 461, 278));
  EXPECT_EQ(kGround, InWindow(shot, 462, kBarRow));
  EXPECT_EQ(4, FilledPixels(shot));
  EXPECT_EQ(kTrough, InWindow(shot, kBarInnerX + 4, kBarRow));

  dlg.DestroyWindow();
  EXPECT_EQ(None, FindWindow(m_view, "Corvanel"));
}

TEST_F(DesktopFrontEndTest, BarFillsInProportionAndHoldsAtTheEnd) {
  CDownloadDlg dlg;
  dlg.Create();
  dlg.SetTotal(1000);
  EXPECT_EQ(0, FilledPixels(CScreenshot(m_view)));  // 1 of 1000 is under one pixel

  dlg.OnDownloadProgress(500, 500);
  CScreenshot half(m_view);
  EXPECT_EQ(501 * kBarInnerWidth / 1000, FilledPixels(half));
  EXPECT_EQ(kTrough, InWindow(half, kBarInnerX + 501 * kBarInnerWidth / 1000, kBarRow));

  // A 0 repaints without moving; more than the rest of the range stops at the end.
  long repaints = m_frontEnd->RepaintCount();
  dlg.OnDownloadProgress(0, 500);
  EXPECT_EQ(repaints + 1, m_frontEnd->RepaintCount());
  EXPECT_EQ(501, m_frontEnd->Bar().GetPosition());
  dlg.OnDownloadProgress(1024, 1524);
  dlg.OnDownloadProgress(1024, 2548);
  EXPECT_EQ(1000, m_frontEnd->Bar().GetPosition());
  EXPECT_EQ(kBarInnerWidth, FilledPixels(CScreenshot(m_view)));
}

TEST_F(DesktopFrontEndTest, RepaintsOnlyWhenTheFilledWidthChangesAndAlwaysDrawsTheEnd) {
  CDownloadDlg dlg;
  dlg.Create();
  // Ten chunks of 1024 bytes per pixel of the bar.
  int64_t total = int64_t{kBarInnerWidth} * 10 * 1024;
  dlg.SetTotal(total);
  long before = m_frontEnd->RepaintCount();
  for (int i = 0; i < kBarInnerWidth * 10; ++i) dlg.OnDownloadProgress(1024, 0);
  long repaints = m_frontEnd->RepaintCount() - before;
  EXPECT_LE(repaints, kBarInnerWidth);
  EXPECT_GE(repaints, kBarInnerWidth - 1);
  EXPECT_EQ(kBarInnerWidth, FilledPixels(CScreenshot(m_view)));
}

TEST_F(DesktopFrontEndTest, StaysAboveWindowsMappedLaterUntilItLeavesTheTopBand) {
  CDownloadDlg dlg;
  dlg.Create();
  dlg.SetTotal(1000);
  Window window = FindWindow(m_view, "Corvanel");
  ASSERT_NE(None, window);

  CoverScreen();
  dlg.OnDownloadProgress(100, 100);  // moves the bar by pixels: the window is drawn and raised
  CScreenshot covered(m_view);
  EXPECT_EQ(kBlack, InWindow(covered, 0, 0));
  EXPECT_EQ(101 * kBarInnerWidth / 1000, FilledPixels(covered));

  dlg.LeaveTopBand();
  EXPECT_FALSE(HasAboveState(m_view, window));
  CoverScreen();
  dlg.OnDownloadProgress(100, 200);
  EXPECT_EQ(0xFFFFFFu, InWindow(CScreenshot(m_view), 0, 0)) << "raised after leaving the top band";
}

TEST_F(DesktopFrontEndTest, OwnedBoxShowsAboveTheWindowAndClosesOnEnter) {
  if (RunQuietly("command -v xdotool") != 0) GTEST_SKIP() << "xdotool is not installed";
  CDownloadDlg dlg;
  dlg.Create();
  Window progress = FindWindow(m_view, "Corvanel");
  CScreenshot before(m_view);
  CBoxSeen seen =
      ShowBoxAndClose(s_server->DisplayName(), CString("Install_PhotoTool_v2"),
                      CString("Error: Failed to create User Info File."), true,
                      [](const XWindowAttributes&) { RunQuietly("xdotool key Return"); });
  ASSERT_TRUE(seen.found) << "no box titled with the caption";
  EXPECT_EQ(progress, seen.transientFor);
  EXPECT_TRUE(seen.above);
  EXPECT_GT(seen.darkTextPixels, 50) << "no text drawn in the box";
  // The middle of the screen shows the box, not the progress window's picture behind it.
  EXPECT_FALSE(Near(0xD6D6D6, seen.atProgressWindowMiddle, 2));
  // Centred on the screen, over the progress window's middle.
  EXPECT_NEAR(kScreenWidth / 2, seen.attributes.x + seen.attributes.width / 2, 1);
  EXPECT_NEAR(kScreenHeight / 2, seen.attributes.y + seen.attributes.height / 2, 1);
  EXPECT_EQ(None, FindWindow(m_view, "Install_PhotoTool_v2"));
  EXPECT_NE(None, FindWindow(m_view, "Corvanel")) << "the box took the progress window along";
  // What the box covered is drawn again before ShowMessageBox returns.
  CScreenshot after(m_view);
  int differing = 0;
  for (int y = 60; y < 240; y += 5)
    for (int x = 0; x < kWindowWidth; x += 5)
      if (InWindow(after, x, y) != InWindow(before, x, y)) ++differing;
  EXPECT_EQ(0, differing);
}

TEST_F(DesktopFrontEndTest, BoxWithoutOwnerClosesOnAClickOnOk) {
  if (RunQuietly("command -v xdotool") != 0) GTEST_SKIP() << "xdotool is not installed";
  auto clickOk = [](const XWindowAttributes& a) {
    // The OK button, 90 x 26, sits 15 pixels in from the right and the bottom.
    int x = a.x + a.width - 15 - 45, y = a.y + a.height - 15 - 13;
    RunQuietly("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  };
  CBoxSeen seen =
      ShowBoxAndClose(s_server->DisplayName(), CString("Ini Parser"),
                      CString("Tag [Program to run] not found in file x@y & z."), false, clickOk);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(None, seen.transientFor);
  EXPECT_GT(seen.darkTextPixels, 50);
  EXPECT_EQ(None, FindWindow(m_view, "Ini Parser"));
}

TEST_F(DesktopFrontEndTest, SessionPicksTheDesktopWhenTheDisplayOpens) {
  {
    CScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    std::unique_ptr<CFrontEnd> chosen = CreateFrontEndForThisSession();
    EXPECT_NE(nullptr, dynamic_cast<CFltkFrontEnd*>(chosen.get()));
  }
  CScopedEnv display("DISPLAY", std::nullopt);
  CScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
  std::unique_ptr<CFrontEnd> chosen = CreateFrontEndForThisSession();
  EXPECT_EQ(nullptr, dynamic_cast<CFltkFrontEnd*>(chosen.get()));
}

}  // namespace
