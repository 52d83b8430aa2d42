// Fuzzes the process-name match: for any entry name and target, a match is
// exactly "the entry name ends with the target", and a whole process entry
// (a 260-byte field, NUL or not) is read without overrun by the terminator.
#include <cstdint>
#include <cstring>
#include <string>

#include "modules/Shared.h"
#include "modules/Steps.h"
#include "platform/sim/sim.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t split = data[0] % (size);
  std::wstring entry, target;
  for (std::size_t i = 1; i < size; ++i) (i <= split ? entry : target) += static_cast<wchar_t>(data[i]);

  bool ends = entry.size() >= target.size() &&
              entry.compare(entry.size() - target.size(), target.size(), target) == 0;
  if (NameMatches(entry, target) != ends) __builtin_trap();

  // The same bytes as a running process: its name is cut at the field's end.
  sim::Reset();
  std::string exe(reinterpret_cast<const char*>(data) + 1, size - 1);
  sim::world().AddProcess(7, exe);
  TerminatedProcesses.clear();
  bool found = KillProcessByName(L"msnmsgr.exe");
  std::string name = exe.substr(0, std::min<std::size_t>(strnlen(exe.c_str(), exe.size()), 260));
  std::wstring lowered = platform::LowerCase(platform::NarrowToWide(name.data(), name.size()));
  bool expected = NameMatches(lowered, L"msnmsgr.exe");
  if (found != expected || (sim::world().FindProcess(7) == nullptr) != expected) __builtin_trap();
  return 0;
}
