#include "res/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// A bitmap file of 24 bits per pixel built by hand, rows stored as the height's sign says.
std::vector<uint8_t> MakeBitmap(int width, int height, const std::vector<uint32_t>& topDown,
                                uint16_t bits = 24) {
  int rows = height < 0 ? -height : height;
  size_t rowSize = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> file(54 + rowSize * rows, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = static_cast<uint8_t>(bits);
  for (int y = 0; y < rows; ++y) {
    int stored = height > 0 ? rows - 1 - y : y;
    for (int x = 0; x < width; ++x) {
      uint32_t rgb = topDown[static_cast<size_t>(y * width + x)];
      size_t at = 54 + rowSize * stored + x * 3;
      file[at] = rgb & 0xFF;
      file[at + 1] = (rgb >> 8) & 0xFF;
      file[at + 2] = (rgb >> 16) & 0xFF;
    }
  }
  return file;
}

CPicture Uniform(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  CPicture p;
  p.width = width;
  p.height = height;
  for (int i = 0; i < width * height; ++i) p.rgb.insert(p.rgb.end(), {r, g, b});
  return p;
}

TEST(DecodeBitmap24, ReadsBothRowOrdersWithRowPadding) {
  // Width 3 makes rows of 9 bytes padded to 12.
  std::vector<uint32_t> pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xABCDEF, 0x010203};
  for (int height : {2, -2}) {
    std::vector<uint8_t> file = MakeBitmap(3, height, pixels);
    CPicture picture;
    ASSERT_TRUE(DecodeBitmap24(file.data(), file.size(), picture)) << "height " << height;
    EXPECT_EQ(3, picture.width);
    EXPECT_EQ(2, picture.height);
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(pixels[i], picture.PixelAt(i % 3, i / 3)) << "height " << height << " pixel " << i;
  }
}

TEST(DecodeBitmap24, RefusesWhatItCannotRead) {
  std::vector<uint32_t> pixels(4, 0x808080);
  std::vector<uint8_t> good = MakeBitmap(2, 2, pixels);
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  std::vector<uint8_t> eightBits = MakeBitmap(2, 2, pixels, 8);
  std::vector<uint8_t> notBitmap = good;
  notBitmap[0] = 'X';
  std::vector<uint8_t> compressed = good;
  compressed[30] = 1;
  std::vector<uint8_t> hugeHeight = good;
  hugeHeight[25] = 0x7F;  // height 0x7F000002
  std::vector<uint8_t> offsetPastEnd = good;
  offsetPastEnd[11] = 0x10;  // pixels at 4150
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {{"truncated", truncated},
               {"8 bits", eightBits},
               {"not a bitmap", notBitmap},
               {"compressed", compressed},
               {"huge height", hugeHeight},
               {"offset past end", offsetPastEnd},
               {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 54)}};
  for (const auto& c : cases) {
    CPicture picture = Uniform(1, 1, 9, 9, 9);
    EXPECT_FALSE(DecodeBitmap24(c.bytes.data(), c.bytes.size(), picture)) << c.name;
    EXPECT_EQ(1, picture.width) << c.name << ": picture changed";
  }
}

TEST(SetupPicture, IsTheLogoOnALightGreyGround) {
  const CPicture& picture = GetSetupPicture();
  ASSERT_EQ(550, picture.width);
  ASSERT_EQ(300, picture.height);
  // The corners are the ground, the emblem's centre is its colour, the name is dark.
  for (auto [x, y] : {std::pair{0, 0}, {549, 0}, {0, 299}, {549, 299}, {300, 40}})
    EXPECT_EQ(0xD6D6D6u, picture.PixelAt(x, y)) << x << "," << y;
  EXPECT_EQ(0x1B6E8Au, picture.PixelAt(100, 150));
  EXPECT_EQ(0x2B2B2Bu, picture.PixelAt(195, 150));  // the stem of the C's left side
}

TEST(ScalePictureSmooth, AveragesTheAreaEachPixelCovers) {
  // Four columns black, white, black, white, halved: every target pixel is mid grey.
  CPicture stripes;
  stripes.width = 4;
  stripes.height = 1;
  stripes.rgb = {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255};
  CPicture half = ScalePictureSmooth(stripes, 2, 1);
  ASSERT_EQ(2, half.width);
  EXPECT_EQ(0x808080u, half.PixelAt(0, 0));
  EXPECT_EQ(0x808080u, half.PixelAt(1, 0));

  // Three source columns into two: the middle one is split between both targets.
  CPicture three;
  three.width = 3;
  three.height = 1;
  three.rgb = {0, 0, 0, 90, 90, 90, 180, 180, 180};
  CPicture two = ScalePictureSmooth(three, 2, 1);
  EXPECT_EQ(0x1E1E1Eu, two.PixelAt(0, 0));  // (1 * 0 + 0.5 * 90) / 1.5 = 30
  EXPECT_EQ(0x969696u, two.PixelAt(1, 0));  // (0.5 * 90 + 1 * 180) / 1.5 = 150
}

TEST(ScalePictureSmooth, KeepsUniformColourAndSameSize) {
  CPicture grey = Uniform(550, 300, 0xD6, 0xD6, 0xD6);
  CPicture scaled = ScalePictureSmooth(grey, 466, 246);
  ASSERT_EQ(466, scaled.width);
  ASSERT_EQ(246, scaled.height);
  for (auto [x, y] : {std::pair{0, 0}, {465, 245}, {233, 123}})
    EXPECT_EQ(0xD6D6D6u, scaled.PixelAt(x, y));
  // Enlarging works too: each target pixel lies inside one source pixel.
  CPicture big = ScalePictureSmooth(Uniform(2, 2, 1, 2, 3), 5, 7);
  EXPECT_EQ(0x010203u, big.PixelAt(4, 6));

  const CPicture& logo = GetSetupPicture();
  CPicture same = ScalePictureSmooth(logo, logo.width, logo.height);
  EXPECT_EQ(logo.rgb, same.rgb);
  EXPECT_EQ(0, ScalePictureSmooth(logo, 0, 10).width);
}

}  // namespace
