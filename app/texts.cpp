#include "app/texts.h"

#include <cstdarg>
#include <cstdio>

namespace voren {

std::string format(const char* pattern, ...) {
  std::va_list args;
  va_start(args, pattern);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, pattern, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, pattern, again);
  va_end(again);
  return text;
}

const char* opisBledu(ResultCode kod) {
  switch (kod) {
    case KodBledu(ErrorNumber::SumaCrc):
      return "blad sumy CRC";
    case KodBledu(ErrorNumber::Weryfikacja):
      return "blad weryfikacji danych";
    case KodBledu(ErrorNumber::Nadawanie):
      return "timeout nadawania";
    case KodBledu(ErrorNumber::Odbieranie):
      return "timeout odbierania";
    case KodBledu(ErrorNumber::NiepoprawnaOdpowiedz):
      return "niepoprawna odpowiedz z drukarki";
    case KodBledu(ErrorNumber::NakNaSekwencje):
      return "drukarka odpowiedziala NAK na sekwencje sterujaca";
    default:
      return "inny blad";
  }
}

}  // namespace voren
