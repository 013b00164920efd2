// The pictures built into the program, and the smooth scaling that fits them into a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An image as rows of red, green, blue bytes, top row first.
struct CPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes

  // Red, green and blue of the pixel at x, y packed as 0xRRGGBB.
  uint32_t PixelAt(int x, int y) const;
};

// Decodes an uncompressed Windows bitmap of 24 bits per pixel (bottom-up or top-down).
// False, with picture untouched, for anything else or a file too short for its header's size.
bool DecodeBitmap24(const uint8_t* data, size_t size, CPicture& picture);

// The progress window's picture (550 x 300), decoded once from the bytes built into the program.
const CPicture& GetSetupPicture();

// The picture stretched to width x height without keeping its aspect ratio. Each target pixel
// is the area-weighted mean of the source pixels it covers, so a reduced picture keeps thin
// lines and letters instead of dropping rows and columns. An empty size gives an empty picture.
CPicture ScalePictureSmooth(const CPicture& source, int width, int height);
