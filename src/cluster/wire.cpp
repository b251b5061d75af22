#include "cluster/wire.h"

#include <bit>

namespace quorvant::cluster {

namespace {

constexpr size_t kDoubleBytes = 8;

template <typename E>
E EnumFrom(Reader& r, int32_t last, const char* what) {
  const int32_t v = r.I32();
  if (v < 0 || v > last) throw WireError(std::string("a message holds an unknown ") + what);
  return static_cast<E>(v);
}

void Put(Writer& w, const std::vector<std::vector<double>>& points) {
  w.U64(points.size());
  for (const auto& p : points) w.Doubles(p);
}

void Get(Reader& r, std::vector<std::vector<double>>& points) {
  points.resize(r.Count(8));
  for (auto& p : points) p = r.Doubles();
}

void Put(Writer& w, const StartOutcome& s) {
  w.I64(s.index);
  w.Doubles(s.start);
  w.I32(static_cast<int32_t>(s.end));
  w.I32(s.cycles);
  w.Doubles(s.point);
  const Classification& c = s.classification;
  w.I32(static_cast<int32_t>(c.kind));
  w.Doubles(c.minors.determinants);
  w.Doubles(c.minors.minPivots);
  w.F64(c.minors.smallestPivot);
  w.I32(c.minors.swapCount);
}

void Get(Reader& r, StartOutcome& s) {
  s.index = r.I64();
  s.start = r.Doubles();
  s.end = EnumFrom<NewtonEnd>(r, static_cast<int32_t>(NewtonEnd::CapReached), "iteration end");
  s.cycles = r.I32();
  s.point = r.Doubles();
  Classification& c = s.classification;
  c.kind = EnumFrom<PointKind>(r, static_cast<int32_t>(PointKind::NegativeSemidefinite),
                               "kind of point");
  c.minors.determinants = r.Doubles();
  c.minors.minPivots = r.Doubles();
  c.minors.smallestPivot = r.F64();
  c.minors.swapCount = r.I32();
}

}  // namespace

void Writer::U64(uint64_t v) {
  for (int b = 0; b < 8; ++b) bytes_.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

void Writer::F64(double v) {
  U64(std::bit_cast<uint64_t>(v));
}

void Writer::Text(std::string_view v) {
  U64(v.size());
  bytes_.append(v);
}

void Writer::Doubles(const std::vector<double>& v) {
  U64(v.size());
  for (double d : v) F64(d);
}

void Writer::Texts(const std::vector<std::string>& v) {
  U64(v.size());
  for (const std::string& t : v) Text(t);
}

std::string_view Reader::Bytes(size_t n) {
  if (n > bytes_.size() - at_) throw WireError("a message from another process is cut short");
  const std::string_view out = bytes_.substr(at_, n);
  at_ += n;
  return out;
}

uint64_t Reader::U64() {
  const std::string_view b = Bytes(8);
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[k]);
  return v;
}

int32_t Reader::I32() {
  const int64_t v = I64();
  if (v < INT32_MIN || v > INT32_MAX) throw WireError("a message holds a number out of range");
  return static_cast<int32_t>(v);
}

bool Reader::Bool() {
  const char c = Bytes(1)[0];
  if (c != 0 && c != 1) throw WireError("a message holds a flag that is neither 0 nor 1");
  return c == 1;
}

double Reader::F64() {
  return std::bit_cast<double>(U64());
}

size_t Reader::Count(size_t itemBytes) {
  const uint64_t n = U64();
  if (itemBytes > 0 && n > (bytes_.size() - at_) / itemBytes)
    throw WireError("a message from another process is cut short");
  return static_cast<size_t>(n);
}

std::string Reader::Text() {
  const size_t n = Count(1);
  return std::string(Bytes(n));
}

std::vector<double> Reader::Doubles() {
  std::vector<double> v(Count(kDoubleBytes));
  for (double& d : v) d = F64();
  return v;
}

std::vector<std::string> Reader::Texts() {
  std::vector<std::string> v(Count(8));
  for (std::string& t : v) t = Text();
  return v;
}

void Reader::ExpectEnd() const {
  if (!AtEnd()) throw WireError("a message from another process is longer than its contents");
}

void Put(Writer& w, const Problem& p) {
  w.Texts(p.varNames);
  w.Text(p.formula);
  w.Texts(p.constants);
  w.F64(p.errorBound);
  w.I32(p.maxCycles);
  w.Doubles(p.lowerLimit);
  w.Doubles(p.upperLimit);
  w.U64(p.subintervals.size());
  for (int32_t s : p.subintervals) w.I32(s);
}

void Get(Reader& r, Problem& p) {
  p = Problem{};
  p.varNames = r.Texts();
  p.formula = r.Text();
  p.constants = r.Texts();
  p.errorBound = r.F64();
  p.maxCycles = r.I32();
  p.lowerLimit = r.Doubles();
  p.upperLimit = r.Doubles();
  p.subintervals.resize(r.Count(8));
  for (int32_t& s : p.subintervals) s = r.I32();
}

void Put(Writer& w, const PartOutcome& o) {
  w.U64(o.starts.size());
  for (const StartOutcome& s : o.starts) Put(w, s);
  w.I64(o.begun);
  w.Bool(o.dependent);
  w.Bool(o.aborted);
  w.I32(static_cast<int32_t>(o.abort.end));
  w.I32(o.abort.errorNumber);
  w.Text(o.abort.reason);
  w.Doubles(o.abort.failedAt);
  w.Bool(o.problems.convProblems);
  w.Bool(o.problems.inconsistence);
  w.Bool(o.problems.linDependence);
  w.I32(o.problems.problemBits);
  const CarriedState& e = o.end;
  w.F64(e.fPlus);
  w.F64(e.fMinus);
  w.F64(e.fdAcc);
  w.Doubles(e.step);
  w.Bool(e.fPlusKnown);
  w.Bool(e.fMinusKnown);
  w.Bool(e.fdAccKnown);
  w.U64(e.stepKnown);
}

void Get(Reader& r, PartOutcome& o) {
  o = PartOutcome{};
  o.starts.resize(r.Count(8));
  for (StartOutcome& s : o.starts) Get(r, s);
  o.begun = r.I64();
  o.dependent = r.Bool();
  o.aborted = r.Bool();
  o.abort.end = EnumFrom<RunEnd>(r, static_cast<int32_t>(RunEnd::Refused), "end of a run");
  o.abort.errorNumber = r.I32();
  o.abort.reason = r.Text();
  o.abort.failedAt = r.Doubles();
  o.problems.convProblems = r.Bool();
  o.problems.inconsistence = r.Bool();
  o.problems.linDependence = r.Bool();
  o.problems.problemBits = r.I32();
  CarriedState& e = o.end;
  e.fPlus = r.F64();
  e.fMinus = r.F64();
  e.fdAcc = r.F64();
  e.step = r.Doubles();
  e.fPlusKnown = r.Bool();
  e.fMinusKnown = r.Bool();
  e.fdAccKnown = r.Bool();
  const uint64_t known = r.U64();
  if (known > UINT32_MAX) throw WireError("a message holds a number out of range");
  e.stepKnown = static_cast<uint32_t>(known);
}

std::string EncodeRunOrder(const RunOrder& o) {
  Writer w;
  w.I64(o.run);
  Put(w, o.problem);
  w.I32(static_cast<int32_t>(o.options.mode));
  w.I32(o.options.randomTrials);
  w.I32(o.options.threads);
  w.I64(o.options.partSize);
  w.Texts(o.recipe.statements);
  w.Texts(o.recipe.names);
  w.Text(o.recipe.formula);
  w.Bool(o.recipe.fastPath);
  w.Bool(o.recipe.compiledCode);
  w.I64(o.total);
  w.I64(o.partSize);
  w.I64(o.parts);
  return w.Take();
}

RunOrder DecodeRunOrder(std::string_view bytes) {
  Reader r(bytes);
  RunOrder o;
  o.run = r.I64();
  Get(r, o.problem);
  o.options.mode = EnumFrom<SearchOptions::Mode>(
      r, static_cast<int32_t>(SearchOptions::Mode::Random), "kind of search");
  o.options.randomTrials = r.I32();
  o.options.threads = r.I32();
  o.options.partSize = r.I64();
  o.recipe.statements = r.Texts();
  o.recipe.names = r.Texts();
  o.recipe.formula = r.Text();
  o.recipe.fastPath = r.Bool();
  o.recipe.compiledCode = r.Bool();
  o.total = r.I64();
  o.partSize = r.I64();
  o.parts = r.I64();
  r.ExpectEnd();
  if (o.partSize < 1 || o.total < 0 || o.parts < 0)
    throw WireError("a run order holds a part size or count that is not possible");
  return o;
}

std::string EncodePartOrder(const PartOrder& o) {
  Writer w;
  w.I64(o.run);
  w.I64(o.index);
  w.I64(o.range.first);
  w.I64(o.range.last);
  Put(w, o.trials);
  return w.Take();
}

PartOrder DecodePartOrder(std::string_view bytes) {
  Reader r(bytes);
  PartOrder o;
  o.run = r.I64();
  o.index = r.I64();
  o.range.first = r.I64();
  o.range.last = r.I64();
  Get(r, o.trials);
  r.ExpectEnd();
  return o;
}

std::string EncodePartResult(const PartResult& p) {
  Writer w;
  w.I64(p.run);
  w.I64(p.index);
  Put(w, p.outcome);
  w.F64(p.seconds);
  return w.Take();
}

PartResult DecodePartResult(std::string_view bytes) {
  Reader r(bytes);
  PartResult p;
  p.run = r.I64();
  p.index = r.I64();
  Get(r, p.outcome);
  p.seconds = r.F64();
  r.ExpectEnd();
  return p;
}

}  // namespace quorvant::cluster
