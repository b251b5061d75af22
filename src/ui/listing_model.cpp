#include "ui/listing_model.h"

#include <algorithm>
#include <limits>

namespace quorvant {

size_t Utf8Length(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

void LineStore::Append(std::string_view line) {
  text_.append(line);
  ends_.push_back(text_.size());
  // A line can only be the longest when it has at least as many bytes as the longest
  // has characters; the count of characters is taken only then.
  if (longest_ < 0 || line.size() > longestChars_) {
    const size_t chars = Utf8Length(line);
    if (longest_ < 0 || chars > longestChars_) {
      longest_ = static_cast<int64_t>(ends_.size() - 1);
      longestChars_ = chars;
    }
  }
}

void LineStore::Append(const LineStore& other) {
  const size_t base = text_.size();
  const size_t first = ends_.size();
  text_.append(other.text_);
  ends_.reserve(ends_.size() + other.ends_.size());
  for (uint64_t end : other.ends_) ends_.push_back(base + end);
  if (other.longest_ >= 0 && (longest_ < 0 || other.longestChars_ > longestChars_)) {
    longest_ = static_cast<int64_t>(first) + other.longest_;
    longestChars_ = other.longestChars_;
  }
}

void LineStore::Clear() {
  std::string().swap(text_);
  std::vector<uint64_t>().swap(ends_);
  longest_ = -1;
  longestChars_ = 0;
}

ListingModel::ListingModel(QObject* parent) : QAbstractListModel(parent) {}

int ListingModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(std::min<size_t>(lines_.size(), std::numeric_limits<int>::max()));
}

QString ListingModel::Line(int row) const {
  const std::string_view line = lines_.Line(static_cast<size_t>(row));
  return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole) return Line(index.row());
  if (role == kLongestLineRole)
    return lines_.longest() < 0 ? QString() : Line(static_cast<int>(lines_.longest()));
  return {};
}

void ListingModel::Append(const LineStore& batch) {
  if (batch.empty()) return;
  const int first = rowCount();
  const size_t last = lines_.size() + batch.size() - 1;
  if (last > static_cast<size_t>(std::numeric_limits<int>::max())) return;  // beyond any view
  beginInsertRows(QModelIndex(), first, static_cast<int>(last));
  lines_.Append(batch);
  endInsertRows();
}

void ListingModel::Append(std::string_view line) {
  LineStore one;
  one.Append(line);
  Append(one);
}

void ListingModel::Clear() {
  if (lines_.empty()) return;
  beginResetModel();
  lines_.Clear();
  endResetModel();
}

std::string ListingModel::Text(int first, int last) const {
  std::string text;
  for (int row = std::max(first, 0); row <= last && row < rowCount(); ++row) {
    text.append(lines_.Line(static_cast<size_t>(row)));
    text += '\n';
  }
  return text;
}

}  // namespace quorvant
