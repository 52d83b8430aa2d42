// Start-up time: from process creation to the first window shown and painted
// (the process waiting for input), for the program and for the minimal
// window, measured alternately; prints each pair and the medians.
//   bench_startup.exe PROGRAM MINIMAL [PAIRS]
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
  int pairs = argc > 3 ? _wtoi(argv[3]) : 15;
  std::vector<double> program, minimal;
  StartUp(argv[1]);  // warm the file cache for both
  StartUp(argv[2]);
  for (int i = 0; i < pairs; ++i) {
    program.push_back(StartUp(argv[1]));
    minimal.push_back(StartUp(argv[2]));
    std::printf("pair %2d: program %7.1f ms, minimal window %7.1f ms\n", i + 1, program.back(), minimal.back());
  }
  double p = bench::Median(program), m = bench::Median(minimal);
  std::printf("median: program %.1f ms, minimal window %.1f ms, ratio %.3f\n", p, m, p / m);
  return 0;
}
