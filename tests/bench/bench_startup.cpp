// Start-up time: from process creation to the first window shown and painted
// (the process waiting for input), for several programs measured in turn in
// each round; prints each round and the medians, each also as a ratio to the
// last program (the baseline, a minimal window).
//   bench_startup.exe ROUNDS NAME=PROGRAM... BASELINE_NAME=PROGRAM
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"

namespace {


struct Find {
  DWORD process;
  bool found;
};

BOOL CALLBACK Visible(HWND window, LPARAM data) {
  auto* f = reinterpret_cast<Find*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == f->process && IsWindowVisible(window)) f->found = true;
  return !f->found;
}

// Milliseconds until the program's window is visible and it waits for input.
double StartUp(const std::wstring& program) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + program + L"\"";
  double start = bench::NowMs();
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  WaitForInputIdle(pi.hProcess, 10000);
  Find f{pi.dwProcessId, false};
  while (!f.found && bench::NowMs() - start < 10000) {
    EnumWindows(Visible, reinterpret_cast<LPARAM>(&f));
    if (!f.found) Sleep(1);
  }
  // Painting happens before the program next waits for input.
  WaitForInputIdle(pi.hProcess, 10000);
  double elapsed = bench::NowMs() - start;
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return f.found ? elapsed : -1;
}


}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int rounds = _wtoi(argv[1]);
  std::vector<std::wstring> names, programs;
  for (int i = 2; i < argc; ++i) {
    std::wstring arg = argv[i];
    std::size_t equals = arg.find(L'=');
    if (equals == std::wstring::npos) return 2;
    names.push_back(arg.substr(0, equals));
    programs.push_back(arg.substr(equals + 1));
  }
  std::vector<std::vector<double>> times(programs.size());
  for (const std::wstring& program : programs) StartUp(program);  // warm the file cache
  for (int round = 1; round <= rounds; ++round) {
    std::printf("round %2d:", round);
    for (std::size_t i = 0; i < programs.size(); ++i) {
      times[i].push_back(StartUp(programs[i]));
      std::printf("%s %ls %6.1f ms", i ? "," : "", names[i].c_str(), times[i].back());
    }
    std::printf("\n");
  }
  double baseline = bench::Median(times.back());
  std::printf("median:");
  for (std::size_t i = 0; i < programs.size(); ++i) {
    double median = bench::Median(times[i]);
    std::printf("%s %ls %.1f ms (ratio %.3f)", i ? "," : "", names[i].c_str(), median, median / baseline);
  }
  std::printf("\n");
  return 0;
}
