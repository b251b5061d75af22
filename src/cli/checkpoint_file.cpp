#include "cli/checkpoint_file.h"

#include <bit>
#include <charconv>
#include <cstdio>

#include "model/text_safety.h"

namespace quorvant {
namespace {

constexpr std::string_view kMagic = "Quorvant checkpoint 1";
// Far more than any run lists or stores; a count beyond it is damage, not a run.
constexpr uint64_t kMaxCount = uint64_t{1} << 40;

uint64_t Fnv1a(std::string_view text, uint64_t hash = 1469598103934665603ull) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex(uint64_t bits) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(bits));
  return buf;
}

void PutDouble(std::string& out, double v) {
  out += ' ';
  out += Hex(std::bit_cast<uint64_t>(v));
}

void PutPoints(std::string& out, std::string_view name, const std::vector<StoredPoint>& points) {
  out += std::string(name) + " " + std::to_string(points.size()) + "\n";
  for (const StoredPoint& p : points) {
    out += std::to_string(p.size());
    for (const double v : p) PutDouble(out, v);
    out += '\n';
  }
}

// Reads the text line by line, each as words separated by single blanks.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Line(std::string_view& line) {
    const size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) return Fail("it ends in the middle");
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
    words_ = line;
    return true;
  }
  // The next line, which must begin with `key`; its words follow.
  bool Keyed(std::string_view key) {
    std::string_view line;
    if (!Line(line)) return false;
    std::string_view word;
    if (!Word(word) || word != key) return Fail("\"" + std::string(key) + "\" is missing");
    return true;
  }
  bool Word(std::string_view& word) {
    if (words_.empty()) return Fail("a line is short of a value");
    const size_t blank = words_.find(' ');
    word = words_.substr(0, blank);
    words_ = blank == std::string_view::npos ? std::string_view() : words_.substr(blank + 1);
    return !word.empty() || Fail("a value is empty");
  }
  bool Count(uint64_t& out, uint64_t max = kMaxCount) {
    std::string_view w;
    if (!Word(w)) return false;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), out);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size() || out > max)
      return Fail("a count is not a number of the right size");
    return true;
  }
  bool Bits(uint64_t& out) {
    std::string_view w;
    if (!Word(w)) return false;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), out, 16);
    if (w.size() != 16 || r.ec != std::errc() || r.ptr != w.data() + w.size())
      return Fail("a value is not 16 hexadecimal digits");
    return true;
  }
  bool Double(double& out) {
    uint64_t bits;
    if (!Bits(bits)) return false;
    out = std::bit_cast<double>(bits);
    return true;
  }
  bool Flag(bool& out) {
    uint64_t v;
    if (!Count(v, 1)) return false;
    out = v != 0;
    return true;
  }
  bool LineEnd() { return words_.empty() || Fail("a line holds more than it should"); }
  bool Points(std::string_view key, uint64_t size, std::vector<StoredPoint>& points) {
    uint64_t count;
    if (!Keyed(key) || !Count(count, 100) || !LineEnd()) return false;
    for (uint64_t k = 0; k < count; ++k) {
      std::string_view line;
      uint64_t n;
      if (!Line(line) || !Count(n, 11)) return false;
      if (n != size) return Fail("a stored point has the wrong number of values");
      StoredPoint p(n);
      for (double& v : p)
        if (!Double(v)) return false;
      if (!LineEnd()) return false;
      points.push_back(std::move(p));
    }
    return true;
  }
  // `length` bytes and a line end.
  bool Bytes(uint64_t length, std::string& out) {
    if (length > text_.size() - at_ || text_.size() - at_ - length < 1 ||
        text_[at_ + length] != '\n')
      return Fail("a line of the listing is cut");
    out.assign(text_.substr(at_, length));
    at_ += length + 1;
    return true;
  }
  size_t at() const { return at_; }
  void Skip(size_t n) { at_ += n; }
  bool AtEnd() const { return at_ == text_.size(); }
  bool Fail(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
  }
  std::string error;

 private:
  std::string_view text_;
  size_t at_ = 0;
  std::string_view words_;
};

}  // namespace

uint64_t RunIdentity(std::string_view problemText, std::string_view options) {
  return Fnv1a(options, Fnv1a(std::string_view("\n", 1), Fnv1a(problemText)));
}

