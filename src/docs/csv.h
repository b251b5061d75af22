// Comma-separated values: rows of text cells as a file's text.
#pragma once

#include <string>
#include <vector>

namespace quorvant {

// One line per row, ended by "\n"; cells separated by commas. A cell that holds a comma,
// a double quote or a line break is put in double quotes, with its quotes doubled.
std::string CsvText(const std::vector<std::vector<std::string>>& rows);

}  // namespace quorvant
