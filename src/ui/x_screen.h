// Looking at an X screen from a test: the whole screen read back, windows found by name,
// and their properties. Include after GoogleTest: Xlib defines None, Bool and Status as macros.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Makes Xlib ignore BadWindow errors in this process instead of ending it: walking the window
// tree races with windows that the program under test or the window manager destroy.
void IgnoreVanishedWindows();

// Whether two 0xRRGGBB colours differ by at most tolerance in each channel.
bool Near(uint32_t a, uint32_t b, int tolerance);

// A copy of the screen as 0xRRGGBB values (a TrueColor screen of 24 bits).
class CScreenshot {
 public:
  explicit CScreenshot(Display* display);
  uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }

 private:
  int m_width = 0;
  std::vector<uint32_t> m_pixels;
};

// The window's _NET_WM_NAME, else its WM_NAME, or empty text.
std::string NameOf(Display* display, Window window);
// The viewable window of that name anywhere below the root (a window manager puts the
// top-level windows into frames of its own), or None.
Window FindWindow(Display* display, const std::string& name);
// FindWindow, asked again until the window shows up or ten seconds have passed.
Window WaitForWindow(Display* display, const std::string& name);
// The window's position on the screen and its size.
struct CPlace {
  int x = 0, y = 0, width = 0, height = 0;
};
CPlace PlaceOf(Display* display, Window window);
// The ancestor of window that is a child of the root: the window manager's frame, or the
// window itself when nothing framed it.
Window TopLevelOf(Display* display, Window window);
// The atoms in a property of 32-bit format and the given type.
std::vector<Atom> AtomsOf(Display* display, Window window, const char* property, Atom type);
// Whether the window's _NET_WM_STATE holds _NET_WM_STATE_ABOVE.
bool HasAboveState(Display* display, Window window);
// Asks condition again every 20 ms until it holds or five seconds have passed: what a window
// manager does with a request happens some time after it.
bool Eventually(const std::function<bool()>& condition);
