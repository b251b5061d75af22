// What the processes of a cluster run send each other, as bytes: the run a worker is to
// join (the problem, the options, the evaluator's recipe, the parts), a part to search
// (with its random starting points), and what searching it gave. Every double travels
// as its 64 bits, every integer in a fixed byte order, so a part searched on another
// machine commits exactly as one searched here.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search_options.h"
#include "engine/search_part.h"
#include "model/function_evaluator.h"
#include "model/problem.h"

namespace quorvant::cluster {

// A message that cannot be read: cut short, or not what its kind promises.
class WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends values to a byte string: integers little-endian, doubles as their bits.
class Writer {
 public:
  void U64(uint64_t v);
  void I64(int64_t v) { U64(static_cast<uint64_t>(v)); }
  void I32(int32_t v) { U64(static_cast<uint64_t>(static_cast<int64_t>(v))); }
  void Bool(bool v) { bytes_.push_back(v ? 1 : 0); }
  void F64(double v);
  void Text(std::string_view v);
  void Doubles(const std::vector<double>& v);
  void Texts(const std::vector<std::string>& v);
  const std::string& bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

// Reads what a Writer wrote, in the same order; throws WireError past the end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  uint64_t U64();
  int64_t I64() { return static_cast<int64_t>(U64()); }
  int32_t I32();
  bool Bool();
  double F64();
  std::string Text();
  std::vector<double> Doubles();
  std::vector<std::string> Texts();
  // A count of items that each take at least `itemBytes`: refused when the message
  // cannot hold that many.
  size_t Count(size_t itemBytes);
  bool AtEnd() const { return at_ == bytes_.size(); }
  // Throws WireError unless everything was read.
  void ExpectEnd() const;

 private:
  std::string_view Bytes(size_t n);
  std::string_view bytes_;
  size_t at_ = 0;
};

// A run a worker joins: everything it needs to search parts of it as this process would.
struct RunOrder {
  int64_t run = 0;  // the run's number: later messages name it
  Problem problem;  // stored extrema are not sent
  SearchOptions options;
  EvaluatorRecipe recipe;
  int64_t total = 0;
  int64_t partSize = 1;
  int64_t parts = 0;
  bool operator==(const RunOrder&) const = default;
};

// One part to search.
struct PartOrder {
  int64_t run = 0;
  int64_t index = 0;
  PartRange range;
  std::vector<std::vector<double>> trials;  // Random: the part's starting points
};

// What searching one part gave (its trials stay with the process that sent them).
struct PartResult {
  int64_t run = 0;
  int64_t index = 0;
  PartOutcome outcome;
  double seconds = 0;  // how long searching it took (for the statistics only)
};

std::string EncodeRunOrder(const RunOrder& order);
RunOrder DecodeRunOrder(std::string_view bytes);
std::string EncodePartOrder(const PartOrder& order);
PartOrder DecodePartOrder(std::string_view bytes);
std::string EncodePartResult(const PartResult& result);
PartResult DecodePartResult(std::string_view bytes);

// Each piece, for the messages above and for tests.
void Put(Writer& w, const Problem& problem);
void Get(Reader& r, Problem& problem);
void Put(Writer& w, const PartOutcome& outcome);
void Get(Reader& r, PartOutcome& outcome);

}  // namespace quorvant::cluster
