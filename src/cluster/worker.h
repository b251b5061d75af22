// A worker rank of an MPI job: says Hello, then searches the parts rank 0 hands it, run
// after run, with threads of its own, until rank 0 says Quit (see mpi_searcher.h for
// the protocol).
#pragma once

#include <functional>

#include "cluster/channel.h"

namespace quorvant::cluster {

// The threads a rank of this job searches with unless told a number: the processors it
// may run on, shared with the other ranks on its machine when none of them is bound to
// processors of its own.
int DefaultThreads();

// How long a worker that caught SIGINT or SIGTERM waits for rank 0 to end the run.
inline constexpr double kSignalGrace = 2.0;

// Serves rank 0 until Quit, and returns 0. Once `stopSignal` tells a signal, searching
// stops and rank 0 is told (with whether `fromLauncher` says the launcher sent it);
// when rank 0 has not said Quit within kSignalGrace seconds after it, returns the
// signal. Throws on a failure of MPI, and when rank 0 has not been heard from for
// `silenceLimit` seconds (after telling rank 0 it gives up).
int ServeAsWorker(Channel& channel, const std::function<int()>& stopSignal,
                  const std::function<bool()>& fromLauncher, double silenceLimit);

}  // namespace quorvant::cluster