std::string WriteCheckpointText(const CheckpointFile& c) {
  const RunCheckpoint& s = c.state;
  std::string out(kMagic);
  out += "\nidentity " + Hex(c.identity) + "\n";
  out += "committed " + std::to_string(s.committed) + " " + std::to_string(s.starts) + "\n";
  out += "carried";
  for (const double v : {s.carried.fPlus, s.carried.fMinus, s.carried.fdAcc}) PutDouble(out, v);
  for (const bool b : {s.carried.fPlusKnown, s.carried.fMinusKnown, s.carried.fdAccKnown})
    out += b ? " 1" : " 0";
  out += " " + std::to_string(s.carried.stepKnown) + " " + std::to_string(s.carried.step.size());
  for (const double v : s.carried.step) PutDouble(out, v);
  out += "\nproblems";
  for (const bool b : {s.problems.convProblems, s.problems.inconsistence, s.problems.linDependence})
    out += b ? " 1" : " 0";
  out += " " + std::to_string(static_cast<uint32_t>(s.problems.problemBits)) + "\n";
  PutPoints(out, "maxima", s.maxima);
  PutPoints(out, "minima", s.minima);
  out += "lines " + std::to_string(c.lines.size()) + "\n";
  for (const std::string& line : c.lines) out += std::to_string(line.size()) + " " + line + "\n";
  out += "end " + Hex(Fnv1a(out)) + "\n";
  return out;
}

bool ReadCheckpointText(std::string_view text, int variables, CheckpointFile& c,
                        std::string& error) {
  Reader r(text);
  CheckpointFile read;
  RunCheckpoint& s = read.state;
  std::string_view line;
  uint64_t committed, starts, stepKnown, steps, bits, lines;
  const auto fail = [&] {
    error = r.error.empty() ? "it is not a checkpoint" : r.error;
    return false;
  };
  if (!r.Line(line) || line != kMagic) {
    error = "it is not a checkpoint of this program";
    return false;
  }
  if (!r.Keyed("identity") || !r.Bits(read.identity) || !r.LineEnd()) return fail();
  if (!r.Keyed("committed") || !r.Count(committed) || !r.Count(starts) || !r.LineEnd())
    return fail();
  s.committed = static_cast<int64_t>(committed);
  s.starts = static_cast<int64_t>(starts);
  if (!r.Keyed("carried") || !r.Double(s.carried.fPlus) || !r.Double(s.carried.fMinus) ||
      !r.Double(s.carried.fdAcc) || !r.Flag(s.carried.fPlusKnown) ||
      !r.Flag(s.carried.fMinusKnown) || !r.Flag(s.carried.fdAccKnown) ||
      !r.Count(stepKnown, UINT32_MAX) || !r.Count(steps, 10))
    return fail();
  if (steps != static_cast<uint64_t>(variables)) {
    error = "it was made for a problem of another number of variables";
    return false;
  }
  s.carried.stepKnown = static_cast<uint32_t>(stepKnown);
  s.carried.step.resize(steps);
  for (double& v : s.carried.step)
    if (!r.Double(v)) return fail();
  if (!r.LineEnd()) return fail();
  if (!r.Keyed("problems") || !r.Flag(s.problems.convProblems) ||
      !r.Flag(s.problems.inconsistence) || !r.Flag(s.problems.linDependence) || !r.Count(bits, 3) ||
      !r.LineEnd())
    return fail();
  s.problems.problemBits = static_cast<int32_t>(bits);
  const uint64_t size = static_cast<uint64_t>(variables) + 1;
  if (!r.Points("maxima", size, s.maxima) || !r.Points("minima", size, s.minima)) return fail();
  if (!r.Keyed("lines") || !r.Count(lines) || !r.LineEnd()) return fail();
  for (uint64_t k = 0; k < lines; ++k) {
    // "LENGTH TEXT": the length, one blank, then exactly that many bytes.
    const size_t start = r.at();
    const size_t blank = text.find(' ', start);
    uint64_t length = 0;
    const auto got = blank == std::string_view::npos || blank - start > 12
                         ? std::from_chars_result{nullptr, std::errc::invalid_argument}
                         : std::from_chars(text.data() + start, text.data() + blank, length);
    if (got.ec != std::errc() || got.ptr != text.data() + blank) {
      error = "a line of the listing is cut";
      return false;
    }
    r.Skip(blank + 1 - start);
    std::string body;
    if (!r.Bytes(length, body)) return fail();
    // The lines are written to the terminal again: nothing in them may act on it.
    if (FindControlCharacter(body)) {
      error = "a line of its listing holds a control character";
      return false;
    }
    read.lines.push_back(std::move(body));
  }
  const size_t before = r.at();
  uint64_t sum;
  if (!r.Keyed("end") || !r.Bits(sum) || !r.LineEnd() || !r.AtEnd()) return fail();
  if (sum != Fnv1a(text.substr(0, before))) {
    error = "its check sum does not match: it was damaged or cut";
    return false;
  }
  c = std::move(read);
  return true;
}

}  // namespace quorvant
