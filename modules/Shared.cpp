#include "Shared.h"

InstallLocations InstallInfo;
bool ProcessKilled = false;

std::wstring DecimalText(long long number) {
  // Written out by hand: the C library's formatting would double the size of
  // this small program.
  unsigned long long magnitude =
      number < 0 ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
  std::wstring digits;
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return number < 0 ? L"-" + digits : digits;
}
