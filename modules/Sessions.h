// The decisions about who else is on this computer: other removals, another
// installation, and the person at a desktop this run has none of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Outcome.h"
#include "platform/platform.h"

// The program's two named objects. Their names differ before the GUID, not
// only in their prefixes: in session 0 (services, LocalSystem, the console of
// XP and Server 2003) Local\ and Global\ are one namespace, and Windows 2000
// without Terminal Services ignores both prefixes, so one name under both
// would make the removal lock find the one-copy check's own mutex.
inline constexpr wchar_t OneCopyName[] = L"Local\\MSN Scribbit Removal {5B0F3C1E-2D7A-4E59-9C61-7A1D2F0B8E43}";
inline constexpr wchar_t RemovalLockName[] =
    L"Global\\MSN Scribbit Removal removal lock {5B0F3C1E-2D7A-4E59-9C61-7A1D2F0B8E43}";

// True when another copy of this program already runs in this session. The
// first call claims the one-copy mutex for the life of the process.
bool IsAnotherInstanceRunning();
// True when a removal with administrator rights already runs on this
// computer. Otherwise this run takes the removal lock for the life of the
// process, where it has those rights itself.
bool IsAnotherRemovalRunning();
// The named objects this process holds; empty until claimed.
struct HeldNames {
  bool oneCopyClaimed = false;
  platform::NamedMutex oneCopy, removalLock;
};
extern HeldNames Held;

// Ends the program, before anything has changed, where the removal must not
// go on: another removal or installation is running, or (without a person at
// the window) there is nothing to remove.
void StopWhereNothingMayChange();

// Where this run has no user's desktop (a service, session 0) and may act as
// each session's user: a copy of the program on the interactive desktop of
// each session in which Messenger runs closes its windows there, ends its
// Messenger and tells Messenger Plus!.
SessionVisits CloseMessengerInSessions();
// Starts Messenger again in each visited session, as its user, asked for
// again: one who signed out meanwhile gets nothing.
void StartMessengerInSessions(const SessionVisits& visits, const std::wstring& program);

// The copy started on a session's desktop (/sessionsteps): does that
// session's steps, shows nothing, and ends with what it did packed in its
// exit code.
[[noreturn]] void CarryOutSessionSteps();
