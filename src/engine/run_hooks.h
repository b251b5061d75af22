// How a search run talks to whoever runs it: the window over its list and a worker
// thread, the command line over stdout, tests over a vector of lines.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/point_kind.h"

namespace quorvant {

struct RunCheckpoint;

// A stationary point the run converged to and classified, whatever its kind: for
// tables and plots beside the listing.
struct StationaryPoint {
  PointKind kind;
  std::vector<double> point;
  std::vector<double> start;  // where its Newton iteration started
  double smallestPivot = 0;
  int32_t cycles = 0;   // Newton cycles it took
  bool stored = false;  // a new maximum or minimum, stored and listed
};

class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // Appends one line at the end of the results list.
  virtual void AppendLine(std::string_view line) = 0;
  // "Show additional info", read at the moment a line depends on it.
  virtual bool ShowAdditionalInfo() = 0;
  // Lets the caller's event loop run (once per random trial, once after each
  // detail block).
  virtual void Yield() {}
  // How much of the run is done, from 0 to 1.
  virtual void ReportProgress(double fraction) { (void)fraction; }
  // The same in counts, for a progress display: `done` of `total` grid points (Explore)
  // or trials (Random), and the starting points found so far (grid points that passed
  // the grid point test, or trials made). Comes with each ReportProgress of the run.
  virtual void ReportWork(int64_t done, int64_t total, int64_t starts) {
    (void)done, (void)total, (void)starts;
  }
  // True once the user asked the run to stop; polled before every starting point
  // and every grid point.
  virtual bool StopRequested() { return false; }
  // Every stationary point the run classified, duplicates included.
  virtual void StationaryPointMet(const StationaryPoint& point) { (void)point; }
  // Asked after every part the run committed: true when the caller wants to record where
  // the run stands (Checkpoint follows at once, with the lines listed so far complete).
  virtual bool CheckpointDue() { return false; }
  virtual void Checkpoint(const RunCheckpoint& checkpoint) { (void)checkpoint; }
};

}  // namespace quorvant
