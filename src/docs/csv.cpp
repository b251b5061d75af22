#include "docs/csv.h"

namespace quorvant {

std::string CsvText(const std::vector<std::vector<std::string>>& rows) {
  std::string out;
  for (const std::vector<std::string>& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) out += ',';
      const std::string& cell = row[c];
      if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        out += cell;
        continue;
      }
      out += '"';
      for (char ch : cell) {
        if (ch == '"') out += '"';
        out += ch;
      }
      out += '"';
    }
    out += '\n';
  }
  return out;
}

}  // namespace quorvant
