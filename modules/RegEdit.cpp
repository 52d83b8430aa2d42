#include "RegEdit.h"

#include "Shared.h"

std::wstring VariantToText(const platform::Variant& value) {
  using Type = platform::Variant::Type;
  switch (value.type) {
    case Type::Empty:
      return L"";
    case Type::Text:
      return value.text;
    case Type::Integer:
      return DecimalText(value.integer);
    case Type::Boolean:
      return value.integer ? L"True" : L"False";
    case Type::Real:  // whole numbers only: the registry holds no other kind
      if (value.real >= -9.2e18 && value.real <= 9.2e18 &&
          value.real == static_cast<double>(static_cast<long long>(value.real)))
        return DecimalText(static_cast<long long>(value.real));
      throw platform::Failure(13, L"Type mismatch");
    default:
      throw platform::Failure(13, L"Type mismatch");
  }
}

namespace {
// What Script Host raises for a key or a value that is not there.
bool IsNotThere(unsigned long code) { return code == 0x80070002 || code == 0x80070003; }
}  // namespace

std::wstring RegReadValueOrRaise(const std::wstring& path) {
  platform::Variant value;
  platform::AutomationObject shell(L"wscript.shell");
  try {
    value = shell.Call(L"RegRead", path);
  } catch (const platform::Failure& failure) {
    if (!IsNotThere(failure.code())) throw;
  }
  try {
    return VariantToText(value);
  } catch (const std::exception&) {
    return L"";  // there, but not text: no path or name this program looks for
  }
}

std::wstring RegReadValue(const std::wstring& path) {
  // Every failure only moves on to the next step: a value that cannot be read,
  // for whatever reason, is the empty text.
  try {
    return RegReadValueOrRaise(path);
  } catch (const std::exception&) {
    return L"";
  }
}
