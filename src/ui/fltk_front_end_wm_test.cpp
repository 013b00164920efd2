// The desktop window and boxes under a window manager (openbox) on a private X server: the
// window asks the manager for what it needs instead of placing and stacking itself.
#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "ui/desktop_test.h"

namespace {

using namespace desktop_test;
using ManagedFrontEndTest = CDesktopTest<true>;

Window ActiveWindow(Display* display) {
  std::vector<Atom> active =
      AtomsOf(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
  return active.empty() ? None : static_cast<Window>(active[0]);
}

TEST_F(ManagedFrontEndTest, WindowIsUnframedCentredActiveAndAboveUntilItLeavesTheTopBand) {
  CDownloadDlg dlg;
  dlg.Create();
  dlg.SetTotal(1000);
  Window window = FindWindow(m_view, "Corvanel");
  ASSERT_NE(None, window);

  // The manager keeps its hands off: no title bar, no frame, the place the window asked for.
  CPlace place = PlaceOf(m_view, window);
  EXPECT_EQ(kWindowX, place.x);
  EXPECT_EQ(kWindowY, place.y);
  EXPECT_EQ(kWindowWidth, place.width);
  EXPECT_EQ(kWindowHeight, place.height);
  CPlace frame = PlaceOf(m_view, TopLevelOf(m_view, window));
  EXPECT_EQ(kWindowWidth, frame.width) << "decorated";
  EXPECT_EQ(kWindowHeight, frame.height) << "decorated";
  EXPECT_TRUE(Eventually([&] { return HasAboveState(m_view, window); }));
  // Listed in the taskbar as the program's window.
  Atom skipTaskbar = XInternAtom(m_view, "_NET_WM_STATE_SKIP_TASKBAR", False);
  EXPECT_TRUE(Eventually([&] {
    std::vector<Atom> state = AtomsOf(m_view, window, "_NET_WM_STATE", XA_ATOM);
    return std::find(state.begin(), state.end(), skipTaskbar) == state.end();
  }));
  EXPECT_TRUE(Eventually([&] { return ActiveWindow(m_view) == window; }));

  // An ordinary window mapped later over the whole screen stays below it.
  Window other = XCreateSimpleWindow(m_view, DefaultRootWindow(m_view), 0, 0, kScreenWidth,
                                     kScreenHeight, 0, 0, WhitePixel(m_view, 0));
  XStoreName(m_view, other, "other");
  XMapRaised(m_view, other);
  XSync(m_view, False);
  ASSERT_NE(None, WaitForWindow(m_view, "other"));
  dlg.OnDownloadProgress(500, 500);
  EXPECT_TRUE(Eventually([&] {
    CScreenshot shot(m_view);
    return InWindow(shot, 0, 0) == kBlack && FilledPixels(shot) == 501 * kBarInnerWidth / 1000;
  })) << "the window went under a later one";

  dlg.LeaveTopBand();
  EXPECT_TRUE(Eventually([&] { return !HasAboveState(m_view, window); }));
  XRaiseWindow(m_view, TopLevelOf(m_view, other));
  XSync(m_view, False);
  EXPECT_TRUE(Eventually([&] { return InWindow(CScreenshot(m_view), 0, 0) == 0xFFFFFFu; }));
  XDestroyWindow(m_view, other);
}

TEST_F(ManagedFrontEndTest, BoxIsTitledWithTheCaptionAboveTheWindowAndClosesOnEnter) {
  if (RunQuietly("command -v xdotool") != 0) GTEST_SKIP() << "xdotool is not installed";
  CDownloadDlg dlg;
  dlg.Create();
  Window progress = FindWindow(m_view, "Corvanel");
  CBoxSeen seen =
      ShowBoxAndClose(s_server->DisplayName(), CString("Install_PhotoTool_v2"),
                      CString("Error: Failed to start the final setup."), true,
                      [](const XWindowAttributes&) { RunQuietly("xdotool key Return"); });
  ASSERT_TRUE(seen.found) << "no box titled with the caption";
  EXPECT_EQ(progress, seen.transientFor);
  EXPECT_TRUE(seen.above);
  EXPECT_GT(seen.darkTextPixels, 50);
  EXPECT_FALSE(Near(kPictureGrey, seen.atProgressWindowMiddle, 2)) << "box under the window";
  EXPECT_EQ(None, FindWindow(m_view, "Install_PhotoTool_v2"));
}

}  // namespace
