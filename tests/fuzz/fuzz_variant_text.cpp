// Fuzzes the conversion of an automation result to text: text comes back
// unchanged, a whole number as decimal text that reads back to the same
// number, a fraction or anything else raises, and nothing else can happen.
#include <cstdint>
#include <cstring>
#include <string>

#include "modules/RegEdit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  platform::Variant v;
  v.type = static_cast<platform::Variant::Type>(data[0] % 7);
  for (std::size_t i = 1; i < size; ++i) v.text += static_cast<wchar_t>(data[i]);
  if (size >= 9) std::memcpy(&v.integer, data + 1, sizeof v.integer);
  if (size >= 9) std::memcpy(&v.real, data + 1, sizeof v.real);
  try {
    std::wstring text = VariantToText(v);
    switch (v.type) {
      case platform::Variant::Type::Empty:
        if (!text.empty()) __builtin_trap();
        break;
      case platform::Variant::Type::Text:
        if (text != v.text) __builtin_trap();
        break;
      case platform::Variant::Type::Integer:
        if (std::stoll(text) != v.integer) __builtin_trap();
        break;
      case platform::Variant::Type::Real:
        if (std::stod(text) != v.real) __builtin_trap();
        break;
      case platform::Variant::Type::Array:
      case platform::Variant::Type::Other:
        __builtin_trap();  // must have raised
      default:
        break;
    }
  } catch (const platform::Failure&) {
    bool whole = v.real >= -9.2e18 && v.real <= 9.2e18 &&
                 v.real == static_cast<double>(static_cast<long long>(v.real));
    bool mayRaise = v.type == platform::Variant::Type::Array ||
                    v.type == platform::Variant::Type::Other ||
                    (v.type == platform::Variant::Type::Real && !whole);
    if (!mayRaise) __builtin_trap();
  }
  return 0;
}
