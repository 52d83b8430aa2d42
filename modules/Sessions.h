// The decisions about who else is on this computer: other removals, another
// installation, and the person at a desktop this run has none of.
#pragma once

#include <string>

// Ends the program, before anything has changed, where the removal must not
// go on: another removal or installation is running, or (without a person at
// the window) there is nothing to remove.
void StopWhereNothingMayChange();

// Where this run has no user's desktop (a service, session 0) and may act as
// each session's user: a copy of the program on the interactive desktop of
// each session in which Messenger runs closes its windows there, ends its
// Messenger and tells Messenger Plus!. False where that cannot be done (the
// log says why): then this copy does those steps itself, as ever.
bool CloseMessengerInSessions();
// Forgets the sessions visited, closing their users' tokens.
void ForgetSessions();
// After CloseMessengerInSessions: starts Messenger again in each session
// where it ran, as that session's user. False when there were none.
bool StartMessengerInSessions(const std::wstring& program);

// The copy started on a session's desktop (/sessionsteps): does that
// session's steps, shows nothing, and ends with what it did packed in its
// exit code.
[[noreturn]] void CarryOutSessionSteps();
