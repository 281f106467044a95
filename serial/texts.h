#pragma once
// Every text the unit records, in code page 1250, leading and trailing blanks
// included: outside callers compare them byte for byte.
#include "serial/cp1250.h"

namespace winseria::texts {

// Port object and configuration.
inline constexpr auto kBladAktualizacjiDcb =
    cp1250("Błąd podczas aktualizacji bloku kontroli danych.");
inline constexpr auto kBrakUrzadzenia = cp1250("System nie potrafi znależć danego urządzenia.");
inline constexpr auto kZabronionyDostep = cp1250("Zabroniony dostęp do urządzenia.");
inline constexpr auto kNiepoprawnyUchwyt =
    cp1250("Niepoprawny uchwyt do urządzenia, proces przerwany.");
inline constexpr auto kBledneUrzadzenie = cp1250("Błędnie określone urządzenie.");
inline constexpr auto kBladOdczytuCzasow = cp1250(" Błąd odczytu aktualnych czasów.");
inline constexpr auto kBladAktualizacjiCzasow = cp1250("Błąd podczas aktualizacji czasów.");

// Line errors, in the order the handler tests them.
inline constexpr auto kCeBreak = cp1250("Urządzenie wykryło stan BREAK (CE_BREAK).");
inline constexpr auto kCeFrame = cp1250("Urządzenie wykryło błąd ramki (CE_FRAME).");
inline constexpr auto kCeOverrun = cp1250("Zgubiono znaki (CE_OVERRUN).");
inline constexpr auto kCeRxOver = cp1250("Zapełniony bufor wejściowy (CE_RXOVER).");
inline constexpr auto kCeRxParity = cp1250("Urządzenie wykryło błąd parzystości (CE_RXPARITY).");
inline constexpr auto kCeTxFull = cp1250("Zapełniony bufor wyjściowy (CE_TXFULL).");

// Transfers.
inline constexpr auto kBladCreateEventSpacja = cp1250("Błąd CreateEvent. ");
inline constexpr auto kBladCreateEvent = cp1250("Błąd CreateEvent.");
inline constexpr auto kBladZamknieciaUchwytu = cp1250("Błąd zamknięcia uchwytu.");
inline constexpr auto kNiepoprawnyZapis = cp1250("Niepoprawny zapis.");
inline constexpr auto kTimeoutZapisu = cp1250("Timeout zapisu.");
inline constexpr auto kZapisPrzerwany = cp1250("Zapis przerwany.");
inline constexpr auto kNiepoprawnyZapisDoPortu = cp1250("Niepoprawny zapis do portu.");
inline constexpr auto kBladAnulacjiZdarzenia = cp1250("Błąd podczas anulacji zdarzenia.");
inline constexpr auto kPortNieOtwarty = cp1250("Port nie jest otwarty, niemożliwa operacja.");
inline constexpr auto kNiepoprawnyOdczyt = cp1250("Niepoprawny odczyt.");
inline constexpr auto kOdczytPrzerwanyBezKropki = cp1250("Odczyt przerwany");
inline constexpr auto kTimeoutOdczytu = cp1250("Timeout odczytu.");
inline constexpr auto kOdczytPrzerwany = cp1250("Odczyt przerwany.");
inline constexpr auto kPrzerwanyZapis = cp1250("Przerwany zapis ");
inline constexpr auto kBladSygnalizacjiZdarzenia = cp1250("Błąd podczas sygnalizacji zdarzenia.");
inline constexpr auto kBladWaitForMultipleObjects = cp1250("Błąd funkcji WaitForMultipleObjects.");

// Procedural interface and connection.
inline constexpr auto kPortJuzZainicjowany = cp1250("Ten port jest już zainicjowany");
inline constexpr auto kBladBuforow = cp1250("Błędna inicjalizacja buforów Zapisu/Odczytu.");
inline constexpr auto kErrorCreateEvent = cp1250("Error CreateEvent. ");

}  // namespace winseria::texts
