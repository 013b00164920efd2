#include "ui/fltk_front_end.h"

#include <FL/Fl.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "res/picture.h"
#include "ui/terminal_front_end.h"

namespace {

// The window's layout in pixels (dialog units at 96 dots per inch).
constexpr int kWindowWidth = 465;
constexpr int kWindowHeight = 283;
constexpr int kPictureAreaWidth = 467;
constexpr int kPictureAreaHeight = 247;
constexpr int kBarX = 3;
constexpr int kBarY = 250;
constexpr int kBarWidth = 459;
constexpr int kBarHeight = 29;
// Inside the bar's one-pixel border.
constexpr int kBarInnerWidth = kBarWidth - 2;
constexpr char kWindowName[] = "Corvanel";

const Fl_Color kGroundColour = fl_rgb_color(0xF0, 0xF0, 0xF0);
const Fl_Color kBorderColour = fl_rgb_color(0x00, 0x00, 0x00);
const Fl_Color kTroughColour = fl_rgb_color(0xE6, 0xE6, 0xE6);
const Fl_Color kFillColour = fl_rgb_color(0x1B, 0x6E, 0x8A);

// How long creation waits for the window to reach the screen (a window manager maps it later).
constexpr std::chrono::seconds kMapWait{2};

// The connection to the X server broke. Set by Xlib's I/O error handler in whatever call found
// out; checked before every use of the display, which is never touched again once it is set.
std::atomic<bool> g_bDisplayLost{false};
// The toolkit's display, whose loss the process survives.
Display* g_guardedDisplay = nullptr;
// What handled broken connections before: it still does for other connections of the process.
XIOErrorHandler g_otherIoErrorHandler = nullptr;

// Xlib calls this when a connection breaks, then the display's exit handler; the process ends
// unless both return. The toolkit's own handler would end it at once.
int OnConnectionBroken(Display* display) {
  if (display == g_guardedDisplay) {
    g_bDisplayLost = true;
    return 0;
  }
  return g_otherIoErrorHandler != nullptr ? g_otherIoErrorHandler(display) : 0;
}

// Returning marks the connection dead: the call that found the break returns a failure, and
// later calls on the display return at once instead of talking to the server.
void KeepRunningWithoutDisplay(Display*, void*) {}

// Events read before the connection broke are still queued when the toolkit's event loop finds
// out; handling them would have it talk to the dead connection again.
int DropEventsOnceLost(void*, void*) { return g_bDisplayLost ? 1 : 0; }

void GuardAgainstDisplayLoss() {
  if (g_guardedDisplay == fl_display) return;
  g_guardedDisplay = fl_display;
  XIOErrorHandler previous = XSetIOErrorHandler(OnConnectionBroken);
  if (previous != OnConnectionBroken) g_otherIoErrorHandler = previous;
  XSetIOErrorExitHandler(fl_display, KeepRunningWithoutDisplay, nullptr);
  Fl::add_system_handler(DropEventsOnceLost, nullptr);
}

// A window on a lost display is never taken down: the toolkit would ask the dead connection to
// destroy it and free its pixmaps, and Xlib keeps such requests in a buffer that nothing empties
// any more, until one no longer fits and the call crashes. The windows stay here (reachable, so
// not leaks) until the process ends.
void KeepUntilExit(std::unique_ptr<Fl_Window> window) {
  static auto* kept = new std::vector<std::unique_ptr<Fl_Window>>();
  kept->push_back(std::move(window));
}

// Hands a window to KeepUntilExit, however the function that made it returns, if the display
// was lost meanwhile.
class CKeepIfLost {
 public:
  explicit CKeepIfLost(std::unique_ptr<Fl_Window>& window) : m_window(window) {}
  CKeepIfLost(const CKeepIfLost&) = delete;
  CKeepIfLost& operator=(const CKeepIfLost&) = delete;
  ~CKeepIfLost() {
    if (g_bDisplayLost && m_window) KeepUntilExit(std::move(m_window));
  }

