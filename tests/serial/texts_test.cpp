// The unit's texts, byte for byte in code page 1250, against byte strings
// written out independently of the compile-time conversion.
#include "serial/texts.h"

#include <gtest/gtest.h>

#include <string_view>

namespace winseria {
namespace {

struct Expected {
  std::string_view text;
  std::string_view bytes;
};

TEST(SerialTexts, AreCodePage1250BytesWithTheirBlanks) {
  const Expected table[] = {
      {texts::kBladAktualizacjiDcb,
       "B\xB3\xB9"
       "d podczas aktualizacji bloku kontroli danych."},
      {texts::kBrakUrzadzenia,
       "System nie potrafi znale\xBF\xE6 danego urz\xB9"
       "dzenia."},
      {texts::kZabronionyDostep,
       "Zabroniony dost\xEAp do urz\xB9"
       "dzenia."},
      {texts::kNiepoprawnyUchwyt,
       "Niepoprawny uchwyt do urz\xB9"
       "dzenia, proces przerwany."},
      {texts::kBledneUrzadzenie,
       "B\xB3\xEA"
       "dnie okre\x9Clone urz\xB9"
       "dzenie."},
      {texts::kBladOdczytuCzasow,
       " B\xB3\xB9"
       "d odczytu aktualnych czas\xF3w."},
      {texts::kBladAktualizacjiCzasow,
       "B\xB3\xB9"
       "d podczas aktualizacji czas\xF3w."},
      {texts::kCeBreak,
       "Urz\xB9"
       "dzenie wykry\xB3o stan BREAK (CE_BREAK)."},
      {texts::kCeFrame,
       "Urz\xB9"
       "dzenie wykry\xB3o b\xB3\xB9"
       "d ramki (CE_FRAME)."},
      {texts::kCeOverrun, "Zgubiono znaki (CE_OVERRUN)."},
      {texts::kCeRxOver,
       "Zape\xB3niony bufor wej\x9C"
       "ciowy (CE_RXOVER)."},
      {texts::kCeRxParity,
       "Urz\xB9"
       "dzenie wykry\xB3o b\xB3\xB9"
       "d parzysto\x9C"
       "ci (CE_RXPARITY)."},
      {texts::kCeTxFull,
       "Zape\xB3niony bufor wyj\x9C"
       "ciowy (CE_TXFULL)."},
      {texts::kBladCreateEventSpacja,
       "B\xB3\xB9"
       "d CreateEvent. "},
      {texts::kBladCreateEvent,
       "B\xB3\xB9"
       "d CreateEvent."},
      {texts::kBladZamknieciaUchwytu,
       "B\xB3\xB9"
       "d zamkni\xEA"
       "cia uchwytu."},
      {texts::kNiepoprawnyZapis, "Niepoprawny zapis."},
      {texts::kTimeoutZapisu, "Timeout zapisu."},
      {texts::kZapisPrzerwany, "Zapis przerwany."},
      {texts::kNiepoprawnyZapisDoPortu, "Niepoprawny zapis do portu."},
      {texts::kBladAnulacjiZdarzenia,
       "B\xB3\xB9"
       "d podczas anulacji zdarzenia."},
      {texts::kPortNieOtwarty, "Port nie jest otwarty, niemo\xBFliwa operacja."},
      {texts::kNiepoprawnyOdczyt, "Niepoprawny odczyt."},
      {texts::kOdczytPrzerwanyBezKropki, "Odczyt przerwany"},
      {texts::kTimeoutOdczytu, "Timeout odczytu."},
      {texts::kOdczytPrzerwany, "Odczyt przerwany."},
      {texts::kPrzerwanyZapis, "Przerwany zapis "},
      {texts::kBladSygnalizacjiZdarzenia,
       "B\xB3\xB9"
       "d podczas sygnalizacji zdarzenia."},
      {texts::kBladWaitForMultipleObjects,
       "B\xB3\xB9"
       "d funkcji WaitForMultipleObjects."},
      {texts::kPortJuzZainicjowany, "Ten port jest ju\xBF zainicjowany"},
      {texts::kBladBuforow,
       "B\xB3\xEA"
       "dna inicjalizacja bufor\xF3w Zapisu/Odczytu."},
      {texts::kErrorCreateEvent, "Error CreateEvent. "},
  };
  std::size_t longest = 0;
  for (const auto& e : table) {
    EXPECT_EQ(e.text, e.bytes);
    longest = std::max(longest, e.text.size());
  }
  // IsError's callers hold 52 bytes: the longest text and its terminator.
  EXPECT_EQ(longest, 51u);
}

TEST(SerialTexts, ConversionCoversTheWholePolishAlphabet) {
  constexpr auto all = cp1250("ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ");
  EXPECT_EQ(all.view(),
            "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF \xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
}

}  // namespace
}  // namespace winseria
