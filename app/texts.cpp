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
  struct Opis {
    ResultCode kod;
    const char* text;
  };
  static constexpr Opis kOpisy[] = {
      {KodBledu(ErrorNumber::SumaCrc), "blad sumy CRC"},
      {KodBledu(ErrorNumber::Weryfikacja), "blad weryfikacji danych"},
      {KodBledu(ErrorNumber::Nadawanie), "timeout nadawania"},
      {KodBledu(ErrorNumber::Odbieranie), "timeout odbierania"},
      {KodBledu(ErrorNumber::NiepoprawnaOdpowiedz), "niepoprawna odpowiedz z drukarki"},
      {KodBledu(ErrorNumber::NakNaSekwencje), "drukarka odpowiedziala NAK na sekwencje sterujaca"},
  };
  for (const Opis& o : kOpisy) {
    if (o.kod == kod) return o.text;
  }
  return "inny blad";
}

}  // namespace voren
