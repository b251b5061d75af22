// Hostile input never crashes, hangs or exhausts the stack: every text gives a value
// or a numbered error. The corpus under tests/data/nasty holds the inputs that once
// mattered; more are generated here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "model/script/script_engine.h"

namespace quorvant::testing {
namespace {

// Runs `text` both as an expression and as statements; each either succeeds or
// fails with a known error number.
void ExpectNumberedOutcome(const std::string& text) {
  script::ScriptEngine engine;
  script::Variant v;
  const int32_t a = engine.Eval(text, v);
  if (a != 0) {
    EXPECT_FALSE(script::ErrorDescription(a).empty()) << "error " << a;
  }
  const int32_t b = engine.ExecuteStatement(text);
  if (b != 0) {
    EXPECT_FALSE(script::ErrorDescription(b).empty()) << "error " << b;
  }
  double d;
  const int32_t c = engine.EvalNumber(text, d);
  if (c != 0) {
    EXPECT_FALSE(script::ErrorDescription(c).empty()) << "error " << c;
  }
}

TEST(Robustness, GeneratedMonsters) {
  const size_t mega = 1 << 20;
  const std::string cases[] = {
      std::string(100000, '('),
      std::string(100000, '(') + "1" + std::string(100000, ')'),
      std::string(100000, '-') + "1",
      [] {
        std::string s;
        for (int k = 0; k < 50000; ++k) s += "Not ";
        return s + "1";
      }(),
      [&] {
        std::string s = "1";
        while (s.size() < mega) s += "+1";
        return s;
      }(),
      [&] {
        std::string s = "2";
        while (s.size() < mega) s += "^1";
        return s;
      }(),
      std::string(mega, 'a'),
      std::string(mega, '9'),
      "1" + std::string(400, '0') + ".5",
      std::string(mega, ' '),
      std::string(mega, '\n'),
      std::string("\x00\x01\x02\x7f", 4),
      "\xff\xfe\xc3\x28 + 1",
      "\"unterminated " + std::string(1000, 'x'),
      "sh" +
          [] {
            std::string s;
            for (int k = 0; k < 10000; ++k) s += ".pi";
            return s;
          }(),
      "Sqr(" + std::string(300, '(') + "1" + std::string(300, ')') + ")",
      [] {
        std::string s = "Abs(1";
        for (int k = 0; k < 1000; ++k) s += ",1";
        return s + ")";
      }(),
  };
  for (const std::string& text : cases) ExpectNumberedOutcome(text);
}

TEST(Robustness, DeepNestingIsAnError) {
  script::ScriptEngine engine;
  script::Variant v;
  EXPECT_EQ(engine.Eval(std::string(5000, '(') + "1" + std::string(5000, ')'), v), 28);
  EXPECT_EQ(engine.Eval(std::string(50, '(') + "1" + std::string(50, ')'), v), 0);
}

TEST(Robustness, LongChainsEvaluate) {
  script::ScriptEngine engine;
  std::string s = "1";
  for (int k = 0; k < 99999; ++k) s += "+1";
  double d;
  ASSERT_EQ(engine.EvalNumber(s, d), 0);
  EXPECT_EQ(d, 100000);
}

TEST(Robustness, RandomBytes) {
  std::mt19937 rng(12345);
  const std::string alphabet = "()+-*/\\^&=<>.,:'\"_ []&HhOoEe0123456789xyzNotAndModsh\n\t$#";
  for (int k = 0; k < 3000; ++k) {
    std::string text;
    const int length = static_cast<int>(rng() % 40);
    for (int j = 0; j < length; ++j) {
      if (rng() % 8 == 0)
        text.push_back(static_cast<char>(rng() % 256));
      else
        text.push_back(alphabet[rng() % alphabet.size()]);
    }
    ExpectNumberedOutcome(text);
  }
}

TEST(Robustness, Corpus) {
  const std::filesystem::path dir = std::filesystem::path(QUORVANT_TEST_DATA) / "nasty";
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    SCOPED_TRACE(entry.path().string());
    ExpectNumberedOutcome(buffer.str());
    ++files;
  }
  EXPECT_GT(files, 10);
}

TEST(Robustness, CompiledTextCacheStaysBounded) {
  script::ScriptEngine engine;
  for (int k = 0; k < 20000; ++k) engine.ExecuteStatement("x=" + std::to_string(k));
  EXPECT_LE(engine.CachedPrograms(), 4096u);
}

}  // namespace
}  // namespace quorvant::testing
