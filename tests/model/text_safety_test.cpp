// Control characters in texts from outside: which ones are found, and how messages
// show them.
#include "model/text_safety.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvant {
namespace {

struct SafetyCase {
  const char* name;
  std::string text;
  long offset;  // of the first control character, -1 for none
  const char* printable;
};

void PrintTo(const SafetyCase& c, std::ostream* os) {
  *os << c.name;
}

class TextSafety : public ::testing::TestWithParam<SafetyCase> {};

TEST_P(TextSafety, FindsTheFirstControlCharacterAndShowsEveryOne) {
  const SafetyCase& c = GetParam();
  const auto found = FindControlCharacter(c.text);
  EXPECT_EQ(found ? static_cast<long>(found->offset) : -1L, c.offset);
  EXPECT_EQ(Printable(c.text), c.printable);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextSafety,
    ::testing::Values(SafetyCase{"Plain", "x^2 + Sin(y)", -1, "x^2 + Sin(y)"},
                      SafetyCase{"TabIsTextButShown", "a\tb", -1, "a\\x09b"},
                      SafetyCase{"Escape", "x\x1b]0;title\x07", 1, "x\\x1B]0;title\\x07"},
                      SafetyCase{"CarriageReturn", "a=1\r", 3, "a=1\\x0D"},
                      SafetyCase{"Delete", "ab\x7f", 2, "ab\\x7F"},
                      SafetyCase{"Nul", std::string("a\0b", 3), 1, "a\\x00b"},
                      SafetyCase{"C1InUtf8",
                                 "x\xc2\x9b"
                                 "2J",
                                 1, "x\\u009B2J"},
                      SafetyCase{"LoneC1Byte",
                                 "x\x9b"
                                 "2J",
                                 1, "x\\x9B2J"},
                      SafetyCase{"LettersInUtf8", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac", -1,
                                 "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"},
                      SafetyCase{"Latin1Letter", "caf\xe9", -1, "caf\\xE9"},
                      SafetyCase{"CutUtf8Sequence", "a\xe2\x82", 2, "a\\xE2\\x82"}),
    [](const ::testing::TestParamInfo<SafetyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvant
