#include "model/text_safety.h"

#include <cstdio>

namespace quorvant {
namespace {

// Length of the well-formed UTF-8 sequence that starts at `i` (2 to 4), or 0. Only the
// shape is checked (lead byte, continuation bytes, no overlong two-byte form): enough to
// tell text in UTF-8 from stray high bytes.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  else
    return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

bool IsC0OrDelete(unsigned c) {
  return c < 0x20 || c == 0x7F;
}

std::string Hex2(unsigned code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", code & 0xFF);
  return buf;
}

// Walks `text` and calls `visit(offset, length, code, control)` for every character:
// a single byte, or a whole UTF-8 sequence (code is then the code point).
template <typename Visit>
void ForEachCharacter(std::string_view text, Visit visit) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (!visit(i, 1, byte, IsC0OrDelete(byte) && byte != '\t')) return;
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      if (!visit(i, 1, byte, byte <= 0x9F)) return;
      ++i;
      continue;
    }
    unsigned code = byte & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (!visit(i, length, code, code >= 0x80 && code <= 0x9F)) return;
    i += length;
  }
}

}  // namespace

std::optional<ControlCharacter> FindControlCharacter(std::string_view text) {
  std::optional<ControlCharacter> found;
  ForEachCharacter(text, [&](std::size_t offset, std::size_t, unsigned code, bool control) {
    if (control) found = ControlCharacter{offset, code};
    return !control;
  });
  return found;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCharacter(text, [&](std::size_t offset, std::size_t length, unsigned code, bool control) {
    if (control || code == '\t' || (length == 1 && code >= 0x80)) {
      out += length == 1 ? Hex2(code) : "\\u00" + Hex2(code).substr(2);
    } else {
      out.append(text.substr(offset, length));
    }
    return true;
  });
  return out;
}

std::string DescribeControlCharacter(const ControlCharacter& c) {
  if (c.code >= 0x80 && c.code <= 0x9F) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", c.code);
    return std::string("the control character ") + buf;
  }
  return "the control character " + Hex2(c.code);
}

}  // namespace quorvant
