#include "tools/glyph_render/image.h"

#include <algorithm>
#include <cmath>

namespace voren::render {

Image::Image(int width, int height, Rgb background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * height_ * 3) {
  fillRect(0, 0, width, height, background);
}

Rgb Image::at(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
}

void Image::blend(int x, int y, Rgb c, double cover) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || cover <= 0) return;
  cover = std::min(cover, 1.0);
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  auto mix = [cover](std::uint8_t under, std::uint8_t over) {
    return static_cast<std::uint8_t>(std::lround(under + (over - under) * cover));
  };
  pixels_[i] = mix(pixels_[i], c.r);
  pixels_[i + 1] = mix(pixels_[i + 1], c.g);
  pixels_[i + 2] = mix(pixels_[i + 2], c.b);
}

void Image::fillRect(int x, int y, int w, int h, Rgb colour) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) blend(i, j, colour, 1.0);
}

void Image::frame(int x, int y, int w, int h, Rgb colour) {
  fillRect(x, y, w, 1, colour);
  fillRect(x, y + h - 1, w, 1, colour);
  fillRect(x, y, 1, h, colour);
  fillRect(x + w - 1, y, 1, h, colour);
}

void Image::dot(int x, int y, int size, Rgb colour) {
  // Slightly larger than the square, so neighbouring dots run into strokes
  // as they do on thermal paper.
  const double radius = size * 0.62;
  const double cx = x + size / 2.0, cy = y + size / 2.0;
  const int reach = static_cast<int>(std::ceil(radius));
  for (int j = static_cast<int>(cy) - reach; j <= static_cast<int>(cy) + reach; ++j)
    for (int i = static_cast<int>(cx) - reach; i <= static_cast<int>(cx) + reach; ++i) {
      const double d = std::hypot(i + 0.5 - cx, j + 0.5 - cy);
      blend(i, j, colour, radius + 0.5 - d);
    }
}

}  // namespace voren::render
