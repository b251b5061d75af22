// SIGINT and SIGTERM as Stop: the first one asks the running search to stop (it lists what
// it found and says so), a second one ends the process as the signal normally does.
#pragma once

namespace quorvant {

// Installs the handlers: from now on the first SIGINT or SIGTERM is remembered.
void CatchStopSignals();

// The signal caught (SIGINT, SIGTERM), or 0.
int CaughtStopSignal();

// The process that sent it (0: the kernel, or none caught yet).
int CaughtStopSender();

}  // namespace quorvant
