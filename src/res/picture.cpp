#include "res/picture.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "res/setup_picture_data.h"

namespace {

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// For one axis: the source span [first, last] each target cell covers, with the weight of the
// first and last source cell (the ones in between count fully).
struct CSpan {
  int first;
  int last;
  double firstWeight;
  double lastWeight;
};

std::vector<CSpan> SpansFor(int sourceLength, int targetLength) {
  std::vector<CSpan> spans(static_cast<size_t>(targetLength));
  double step = static_cast<double>(sourceLength) / targetLength;
  for (int i = 0; i < targetLength; ++i) {
    double begin = i * step;
    double end = (i + 1) * step;
    CSpan& span = spans[static_cast<size_t>(i)];
    span.first = static_cast<int>(std::floor(begin));
    span.last = std::min(sourceLength - 1, static_cast<int>(std::ceil(end)) - 1);
    if (span.last < span.first) span.last = span.first;
    if (span.first == span.last) {
      span.firstWeight = span.lastWeight = end - begin;
    } else {
      span.firstWeight = (span.first + 1) - begin;
      span.lastWeight = end - span.last;
    }
  }
  return spans;
}

double WeightAt(const CSpan& span, int index) {
  if (index == span.first) return span.firstWeight;
  if (index == span.last) return span.lastWeight;
  return 1.0;
}

}  // namespace

uint32_t CPicture::PixelAt(int x, int y) const {
  size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  return static_cast<uint32_t>(rgb[at]) << 16 | static_cast<uint32_t>(rgb[at + 1]) << 8 |
         rgb[at + 2];
}

bool DecodeBitmap24(const uint8_t* data, size_t size, CPicture& picture) {
  constexpr size_t kFileHeader = 14;
  if (data == nullptr || size < kFileHeader + 40) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;
  uint32_t pixelOffset = ReadLe32(data + 10);
  uint32_t infoSize = ReadLe32(data + 14);
  if (infoSize < 40) return false;
  int32_t width = static_cast<int32_t>(ReadLe32(data + 18));
  int32_t height = static_cast<int32_t>(ReadLe32(data + 22));
  uint16_t planes = ReadLe16(data + 26);
  uint16_t bitsPerPixel = ReadLe16(data + 28);
  uint32_t compression = ReadLe32(data + 30);
  if (planes != 1 || bitsPerPixel != 24 || compression != 0) return false;
  // Sizes well beyond any picture of ours are refused before any arithmetic on them.
  constexpr int32_t kLargest = 1 << 15;
  if (width <= 0 || width > kLargest || height == 0 || height < -kLargest || height > kLargest)
    return false;
  bool bottomUp = height > 0;
  int32_t rows = bottomUp ? height : -height;
  size_t rowSize = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  if (pixelOffset < kFileHeader + infoSize || pixelOffset > size ||
      size - pixelOffset < rowSize * static_cast<size_t>(rows))
    return false;

  CPicture decoded;
  decoded.width = width;
  decoded.height = rows;
  decoded.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(rows) * 3);
  for (int32_t y = 0; y < rows; ++y) {
    int32_t stored = bottomUp ? rows - 1 - y : y;
    const uint8_t* in = data + pixelOffset + rowSize * static_cast<size_t>(stored);
    uint8_t* out = decoded.rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int32_t x = 0; x < width; ++x) {  // stored blue, green, red
      out[x * 3] = in[x * 3 + 2];
      out[x * 3 + 1] = in[x * 3 + 1];
      out[x * 3 + 2] = in[x * 3];
    }
  }
  picture = std::move(decoded);
  return true;
}

const CPicture& GetSetupPicture() {
  static const CPicture picture = [] {
    CPicture decoded;
    DecodeBitmap24(kSetupPictureBytes, kSetupPictureSize, decoded);
    return decoded;
  }();
  return picture;
}

CPicture ScalePictureSmooth(const CPicture& source, int width, int height) {
  CPicture target;
  if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return target;
  target.width = width;
  target.height = height;
  target.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  std::vector<CSpan> columns = SpansFor(source.width, width);
  std::vector<CSpan> rows = SpansFor(source.height, height);
  for (int y = 0; y < height; ++y) {
    const CSpan& row = rows[static_cast<size_t>(y)];
    for (int x = 0; x < width; ++x) {
      const CSpan& column = columns[static_cast<size_t>(x)];
      double sum[3] = {0, 0, 0};
      double total = 0;
      for (int sy = row.first; sy <= row.last; ++sy) {
        double wy = WeightAt(row, sy);
        const uint8_t* line = source.rgb.data() + static_cast<size_t>(sy) * source.width * 3;
        for (int sx = column.first; sx <= column.last; ++sx) {
          double w = wy * WeightAt(column, sx);
          sum[0] += w * line[sx * 3];
          sum[1] += w * line[sx * 3 + 1];
          sum[2] += w * line[sx * 3 + 2];
          total += w;
        }
      }
      uint8_t* out = target.rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      for (int c = 0; c < 3; ++c) {
        long value = std::lround(total > 0 ? sum[c] / total : 0.0);
        out[c] = static_cast<uint8_t>(std::clamp(value, 0L, 255L));
      }
    }
  }
  return target;
}
