#include "Outcome.h"

#include "EventLog.h"
#include "Log.h"
#include "Shared.h"
#include "platform/platform.h"

namespace {

// The copy that carries out the removal reports its outcome in its exit
// code: the library's code in the low 16 bits, then three bits for each
// uninstall, in order, telling which kind of exit code it gave.
constexpr unsigned long UninstallKinds[] = {0, ExitSuccess, ExitRestartNeeded, ExitBusy, ExitNotInstalled, ExitFailed};
constexpr int KindBits = 3;

unsigned long KindOf(unsigned long uninstallCode) {
  switch (uninstallCode) {
    case ExitSuccess: return 1;
    case ExitRestartNeeded: case 1641: return 2;
    case ExitBusy: return 3;
    case ExitNotInstalled: return 4;
    default: return 5;
  }
}

// A copy's exit code carries this in its top byte when the copy itself chose
// it: anything else (0 from a watchdog that ended it, a fault's code) means
// it did not finish its work. With it, bit 23 marks a failure whose system
// error is in the low 16 bits; without that bit the code is PackOutcome's.
constexpr unsigned long CopyMarkMask = 0xFF000000;
constexpr unsigned long CopyMark = 0x5Cul << 24;
constexpr unsigned long CopyFailed = 1ul << 23;

// Any of the copies the program starts itself: with raised rights, or on a
// session's desktop. Its exit code is read by the copy that started it.
bool IsStartedByAnotherCopy() { return Mode.linesToParent; }

// The run's event and its log's last line. A copy's lines end up in the log
// of the copy that started it, which has the one result line.
void Conclude(unsigned code) {
  if (Run.leavesEvent) ReportRunEvent(code);
  if (!Mode.linesToParent) Log(ResultLine(code, platform::TickCount() - Run.startTick));
}

}  // namespace

unsigned FoldExitCode(LibraryOutcome library, const std::vector<unsigned long>& uninstallCodes) {
  bool failed = library == LibraryOutcome::NotDeleted;
  bool restart = library == LibraryOutcome::Scheduled;
  bool busy = false, removedPackage = false;
  for (unsigned long code : uninstallCodes) {
    if (code == 0) {
      removedPackage = true;
    } else if (code == ExitRestartNeeded || code == 1641) {
      removedPackage = restart = true;
    } else if (code == ExitBusy) {
      busy = true;
    } else if (code != ExitNotInstalled) {  // 1605: the package was gone already
      failed = true;
    }
  }
  if (failed) return ExitFailed;
  if (busy) return ExitBusy;
  // A package removed when the library was gone already finishes a removal
  // an earlier run left half done (say, one that answered 1618): success.
  if (library == LibraryOutcome::Absent && !removedPackage) return ExitNotInstalled;
  return restart ? ExitRestartNeeded : ExitSuccess;
}

unsigned long PackFailure(unsigned long error) {
  // An automation failure carrying a system error (0x8007xxxx) passes that on.
  if (error > 0xFFFF) error = error >> 16 == 0x8007 ? error & 0xFFFF : ExitFailed;
  return CopyMark | CopyFailed | error;
}

Outcome UnpackOutcome(unsigned long packed) {
  if ((packed & CopyMarkMask) != CopyMark)
    return {0, {}, L"the copy with administrator rights ended unexpectedly, with exit code " +
                       DecimalText(static_cast<long long>(packed)) + L".", {}};
  if ((packed & CopyFailed) != 0) return {0, {}, platform::DescribeError(packed & 0xFFFF), {}};
  Outcome outcome{packed & 0xFFFF, {}, {}, {}};
  for (int shift = 16; shift < 16 + 2 * KindBits; shift += KindBits) {
    unsigned long kind = (packed >> shift) & 7;
    if (kind != 0) outcome.uninstalls.push_back(kind < 6 ? UninstallKinds[kind] : ExitFailed);
  }
  return outcome;
}

unsigned long PackOutcome(const Outcome& outcome) {
  unsigned long packed = CopyMark | (outcome.library & 0xFFFF);
  int shift = 16;
  for (unsigned long code : outcome.uninstalls) {
    packed |= KindOf(code) << shift;
    shift += KindBits;
  }
  return packed;
}

void Finish(unsigned code) {
  if (!Mode.switches) {
    if (Run.removal) Conclude(code);
    platform::End();
  }
  Conclude(code);
  platform::End(code);
}

void Fail(const std::wstring& description, unsigned long error) {
  if (!Mode.switches) {
    if (Run.removal) Conclude(ExitFailed);
    platform::ReportUnhandledFailure(description);
  }
  // A copy tells the copy that started it the system error, if known.
  const unsigned code = IsStartedByAnotherCopy() && error != 0 ? PackFailure(error) : ExitFailed;
  Log(L"failed: " + description);
  Conclude(code);
  if (!Mode.quiet) platform::ReportUnhandledFailure(description, code);
  platform::End(code);
}
