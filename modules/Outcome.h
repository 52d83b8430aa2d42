// How a run ends: what the removal did, the exit code it comes to, the exit
// codes that carry a copy's outcome to the copy that started it, and the end
// itself, with the run's event and the log's last line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A session in which Messenger ran, visited from session 0, and its user then.
struct SessionVisit {
  std::uint32_t session;
  std::wstring user;
};
// What CloseMessengerInSessions did: `visited` false where it could not (the
// log says why), and then this copy did those steps itself, as ever.
struct SessionVisits {
  bool visited = false;
  std::vector<SessionVisit> sessions;
};

// What the removal changed: the library's outcome code (as DeleteLibrary
// gives it) and each uninstall's exit code; or why a copy with raised rights
// did not finish.
struct Outcome {
  unsigned long library = 0;
  std::vector<unsigned long> uninstalls;
  std::wstring failure;  // not empty: the copy did not finish, for this reason
  SessionVisits sessions;  // where Messenger is to be started again, from session 0
};

// Scheduled: still in use, deleted when Windows restarts.
enum class LibraryOutcome { Deleted, Scheduled, Absent, NotDeleted };
// The exit code of a removal from the library's fate and each uninstall's
// own exit code (README, "Exit codes").
unsigned FoldExitCode(LibraryOutcome library, const std::vector<unsigned long>& uninstallCodes);

// A copy's exit code: PackOutcome's for what it did, PackFailure's for the
// system error that stopped it (0x8007xxxx passes as xxxx; a larger code as
// 1603). Both carry a mark, so that UnpackOutcome takes any other code (a copy
// ended from outside, a fault) as a copy that did not finish.
unsigned long PackOutcome(const Outcome& outcome);
unsigned long PackFailure(unsigned long error);
Outcome UnpackOutcome(unsigned long packed);

inline constexpr wchar_t NotRemovedText[] = L"MSN Scribbit for Messenger Plus! could not be removed: ";
inline constexpr wchar_t ErrorTitle[] = L"Error:";
inline constexpr int MessageStyle = 64;  // OK button, information icon

// Ends the program: with `code` when started with switches, else with 0.
[[noreturn]] void Finish(unsigned code);
// Ends the program on a failure the removal cannot go on from; `error`: its
// system error, where known.
[[noreturn]] void Fail(const std::wstring& description, unsigned long error = 0);