 private:
  std::unique_ptr<Fl_Window>& m_window;
};

// The names the window uses, asked for once up front, so that showing and stacking the window
// later needs no answer from the server.
constexpr const char* kAtomNames[] = {"_NET_SUPPORTING_WM_CHECK",
                                      "_NET_WM_STATE",
                                      "_NET_WM_STATE_ABOVE",
                                      "_NET_WM_STATE_SKIP_TASKBAR",
                                      "_NET_ACTIVE_WINDOW",
                                      "_NET_WM_NAME",
                                      "UTF8_STRING"};
Atom g_atoms[std::size(kAtomNames)] = {};

void InternAtoms() {
  if (g_atoms[0] != None) return;
  XInternAtoms(fl_display, const_cast<char**>(kAtomNames), static_cast<int>(std::size(kAtomNames)),
               False, g_atoms);
}

Atom AtomNamed(const char* name) {
  for (size_t i = 0; i < std::size(kAtomNames); ++i)
    if (strcmp(kAtomNames[i], name) == 0 && g_atoms[i] != None) return g_atoms[i];
  return XInternAtom(fl_display, name, False);
}

// A window manager that follows the desktop conventions announces itself on the root window.
bool WindowManagerRuns() {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = XGetWindowProperty(fl_display, RootWindow(fl_display, fl_screen),
                                  AtomNamed("_NET_SUPPORTING_WM_CHECK"), 0, 1, False, XA_WINDOW,
                                  &type, &format, &count, &after, &data) == Success &&
               type == XA_WINDOW && count == 1;
  if (data != nullptr) XFree(data);
  return found;
}

void SendToWindowManager(Window window, const char* message, long a0, long a1, long a2) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = AtomNamed(message);
  event.xclient.format = 32;
  event.xclient.data.l[0] = a0;
  event.xclient.data.l[1] = a1;
  event.xclient.data.l[2] = a2;
  event.xclient.data.l[3] = 1;  // from an application
  XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Asks for (or gives up) the "above" state. A window manager gets the request as a message;
// without one the property records the wish and the window is raised by hand.
void SetAboveState(Window window, bool withWindowManager, bool above) {
  Atom stateAbove = AtomNamed("_NET_WM_STATE_ABOVE");
  if (withWindowManager) {
    SendToWindowManager(window, "_NET_WM_STATE", above ? 1 : 0, static_cast<long>(stateAbove), 0);
  } else if (above) {
    XChangeProperty(fl_display, window, AtomNamed("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&stateAbove), 1);
  } else {
    XDeleteProperty(fl_display, window, AtomNamed("_NET_WM_STATE"));
  }
}

// The name under which the desktop lists the window; set by hand because the toolkit leaves it
// out on windows that no window manager handles.
void SetWindowName(Window window, const char* name) {
  XStoreName(fl_display, window, name);
  XChangeProperty(fl_display, window, AtomNamed("_NET_WM_NAME"), AtomNamed("UTF8_STRING"), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(name),
                  static_cast<int>(strlen(name)));
}

void BringToForeground(Window window, bool withWindowManager) {
  XRaiseWindow(fl_display, window);
  if (withWindowManager)
    SendToWindowManager(window, "_NET_ACTIVE_WINDOW", 1, CurrentTime, 0);
  else
    XSetInputFocus(fl_display, window, RevertToPointerRoot, CurrentTime);
}

// Runs the toolkit's events until the window is on screen, so that what is drawn next is seen,
// or until the display is lost.
void WaitUntilViewable(Fl_Window& window) {
  auto deadline = std::chrono::steady_clock::now() + kMapWait;
  while (!g_bDisplayLost && std::chrono::steady_clock::now() < deadline) {
    XWindowAttributes attributes{};
    if (window.shown() && XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) &&
        attributes.map_state == IsViewable)
      return;
    if (g_bDisplayLost) return;
    Fl::wait(0.01);
  }
}

void CentreOnScreen(Fl_Window& window) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

// Draws the picture, already scaled, at the area's origin; whatever runs past the window is cut.
class CPictureArea : public Fl_Widget {
 public:
  CPictureArea(int x, int y, int w, int h, CPicture picture)
      : Fl_Widget(x, y, w, h),
        m_picture(std::move(picture)),
        m_image(m_picture.rgb.data(), m_picture.width, m_picture.height, 3) {}
  void draw() override { m_image.draw(x(), y()); }

 private:
  // Declared first: the image only points at these pixels, so they are made before it and
  // go after it.
  CPicture m_picture;
  Fl_RGB_Image m_image;
};

// The smooth bar: a one-pixel border around a filled part and the empty trough.
class CBar : public Fl_Widget {
 public:
  CBar(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void SetFilled(int filled) { m_nFilled = filled; }
  void draw() override {
    fl_color(kBorderColour);
    fl_rect(x(), y(), w(), h());
    int innerHeight = h() - 2;
    if (m_nFilled > 0) fl_rectf(x() + 1, y() + 1, m_nFilled, innerHeight, kFillColour);
    if (m_nFilled < w() - 2)
      fl_rectf(x() + 1 + m_nFilled, y() + 1, w() - 2 - m_nFilled, innerHeight, kTroughColour);
  }

 private:
  int m_nFilled = 0;
};

// The warning sign of the message boxes: a yellow triangle with an exclamation mark.
class CWarningSign : public Fl_Widget {
 public:
  CWarningSign(int x, int y) : Fl_Widget(x, y, 32, 32) {}
  void draw() override {
    int left = x(), top = y() + 1, right = x() + 31, bottom = y() + 30, middle = x() + 16;
    fl_color(fl_rgb_color(0xF5, 0xC2, 0x11));
    fl_polygon(middle, top, right, bottom, left, bottom);
    fl_color(fl_rgb_color(0x5A, 0x46, 0x00));
    fl_loop(middle, top, right, bottom, left, bottom);
    fl_color(FL_BLACK);
    fl_rectf(middle - 2, y() + 10, 4, 11);
    fl_rectf(middle - 2, y() + 23, 4, 4);
  }
};

// Text drawn as it is: no '@' symbols, no '&' shortcuts.
class CPlainText : public Fl_Widget {
 public:
  CPlainText(int x, int y, int w, int h, std::string text)
      : Fl_Widget(x, y, w, h), m_text(std::move(text)) {}
  void draw() override {
    fl_font(FL_HELVETICA, 14);
    fl_color(FL_BLACK);
    fl_draw(m_text.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP,
            nullptr, 0);
  }

 private:
  std::string m_text;
};

void HideWindowOf(Fl_Widget* widget, void*) {
  Fl_Window* window = widget->as_window() ? widget->as_window() : widget->window();
  window->hide();
}

}  // namespace

// The progress window with its two parts; the border is drawn last, over their edges.
class CFltkFrontEnd::CWindow : public Fl_Window {
 public:
  CWindow() : Fl_Window(kWindowWidth, kWindowHeight, kWindowName) {
    color(kGroundColour);
    box(FL_FLAT_BOX);
    new CPictureArea(
        0, 0, kPictureAreaWidth, kPictureAreaHeight,
        ScalePictureSmooth(GetSetupPicture(), kPictureAreaWidth - 1, kPictureAreaHeight - 1));
    m_bar = new CBar(kBarX, kBarY, kBarWidth, kBarHeight);
    end();
    // The window cannot be closed by a key or the window manager while the setup runs.
    callback([](Fl_Widget*, void*) {});
  }
  CBar& Bar() { return *m_bar; }

  void draw() override {
    Fl_Window::draw();
    fl_color(kBorderColour);
    fl_rect(0, 0, w(), h());
  }

 private:
  CBar* m_bar;
};

std::unique_ptr<CFltkFrontEnd> CFltkFrontEnd::Open() {
  if (g_bDisplayLost) return nullptr;
  if (fl_display == nullptr) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    fl_open_display(display);
  }
  // Replaces the toolkit's handler, which ends the process when the connection breaks.
  GuardAgainstDisplayLoss();
  return std::unique_ptr<CFltkFrontEnd>(new CFltkFrontEnd());
}

bool CFltkFrontEnd::DisplayLost() { return g_bDisplayLost; }

CFltkFrontEnd::CFltkFrontEnd() {
  if (g_bDisplayLost) return;
  InternAtoms();
  if (!g_bDisplayLost) m_bWindowManager = WindowManagerRuns();
}

CFltkFrontEnd::~CFltkFrontEnd() { DestroyProgressWindow(); }

bool CFltkFrontEnd::AbandonIfLost() {
  if (!g_bDisplayLost) return false;
  if (m_window) KeepUntilExit(std::move(m_window));
  m_bTopBand = false;
  return true;
}

void CFltkFrontEnd::CreateProgressWindow() {
  if (AbandonIfLost() || m_window) return;
  m_bar = CProgressBarState();
  m_nFilled = 0;
  m_window = std::make_unique<CWindow>();
  m_window->xclass("corvanel");
  if (m_bWindowManager)
    m_window->border(0);  // no title bar or frame; the window draws its own border
  else
    m_window->set_override();  // nothing would place or stack it otherwise
  CentreOnScreen(*m_window);
  m_window->show();
  if (AbandonIfLost()) return;
  Window xid = fl_xid(m_window.get());
  SetWindowName(xid, kWindowName);
  m_bTopBand = true;
  SetAboveState(xid, m_bWindowManager, true);
  // The toolkit keeps borderless windows out of the taskbar; this one is the program's only
  // window and is listed there under its name.
  if (m_bWindowManager)
    SendToWindowManager(xid, "_NET_WM_STATE", 0,
                        static_cast<long>(AtomNamed("_NET_WM_STATE_SKIP_TASKBAR")), 0);
  WaitUntilViewable(*m_window);
  if (AbandonIfLost()) return;
  BringToForeground(xid, m_bWindowManager);
  m_window->redraw();
  RepaintBar();
}

void CFltkFrontEnd::SetProgressRange(int64_t upper) {
  if (AbandonIfLost()) return;
  m_bar.SetRange(upper);
  RepaintBar();
}

void CFltkFrontEnd::AdvanceProgress(uint64_t bytes) {
  if (AbandonIfLost()) return;
  m_bar.Advance(bytes);
  if (!m_window) return;
  if (bytes == 0 || m_bar.GetFilledWidth(kBarInnerWidth) != m_nFilled) RepaintBar();
}

void CFltkFrontEnd::RepaintBar() {
  if (AbandonIfLost() || !m_window) return;
  m_nFilled = m_bar.GetFilledWidth(kBarInnerWidth);
  m_window->Bar().SetFilled(m_nFilled);
  m_window->Bar().redraw();
  // Without a window manager nothing keeps the window above those mapped after it.
  if (m_bTopBand && !m_bWindowManager) XRaiseWindow(fl_display, fl_xid(m_window.get()));
  // No event loop runs between progress messages: take in pending exposures (so that a window
  // uncovered meanwhile is drawn again), draw, and wait until the server has done it.
  // Any of these may be the call that finds the display gone.
  XSync(fl_display, False);
  if (AbandonIfLost()) return;
  Fl::check();
  if (AbandonIfLost()) return;
  Fl::flush();
  if (AbandonIfLost()) return;
  XSync(fl_display, False);
  if (AbandonIfLost()) return;
  ++m_nRepaints;
}

void CFltkFrontEnd::LeaveTopBand() {
  if (AbandonIfLost() || !m_window || !m_bTopBand) return;
  m_bTopBand = false;
  SetAboveState(fl_xid(m_window.get()), m_bWindowManager, false);
  XFlush(fl_display);
}

void CFltkFrontEnd::DestroyProgressWindow() {
  if (AbandonIfLost() || !m_window) return;
  m_window->hide();
  m_window.reset();
  Fl::flush();
  if (g_bDisplayLost) return;
  XSync(fl_display, False);
}

void CFltkFrontEnd::ShowMessageBox(const CString& caption, const CString& text,
                                   bool ownedByProgressWindow) {
  if (!RunMessageBox(caption, text, ownedByProgressWindow))
    CTerminalFrontEnd(stderr).ShowMessageBox(caption, text, ownedByProgressWindow);
}

bool CFltkFrontEnd::RunMessageBox(const CString& caption, const CString& text,
                                  bool ownedByProgressWindow) {
  if (AbandonIfLost()) return false;
  constexpr int kMargin = 15;
  constexpr int kSign = 32;
  constexpr int kButtonWidth = 90;
  constexpr int kButtonHeight = 26;
  constexpr int kMaxTextWidth = 420;
  std::string body = ToUtf8(text);
  fl_font(FL_HELVETICA, 14);
  int textWidth = kMaxTextWidth, textHeight = 0;
  fl_measure(body.c_str(), textWidth, textHeight, 0);
  if (AbandonIfLost()) return false;
  // A word too long for a line (a path, say) widens the box, but never beyond the screen.
  int screenX = 0, screenY = 0, screenWidth = 0, screenHeight = 0;
  Fl::screen_xywh(screenX, screenY, screenWidth, screenHeight, 0);
  if (AbandonIfLost()) return false;
  textWidth = std::clamp(textWidth, 180, std::max(180, screenWidth - 4 * kMargin - kSign));
  textHeight = std::max(textHeight, kSign);
  int width = kMargin + kSign + kMargin + textWidth + kMargin;
  int height = kMargin + textHeight + kMargin + kButtonHeight + kMargin;

  auto box = std::make_unique<Fl_Window>(width, height);
  CKeepIfLost keepIfLost(box);
  box->copy_label(ToUtf8(caption).c_str());
  box->xclass("corvanel");
  new CWarningSign(kMargin, kMargin);
  new CPlainText(kMargin + kSign + kMargin, kMargin, textWidth, textHeight, body);
  auto* ok = new Fl_Return_Button(width - kMargin - kButtonWidth, height - kMargin - kButtonHeight,
                                  kButtonWidth, kButtonHeight, "OK");
  ok->callback(HideWindowOf);
  box->callback(HideWindowOf);  // Escape and the window manager's close
  box->end();
  box->set_modal();
  box->size_range(width, height, width, height);
  // A box that belongs to the progress window is centred on it, which is centred on the screen;
  // every box is kept above, so that it is never hidden behind the progress window.
  CentreOnScreen(*box);
  box->show();
  if (AbandonIfLost()) return false;
  Window xid = fl_xid(box.get());
  if (ownedByProgressWindow && m_window)
    XSetTransientForHint(fl_display, xid, fl_xid(m_window.get()));
  else
    XDeleteProperty(fl_display, xid, XA_WM_TRANSIENT_FOR);
  SetAboveState(xid, m_bWindowManager, true);
  WaitUntilViewable(*box);
  if (AbandonIfLost()) return false;
  BringToForeground(xid, m_bWindowManager);
  ok->take_focus();
  box->redraw();
  Fl::flush();
  while (box->shown() && !g_bDisplayLost) Fl::wait();
  // The display went while the box was open: nobody may have read it.
  if (box->shown()) return false;
  // No event loop runs after the box either: what it uncovered is drawn again now.
  XSync(fl_display, False);
  if (g_bDisplayLost) return true;
  Fl::check();
  if (g_bDisplayLost) return true;
  Fl::flush();
  if (g_bDisplayLost) return true;
  XSync(fl_display, False);
  return true;
}
