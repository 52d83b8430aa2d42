#include "Log.h"

#include "Shared.h"

RunMode Mode;

namespace {
std::wstring TwoDigits(int number) { return (number < 10 ? L"0" : L"") + DecimalText(number); }
}  // namespace

void Log(const std::wstring& line) {
  if (Mode.linesToParent) platform::SendLineToParent(line);
  if (Mode.logPath.empty()) return;
  // Every line of the file dated, those of a text of several lines too.
  const std::wstring stamp = TimeStamp(platform::LocalTime()) + L" ";
  std::wstring dated;
  for (std::size_t start = 0, end = 0; end != std::wstring::npos; start = end + 2) {
    end = line.find(L"\r\n", start);
    dated += stamp + line.substr(start, end - start) + L"\r\n";
  }
  platform::AppendToFile(Mode.logPath, dated);
}

void Report(const std::wstring& text, int style, const std::wstring& title) {
  Log(title.empty() ? text : title + L" " + text);
  if (!Mode.quiet) platform::MsgBox(text, style, title);
}

std::wstring TimeStamp(const platform::DateTime& time) {
  const int offset = time.utcOffsetMinutes < 0 ? -time.utcOffsetMinutes : time.utcOffsetMinutes;
  return DecimalText(time.year) + L"-" + TwoDigits(time.month) + L"-" + TwoDigits(time.day) + L"T" +
         TwoDigits(time.hour) + L":" + TwoDigits(time.minute) + L":" + TwoDigits(time.second) +
         (time.utcOffsetMinutes < 0 ? L"-" : L"+") + TwoDigits(offset / 60) + L":" + TwoDigits(offset % 60);
}
