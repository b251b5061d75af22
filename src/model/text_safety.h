// Texts that come from outside (problem files, the command line) and may reach a
// terminal or a message box: finding the control characters in them, and writing them
// so that a terminal shows them instead of obeying them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvant {

struct ControlCharacter {
  std::size_t offset;  // byte offset in the text
  unsigned code;       // the character's code (a lone byte's value)
};

// The first control character of `text`: a C0 control other than tab, DEL, a C1
// control written in UTF-8 (U+0080 to U+009F), or a byte from 0x80 to 0x9F that is not
// part of a UTF-8 sequence (a terminal reading 8-bit text takes it for a C1 control,
// 0x9B for the start of an escape sequence). Other bytes of text that is not UTF-8
// (Latin-1 letters, say) are not control characters.
std::optional<ControlCharacter> FindControlCharacter(std::string_view text);

// `text` with every control character, tab, and every byte that is not part of a
// well-formed UTF-8 sequence written as \xNN (\u0085 for a C1 control in UTF-8): safe to
// print in a message, and valid UTF-8 whatever the text was.
std::string Printable(std::string_view text);

// "the control character \x1B": how messages name one.
std::string DescribeControlCharacter(const ControlCharacter& c);

}  // namespace quorvant
