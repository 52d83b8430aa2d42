// Reading registry values through Windows Script Host.
#pragma once

#include <string>

#include "platform/platform.h"

// Reads the value named by a path such as "HKLM\Software\...\ValueName" and
// returns it as text; the empty text when it is missing or unreadable.
std::wstring RegReadValue(const std::wstring& path);
// The same, but a value that could not be read for another reason than its
// absence (Script Host missing or blocked, access refused) raises Failure.
std::wstring RegReadValueOrRaise(const std::wstring& path);

// The text of an automation result: text unchanged, a number as its decimal
// text, an empty value as the empty text. Raises Failure for anything else.
std::wstring VariantToText(const platform::Variant& value);
