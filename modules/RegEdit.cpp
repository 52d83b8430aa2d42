#include "RegEdit.h"

#include <cstdio>

std::wstring VariantToText(const platform::Variant& value) {
  using Type = platform::Variant::Type;
  switch (value.type) {
    case Type::Empty:
      return L"";
    case Type::Text:
      return value.text;
    case Type::Integer:
      return std::to_wstring(value.integer);
    case Type::Boolean:
      return value.integer ? L"True" : L"False";
    case Type::Real: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.15g", value.real);
      std::string text = buffer;
      return std::wstring(text.begin(), text.end());
    }
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
