#include "ui/x_screen.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace {

XErrorHandler g_previousHandler = nullptr;

int IgnoreBadWindow(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow) return 0;
  return g_previousHandler != nullptr ? g_previousHandler(display, error) : 0;
}

}  // namespace

void IgnoreVanishedWindows() {
  XErrorHandler previous = XSetErrorHandler(IgnoreBadWindow);
  if (previous != IgnoreBadWindow) g_previousHandler = previous;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

CScreenshot::CScreenshot(Display* display) {
  int screen = DefaultScreen(display);
  m_width = DisplayWidth(display, screen);
  int height = DisplayHeight(display, screen);
  m_pixels.resize(static_cast<size_t>(m_width) * height);
  XImage* image =
      XGetImage(display, RootWindow(display, screen), 0, 0, m_width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < m_width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      m_pixels[static_cast<size_t>(y) * m_width + x] =
          static_cast<uint32_t>((p & image->red_mask) | (p & image->green_mask) |
                                (p & image->blue_mask)) &
          0xFFFFFF;
    }
  }
  XDestroyImage(image);
}

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
  char* name = nullptr;
  if (result.empty() && XFetchName(display, window, &name) && name != nullptr) result = name;
  if (name != nullptr) XFree(name);
  return result;
}

namespace {

Window FindBelow(Display* display, Window parent, const std::string& name) {
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return None;
  Window found = None;
  for (unsigned i = 0; i < count && found == None; ++i) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, children[i], &attributes) ||
        attributes.map_state != IsViewable)
      continue;
    found =
        NameOf(display, children[i]) == name ? children[i] : FindBelow(display, children[i], name);
  }
  if (children != nullptr) XFree(children);
  return found;
}

}  // namespace

Window FindWindow(Display* display, const std::string& name) {
  return FindBelow(display, DefaultRootWindow(display), name);
}

Window WaitForWindow(Display* display, const std::string& name) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Window window = FindWindow(display, name)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return None;
}

CPlace PlaceOf(Display* display, Window window) {
  CPlace place;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return place;
  Window child = None;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.x, &place.y,
                        &child);
  place.width = attributes.width;
  place.height = attributes.height;
  return place;
}

Window TopLevelOf(Display* display, Window window) {
  for (;;) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return None;
    if (children != nullptr) XFree(children);
    if (parent == root) return window;
    window = parent;
  }
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

bool Eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
