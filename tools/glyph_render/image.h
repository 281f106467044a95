#pragma once
// An RGB picture with the few drawing operations the glyph pictures need.
#include <cstdint>
#include <string>
#include <vector>

namespace voren::render {

struct Rgb {
  std::uint8_t r, g, b;
};

class Image {
 public:
  Image(int width, int height, Rgb background);

  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const;
  // Rows top to bottom, three bytes a pixel.
  const std::vector<std::uint8_t>& pixels() const { return pixels_; }

  void fillRect(int x, int y, int w, int h, Rgb colour);
  void frame(int x, int y, int w, int h, Rgb colour);
  // A round printed dot filling the square at (x, y) of side `size`, edges smoothed.
  void dot(int x, int y, int size, Rgb colour);

 private:
  void blend(int x, int y, Rgb colour, double cover);

  int width_, height_;
  std::vector<std::uint8_t> pixels_;
};

// Writes the image as an 8-bit RGB PNG; false with a reason in `error` on failure.
bool writePng(const Image& image, const std::string& path, std::string& error);

}  // namespace voren::render
