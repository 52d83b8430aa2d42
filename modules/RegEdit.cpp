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

std::wstring RegReadValue(const std::wstring& path) {
  // Every failure only moves on to the next step: a value that cannot be read,
  // for whatever reason, is the empty text.
  platform::Variant value;
  try {
    platform::AutomationObject shell(L"wscript.shell");
    value = shell.Call(L"RegRead", path);
  } catch (const std::exception&) {
  }
  try {
    return VariantToText(value);
  } catch (const std::exception&) {
    return L"";
  }
}
