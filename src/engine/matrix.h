// A dense matrix of doubles with 0-based rows and columns, all 0 when created.
#pragma once

#include <cstddef>
#include <vector>

namespace quorvant {

class Matrix {
 public:
  Matrix() = default;
  Matrix(int rows, int cols)
      : rows_(rows), cols_(cols), data_(static_cast<size_t>(rows) * static_cast<size_t>(cols)) {}
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  double& operator()(int r, int c) { return data_[Index(r, c)]; }
  double operator()(int r, int c) const { return data_[Index(r, c)]; }

 private:
  size_t Index(int r, int c) const {
    return static_cast<size_t>(r) * static_cast<size_t>(cols_) + static_cast<size_t>(c);
  }
  int rows_ = 0;
  int cols_ = 0;
  std::vector<double> data_;
};

}  // namespace quorvant
