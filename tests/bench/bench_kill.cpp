// KillProcessByName over a snapshot of about 300 processes with two matches,
// against a bare snapshot walk that terminates the same two, measured
// alternately in one run.
//   bench_kill.exe SLEEPER [ROUNDS]
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"

#include "modules/Steps.h"

namespace {



// The least a terminator can do: one walk, a case-blind compare, terminate.
void BareWalk() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    std::size_t n = wcslen(entry.szExeFile);
    if (n >= 11 && _wcsicmp(entry.szExeFile + n - 11, L"msnmsgr.exe") == 0) {
      HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
      if (p != nullptr) {
        TerminateProcess(p, 0);
        CloseHandle(p);
      }
    }
  }
  CloseHandle(snapshot);
}


}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring sleeper = argv[1];
  int rounds = argc > 2 ? _wtoi(argv[2]) : 15;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"benchkill";
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring target = dir + L"\\msnmsgr.exe";
  CopyFileW(sleeper.c_str(), target.c_str(), FALSE);

  std::vector<HANDLE> bystanders;
  for (int i = 0; i < 298; ++i) bystanders.push_back(bench::Start(sleeper));
  std::vector<double> program, bare;
  for (int r = 0; r < rounds; ++r) {
    for (int which = 0; which < 2; ++which) {
      HANDLE a = bench::Start(target), b = bench::Start(target);
      Sleep(250);  // let both start up fully: ending one mid-start takes longer
      double start = bench::NowMs();
      if (which == 0) KillProcessByName(L"msnmsgr.exe"); else BareWalk();
      double elapsed = bench::NowMs() - start;
      (which == 0 ? program : bare).push_back(elapsed);
      WaitForSingleObject(a, 5000);
      WaitForSingleObject(b, 5000);
      CloseHandle(a);
      CloseHandle(b);
    }
    std::printf("round %2d: KillProcessByName %6.2f ms, bare walk %6.2f ms\n", r + 1, program.back(), bare.back());
  }
  for (HANDLE h : bystanders) {
    TerminateProcess(h, 0);
    CloseHandle(h);
  }
  double p = bench::Median(program), b = bench::Median(bare);
  std::printf("median: KillProcessByName %.2f ms, bare walk %.2f ms, ratio %.3f\n", p, b, p / b);
  return 0;
}
