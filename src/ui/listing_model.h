// The results listing held compactly: every line in one text buffer with an offset per
// line, shown through a list model, so a run of a million trials costs some tens of
// megabytes instead of a widget item per line.
#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvant {

// Lines of text, appended at the end and read by number.
class LineStore {
 public:
  void Append(std::string_view line);
  void Append(const LineStore& other);
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view Line(size_t i) const {
    const uint64_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }
  // The line with the most characters (the first of them), -1 when there is none.
  int64_t longest() const { return longest_; }
  // Forgets every line and gives their memory back.
  void Clear();
  // The bytes held (text and offsets), for the benchmark.
  size_t capacityBytes() const { return text_.capacity() + ends_.capacity() * sizeof(uint64_t); }

 private:
  std::string text_;
  std::vector<uint64_t> ends_;  // where each line ends in text_
  int64_t longest_ = -1;
  size_t longestChars_ = 0;
};

// The number of characters (not bytes) of UTF-8 text.
size_t Utf8Length(std::string_view text);

class ListingModel : public QAbstractListModel {
  Q_OBJECT
 public:
  // The longest line's text, for the view's width (every row is as wide as it).
  static constexpr int kLongestLineRole = Qt::UserRole + 1;

  explicit ListingModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Appends the lines of `batch` at the end, as one insertion.
  void Append(const LineStore& batch);
  void Append(std::string_view line);
  void Clear();
  const LineStore& lines() const { return lines_; }
  QString Line(int row) const;
  // The lines from `first` to `last` (inclusive) joined by "\n", each ended by one.
  std::string Text(int first, int last) const;

 private:
  LineStore lines_;
};

}  // namespace quorvant
