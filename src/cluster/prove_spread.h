// A proof across the ranks of an MPI job. Rank 0 runs the proof itself; each round's
// members are cut into shares in proportion to the ranks' threads, one share decided by
// rank 0's own threads, the others by the workers, and merged as the proof merges any
// round: in the round's order, so the listing is the same at any number of ranks.
//
// The protocol, beside the search's (mpi_searcher.h): rank 0 sends each worker the
// Proof (the compiled formula, the box, the options), then for every round a Share to
// each worker with members to decide, which it answers with Decided. While the proof
// lasts a worker says Alive once a second; one that holds a share and stays silent
// beyond the silence limit, or cannot decide, ends the proof as a fault. At the end each
// worker is sent EndRun.
#pragma once

#include <memory>
#include <vector>

#include "cluster/channel.h"
#include "cluster/mpi_searcher.h"
#include "prove/prover.h"

namespace quorvant::cluster {

// Sets `options.decideRound` to spread the proof's rounds over `workers` and
// `settings.localThreads` threads of rank 0. The workers join the proof now and leave
// it when the decider is destroyed (with `options.decideRound`).
void SpreadProof(Channel& channel, const std::vector<WorkerInfo>& workers,
                 const ClusterSettings& settings,
                 std::shared_ptr<const prove::EnclosureProgram> program, const prove::Box& box,
                 prove::ProveOptions& options);

}  // namespace quorvant::cluster
