// Messages between the processes of an MPI job, over MPI_COMM_WORLD: sent without
// blocking (a large message waits for its receiver, and two processes sending to each
// other at once must not wait for each other), received by polling, so that no process
// ever waits inside MPI where it cannot notice Stop or a silent peer.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>

namespace quorvant::cluster {

// What the messages are.
enum class Tag : int {
  Hello = 1,  // worker -> rank 0: the threads it searches with by default
  Run,        // rank 0 -> worker: a run begins (RunOrder)
  Part,       // rank 0 -> worker: a part to search (PartOrder)
  EndRun,     // rank 0 -> worker: the run ended; drop its parts (the run's number)
  Quit,       // rank 0 -> worker: no more runs; finish
  Result,     // worker -> rank 0: what a part gave (PartResult)
  Failure,    // worker -> rank 0: the worker cannot search the run (the run's number, why)
  Alive,      // worker -> rank 0: still there (the run's number), once a second in a run;
              // rank 0 -> worker: still there (nothing), once a second all the time
  Bye,        // worker -> rank 0: finished, after Quit
  Signalled,  // worker -> rank 0: it caught a stop signal (the signal, whether its
              // launcher sent it)
  GiveUp,     // worker -> rank 0: it ends the job (why), as rank 0 went silent
  Proof,      // rank 0 -> worker: a proof begins (ProofOrder); EndRun ends it
  Share,      // rank 0 -> worker: members of a round of the proof to decide (RoundShare)
  Decided,    // worker -> rank 0: what deciding them gave (RoundShareResult)
};
const char* ToString(Tag tag);

// Every call may come from any thread: one at a time, as MPI_THREAD_SERIALIZED allows.
//
// MPI reported a failure (a peer that is gone, a broken connection).
class ChannelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Message {
  int from = -1;
  Tag tag = Tag::Hello;
  std::string bytes;
};

class Channel {
 public:
  // MPI must be initialised; MPI failures are returned to this class, which throws.
  Channel();
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  int rank() const { return rank_; }
  int size() const { return size_; }

  // Queues `bytes` for process `to`; the send goes on while this process polls.
  void Send(int to, Tag tag, std::string bytes);
  // A message that has arrived, if there is one; moves pending sends along.
  bool Poll(Message& message);
  // Polls until every queued send has completed or `seconds` have passed; true when all
  // completed.
  bool Flush(double seconds);
  // Sends not yet completed.
  size_t pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sends_.size();
  }

 private:
  void Progress();
  bool PollLocked(Message& message);
  struct Pending {
    std::string bytes;
    MPI_Request request = MPI_REQUEST_NULL;
  };
  int rank_ = 0;
  int size_ = 1;
  mutable std::mutex mutex_;  // one caller of MPI at a time
  std::list<Pending> sends_;  // stable addresses: MPI reads the bytes until completion
};

// What a polling loop does when nothing happened: sleep a while, longer the longer
// nothing happens (50 microseconds at first, 1 millisecond at most), so that a waiting
// process costs next to nothing while a busy exchange stays quick.
class Idle {
 public:
  void Pause();
  void Busy() { rounds_ = 0; }

 private:
  int rounds_ = 0;
};

// Seconds on a steady clock.
double Now();

}  // namespace quorvant::cluster
