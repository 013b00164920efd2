// What the desktop front end's tests share: a private X server (with a window manager or
// without), the progress window's layout as the screen shows it, and boxes closed from outside.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "ui/download_dlg.h"
#include "ui/fltk_front_end.h"
#include "ui/xvfb_server.h"
// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include "ui/x_screen.h"

namespace desktop_test {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kWindowWidth = 465;
constexpr int kWindowHeight = 283;
constexpr int kWindowX = (kScreenWidth - kWindowWidth) / 2;
constexpr int kWindowY = (kScreenHeight - kWindowHeight) / 2;
// The bar's inside: one pixel in from its border at 3, 250.
constexpr int kBarInnerX = 4;
constexpr int kBarInnerWidth = 457;
constexpr int kBarRow = 264;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kGround = 0xF0F0F0;
constexpr uint32_t kFill = 0x1B6E8A;
constexpr uint32_t kTrough = 0xE6E6E6;
constexpr uint32_t kPictureGrey = 0xD6D6D6;
constexpr uint32_t kLetters = 0x2B2B2B;

// A pixel of the progress window, in the window's own coordinates.
inline uint32_t InWindow(const CScreenshot& shot, int x, int y) {
  return shot.At(kWindowX + x, kWindowY + y);
}

// How many pixels of the bar's middle row show the filled colour, counted from its left end.
inline int FilledPixels(const CScreenshot& shot) {
  int filled = 0;
  while (filled < kBarInnerWidth && InWindow(shot, kBarInnerX + filled, kBarRow) == kFill) ++filled;
  return filled;
}

inline int RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

template <bool kWithWindowManager>
class CDesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!CXvfbServer::IsInstalled()) return;
    // The boxes are watched from a second thread with a connection of its own.
    XInitThreads();
    s_server = new CXvfbServer();
    if (!s_server->Start(kScreenWidth, kScreenHeight)) return;
    setenv("DISPLAY", s_server->DisplayName().c_str(), 1);
    if (kWithWindowManager) s_bWindowManager = s_server->StartWindowManager();
  }
  static void TearDownTestSuite() {  // the toolkit's display dies with it: one suite a process
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    if (s_server == nullptr) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(s_server->DisplayName().empty()) << "Xvfb did not start";
    if (kWithWindowManager && !s_bWindowManager) {
      if (!CXvfbServer::IsWindowManagerInstalled()) GTEST_SKIP() << "openbox is not installed";
      FAIL() << "openbox did not start";
    }
    m_frontEnd = CFltkFrontEnd::Open();
    ASSERT_NE(nullptr, m_frontEnd);
    SetFrontEnd(m_frontEnd.get());
    m_view = XOpenDisplay(s_server->DisplayName().c_str());
    ASSERT_NE(nullptr, m_view);
    IgnoreVanishedWindows();
  }

  void TearDown() override {
    SetFrontEnd(nullptr);
    m_frontEnd.reset();
    for (Window w : m_covers) XDestroyWindow(m_view, w);
    if (m_view != nullptr) XCloseDisplay(m_view);
  }

  // Maps a plain white window over the whole screen from the test's own connection.
  void CoverScreen() {
    Window cover = XCreateSimpleWindow(m_view, DefaultRootWindow(m_view), 0, 0, kScreenWidth,
                                       kScreenHeight, 0, 0, WhitePixel(m_view, 0));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(m_view, cover, CWOverrideRedirect, &attributes);
    XMapRaised(m_view, cover);
    XClearWindow(m_view, cover);
    XSync(m_view, False);
    m_covers.push_back(cover);
  }

  static inline CXvfbServer* s_server = nullptr;
  static inline bool s_bWindowManager = false;
  std::unique_ptr<CFltkFrontEnd> m_frontEnd;
  Display* m_view = nullptr;
  std::vector<Window> m_covers;
};

// Runs the box on this thread while another one looks at it and closes it with the action.
struct CBoxSeen {
  bool found = false;
  XWindowAttributes attributes{};
  Window transientFor = None;
  bool above = false;
  int darkTextPixels = 0;
  uint32_t atProgressWindowMiddle = 0;
};

inline CBoxSeen ShowBoxAndClose(const std::string& displayName, const CString& caption,
                                const CString& text, bool owned,
                                const std::function<void(const XWindowAttributes&)>& close) {
  CBoxSeen seen;
  std::thread watcher([&] {
    Display* view = XOpenDisplay(displayName.c_str());
    if (view == nullptr) return;
    Window box = WaitForWindow(view, ToUtf8(caption));
    if (box != None) {
      seen.found = true;
      XGetWindowAttributes(view, box, &seen.attributes);
      XGetTransientForHint(view, box, &seen.transientFor);
      seen.above = HasAboveState(view, box);
      // The box may be mapped a moment before it is drawn: look again until its text shows.
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      do {
        CScreenshot shot(view);
        seen.darkTextPixels = 0;
        // The text runs right of the warning sign, from 62 to the right margin.
        const XWindowAttributes& a = seen.attributes;
        for (int y = a.y + 15; y < a.y + 47; ++y)
          for (int x = a.x + 62; x < a.x + a.width - 15; ++x)
            if (Near(shot.At(x, y), 0x000000, 80)) ++seen.darkTextPixels;
        seen.atProgressWindowMiddle = InWindow(shot, kWindowWidth / 2, kWindowHeight / 2);
      } while (seen.darkTextPixels == 0 && std::chrono::steady_clock::now() < deadline);
    }
    close(seen.attributes);
    XCloseDisplay(view);
  });
  FrontEnd().ShowMessageBox(caption, text, owned);
  watcher.join();
  return seen;
}

}  // namespace desktop_test
