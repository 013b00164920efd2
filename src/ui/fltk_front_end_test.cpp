// The desktop window and boxes on a real X server of the test's own, read back from the screen.
#include "ui/fltk_front_end.h"

#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "support/temp_folder.h"
#include "ui/download_dlg.h"
#include "ui/front_end_select.h"
#include "ui/xvfb_server.h"

// Xlib and the toolkit keep their caches for the life of the connection, which is the process's.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libfontconfig\nleak:libXft\nleak:libfltk\nleak:libxcb\n";
}

namespace {

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

// Whether two colours differ by at most tolerance in each channel.
bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

// A copy of the whole screen as 0xRRGGBB values.
class CScreenshot {
 public:
  explicit CScreenshot(Display* display) {
    Window root = DefaultRootWindow(display);
    XImage* image = XGetImage(display, root, 0, 0, kScreenWidth, kScreenHeight, AllPlanes, ZPixmap);
    m_pixels.resize(static_cast<size_t>(kScreenWidth) * kScreenHeight);
    if (image == nullptr) return;
    for (int y = 0; y < kScreenHeight; ++y) {
      for (int x = 0; x < kScreenWidth; ++x) {
        unsigned long p = XGetPixel(image, x, y);
        uint32_t rgb =
            static_cast<uint32_t>(((p & image->red_mask) >> 16) << 16 |
                                  ((p & image->green_mask) >> 8) << 8 | (p & image->blue_mask));
        m_pixels[static_cast<size_t>(y) * kScreenWidth + x] = rgb;
      }
    }
    XDestroyImage(image);
  }
  uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * kScreenWidth + x]; }
  // A pixel of the progress window, in the window's own coordinates.
  uint32_t InWindow(int x, int y) const { return At(kWindowX + x, kWindowY + y); }

 private:
  std::vector<uint32_t> m_pixels;
};

std::string NameOf(Display* display, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string result;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256,
                         False, AnyPropertyType, &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr && format == 8)
    result.assign(reinterpret_cast<const char*>(data), count);
  if (data != nullptr) XFree(data);
  return result;
}

// The mapped top-level window of that name, or None.
Window FindWindow(Display* display, const std::string& name) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = None;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
    return None;
  for (unsigned i = 0; i < count && found == None; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable && NameOf(display, children[i]) == name)
      found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

Window WaitForWindow(Display* display, const std::string& name) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Window window = FindWindow(display, name)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return None;
}

std::vector<Atom> AtomsOf(Display* display, Window window, const char* property, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<Atom> atoms;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False, type,
                         &actualType, &format, &count, &after, &data) == Success &&
      data != nullptr && format == 32) {
    const long* values = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < count; ++i) atoms.push_back(static_cast<Atom>(values[i]));
  }
  if (data != nullptr) XFree(data);
  return atoms;
}

bool HasAboveState(Display* display, Window window) {
  Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
  for (Atom a : AtomsOf(display, window, "_NET_WM_STATE", XA_ATOM))
    if (a == above) return true;
  return false;
}

// How many pixels of the bar's middle row show the filled colour, counted from its left end.
int FilledPixels(const CScreenshot& shot) {
  int filled = 0;
  while (filled < kBarInnerWidth && shot.InWindow(kBarInnerX + filled, kBarRow) == kFill) ++filled;
  return filled;
}

int RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

class DesktopFrontEndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!CXvfbServer::IsInstalled()) return;
    s_server = new CXvfbServer();
    if (s_server->Start(kScreenWidth, kScreenHeight))
      setenv("DISPLAY", s_server->DisplayName().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    if (s_server == nullptr) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(s_server->DisplayName().empty()) << "Xvfb did not start";
    m_frontEnd = CFltkFrontEnd::Open();
    ASSERT_NE(nullptr, m_frontEnd);
    SetFrontEnd(m_frontEnd.get());
    m_view = XOpenDisplay(s_server->DisplayName().c_str());
    ASSERT_NE(nullptr, m_view);
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

  static CXvfbServer* s_server;
  std::unique_ptr<CFltkFrontEnd> m_frontEnd;
  Display* m_view = nullptr;
  std::vector<Window> m_covers;
};

CXvfbServer* DesktopFrontEndTest::s_server = nullptr;

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
    EXPECT_EQ(kBlack, shot.InWindow(x, y)) << "window border at " << x << "," << y;
  // The picture, 550 x 300 scaled to 466 x 246: its ground, the emblem's centre and the C's stem.
  EXPECT_TRUE(Near(kPictureGrey, shot.InWindow(254, 33), 2)) << std::hex << shot.InWindow(254, 33);
  EXPECT_TRUE(Near(kPictureGrey, shot.InWindow(440, 225), 2));
  EXPECT_TRUE(Near(0x1B6E8A, shot.InWindow(85, 123), 2)) << std::hex << shot.InWindow(85, 123);
  EXPECT_TRUE(Near(kLetters, shot.InWindow(165, 123), 40)) << std::hex << shot.InWindow(165, 123);
  // Below the picture (246 rows, the last row of its area left out) the window's own ground.
  EXPECT_EQ(kGround, shot.InWindow(100, 246));
  EXPECT_EQ(kGround, shot.InWindow(100, 249));
  // The bar with its border, at 1 of 0..100: 4 of its 457 pixels filled.
  EXPECT_EQ(kBlack, shot.InWindow(3, 250));
  EXPECT_EQ(kBlack, shot.InWindow(461, 278));
  EXPECT_EQ(kGround, shot.InWindow(462, kBarRow));
  EXPECT_EQ(4, FilledPixels(shot));
  EXPECT_EQ(kTrough, shot.InWindow(kBarInnerX + 4, kBarRow));

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
  EXPECT_EQ(kTrough, half.InWindow(kBarInnerX + 501 * kBarInnerWidth / 1000, kBarRow));

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
  EXPECT_EQ(kBlack, covered.InWindow(0, 0));
  EXPECT_EQ(101 * kBarInnerWidth / 1000, FilledPixels(covered));

  dlg.LeaveTopBand();
  EXPECT_FALSE(HasAboveState(m_view, window));
  CoverScreen();
  dlg.OnDownloadProgress(100, 200);
  EXPECT_EQ(0xFFFFFFu, CScreenshot(m_view).InWindow(0, 0)) << "raised after leaving the top band";
}

// Runs the box on this thread while another one looks at it and closes it with the action.
struct CBoxSeen {
  bool found = false;
  XWindowAttributes attributes{};
  Window transientFor = None;
  bool above = false;
  int darkTextPixels = 0;
  uint32_t atProgressWindowMiddle = 0;
};

CBoxSeen ShowBoxAndClose(const std::string& displayName, const CString& caption,
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
        seen.atProgressWindowMiddle = shot.InWindow(kWindowWidth / 2, kWindowHeight / 2);
      } while (seen.darkTextPixels == 0 && std::chrono::steady_clock::now() < deadline);
    }
    close(seen.attributes);
    XCloseDisplay(view);
  });
  FrontEnd().ShowMessageBox(caption, text, owned);
  watcher.join();
  return seen;
}

TEST_F(DesktopFrontEndTest, OwnedBoxShowsAboveTheWindowAndClosesOnEnter) {
  if (RunQuietly("command -v xdotool") != 0) GTEST_SKIP() << "xdotool is not installed";
  CDownloadDlg dlg;
  dlg.Create();
  Window progress = FindWindow(m_view, "Corvanel");
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
