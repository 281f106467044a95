#include <png.h>

#include <cstdio>
#include <memory>

#include "tools/glyph_render/image.h"

namespace voren::render {
namespace {

// libpng reports a failure by jumping back to where the jump buffer was
// set: here, in a function that holds nothing a jump could leave half made
// (a string, a file), so nothing but the false it returns is lost.
bool writeImage(png_structp png, png_infop info, std::FILE* file, const Image& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width(), image.height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const auto& px = image.pixels();
  for (int y = 0; y < image.height(); ++y)
    png_write_row(png, px.data() + static_cast<std::size_t>(y) * image.width() * 3);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool writePng(const Image& image, const std::string& path, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    error = "cannot open " + path + " for writing";
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    error = "libpng could not start";
    return false;
  }
  const bool written = writeImage(png, info, file.get(), image);
  png_destroy_write_struct(&png, &info);
  if (!written) {
    error = "libpng failed writing " + path;
    return false;
  }
  if (std::fflush(file.get()) != 0) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace voren::render
