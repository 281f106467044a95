#include "sim/receipt.h"

#include "sim/printer.h"

namespace voren::sim {

std::vector<render::PrintLine> receiptLines() {
  // Code page 852 bytes; the text each line stands for is beside it.
  const std::string rule(32, '\xC4');  // box drawing, light horizontal
  return {
      {"SKLEP \"POD \xBDURAWIEM\"", true},  // SKLEP "POD ŻURAWIEM"
      {"   \x9D\xA2"
       "d\xAB, ul. \x8Dr\xA2"
       "dlana 5",
       false},  // Łódź, ul. Źródlana 5
      {rule, false},
      {"Za\xBE\xA2\x88\x86 g\xA9\x98l\xA5 ja\xAB\xE4  1 x 4,50", false},  // Zażółć gęślą jaźń
      {"ZA\xBD\xE0\x9D\x8F G\xA8\x97L\xA4 JA\x8D\xE3  1 x 8,00", false},  // ZAŻÓŁĆ GĘŚLĄ JAŹŃ
      {rule, false},
      {"SUMA PLN   12,50", true},
      {"Za\xBE\xA2\x88\x86 g\xA9\x98l\xA5", true},  // Zażółć gęślą
      {"JA\x8D\xE3 \xBD\xE0\x9D\x8F", true},        // JAŹŃ ŻÓŁĆ
      {"G\xA8\x97L\xA4 ja\xAB\xE4", true},          // GĘŚLĄ jaźń
      {"Dzi\xA9kujemy!", true},                     // Dziękujemy!
  };
}

bool writeReceipt(std::span<const std::uint8_t> memory, const std::string& path,
                  std::string* error) {
  if (memory.size() != kMemorySize) {
    if (error) *error = "the font area is not 36,864 bytes";
    return false;
  }
  render::GlyphTable font(memory.data(), kMemorySize);
  auto lines = receiptLines();
  std::string why;
  if (render::writePng(render::renderPrint(font, lines), path, why)) return true;
  if (error) *error = why;
  return false;
}

}  // namespace voren::sim
