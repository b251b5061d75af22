#include "cluster/channel.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace quorvant::cluster {

namespace {

std::string ErrorText(int code) {
  char text[MPI_MAX_ERROR_STRING];
  int length = 0;
  if (MPI_Error_string(code, text, &length) != MPI_SUCCESS) return "error " + std::to_string(code);
  return std::string(text, static_cast<size_t>(length));
}

void Check(int code, const std::string& what) {
  if (code != MPI_SUCCESS) throw ChannelError(what + ": " + ErrorText(code));
}

}  // namespace

const char* ToString(Tag tag) {
  switch (tag) {
    case Tag::Hello:
      return "hello";
    case Tag::Run:
      return "run";
    case Tag::Part:
      return "part";
    case Tag::EndRun:
      return "end of run";
    case Tag::Quit:
      return "quit";
    case Tag::Result:
      return "result";
    case Tag::Failure:
      return "failure";
    case Tag::Alive:
      return "alive";
    case Tag::Bye:
      return "bye";
    case Tag::Signalled:
      return "signalled";
    case Tag::GiveUp:
      return "give up";
    case Tag::Proof:
      return "proof";
    case Tag::Share:
      return "share of a round";
    case Tag::Decided:
      return "decided share";
  }
  return "?";
}

Channel::Channel() {
  Check(MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN), "MPI_Comm_set_errhandler");
  Check(MPI_Comm_rank(MPI_COMM_WORLD, &rank_), "MPI_Comm_rank");
  Check(MPI_Comm_size(MPI_COMM_WORLD, &size_), "MPI_Comm_size");
}

Channel::~Channel() {
  // Sends that never completed (a peer gone) are abandoned: MPI_Finalize or the end of
  // the job takes care of them.
  for (Pending& p : sends_)
    if (p.request != MPI_REQUEST_NULL) MPI_Request_free(&p.request);
}

void Channel::Send(int to, Tag tag, std::string bytes) {
  if (bytes.size() > static_cast<size_t>(INT_MAX))
    throw ChannelError("a message of " + std::to_string(bytes.size()) +
                       " bytes is too large to send");
  std::lock_guard<std::mutex> lock(mutex_);
  Pending& p = sends_.emplace_back();
  p.bytes = std::move(bytes);
  const int code = MPI_Isend(p.bytes.data(), static_cast<int>(p.bytes.size()), MPI_BYTE, to,
                             static_cast<int>(tag), MPI_COMM_WORLD, &p.request);
  if (code != MPI_SUCCESS) {
    sends_.pop_back();
    Check(code,
          std::string("sending a ") + ToString(tag) + " message to rank " + std::to_string(to));
  }
  Progress();
}

void Channel::Progress() {
  for (auto it = sends_.begin(); it != sends_.end();) {
    int done = 0;
    Check(MPI_Test(&it->request, &done, MPI_STATUS_IGNORE), "completing a send");
    it = done ? sends_.erase(it) : std::next(it);
  }
}

bool Channel::Poll(Message& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  return PollLocked(message);
}

bool Channel::PollLocked(Message& message) {
  Progress();
  int arrived = 0;
  MPI_Status status;
  Check(MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status),
        "waiting for messages");
  if (!arrived) return false;
  int count = 0;
  Check(MPI_Get_count(&status, MPI_BYTE, &count), "reading the size of a message");
  message.from = status.MPI_SOURCE;
  message.tag = static_cast<Tag>(status.MPI_TAG);
  message.bytes.assign(static_cast<size_t>(count), '\0');
  Check(MPI_Recv(message.bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG,
                 MPI_COMM_WORLD, MPI_STATUS_IGNORE),
        "receiving a message from rank " + std::to_string(status.MPI_SOURCE));
  return true;
}

bool Channel::Flush(double seconds) {
  const double until = Now() + seconds;
  Idle idle;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Progress();
      if (sends_.empty()) return true;
    }
    if (Now() >= until) return false;
    idle.Pause();
  }
}

void Idle::Pause() {
  const int shift = std::min(rounds_, 5);
  if (rounds_ < 5) ++rounds_;
  std::this_thread::sleep_for(std::chrono::microseconds(std::min(50 << shift, 1000)));
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace quorvant::cluster
