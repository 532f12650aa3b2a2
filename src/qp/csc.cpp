#include "qp/csc.hpp"

#include <algorithm>

namespace wayforge::qp {

void TripletBuilder::reserve(std::size_t count) {
    row_.reserve(count);
    col_.reserve(count);
    value_.reserve(count);
}

void TripletBuilder::add(std::size_t row, std::size_t col, double value) {
    row_.push_back(row);
    col_.push_back(col);
    value_.push_back(value);
    rows_ = std::max(rows_, row + 1);
    cols_ = std::max(cols_, col + 1);
}

CscMatrix TripletBuilder::build() const {
    const std::size_t count = value_.size();

    // Counting sort by row, then a stable counting sort by column: the result
    // is column-major with ascending rows inside each column.
    std::vector<std::size_t> row_starts(rows_ + 1, 0);
    for (std::size_t r : row_) {
        ++row_starts[r + 1];
    }
    for (std::size_t r = 0; r < rows_; ++r) {
        row_starts[r + 1] += row_starts[r];
    }
    std::vector<std::size_t> by_row(count);
    for (std::size_t t = 0; t < count; ++t) {
        by_row[row_starts[row_[t]]++] = t;
    }

    std::vector<std::size_t> col_starts(cols_ + 1, 0);
    for (std::size_t c : col_) {
        ++col_starts[c + 1];
    }
    for (std::size_t c = 0; c < cols_; ++c) {
        col_starts[c + 1] += col_starts[c];
    }
    std::vector<std::size_t> next(col_starts.begin(), col_starts.end() - 1);
    std::vector<std::size_t> order(count);
    for (std::size_t t : by_row) {
        order[next[col_[t]]++] = t;
    }

    CscMatrix m;
    m.rows = rows_;
    m.cols = cols_;
    m.column_starts.assign(cols_ + 1, 0);
    m.row_indices.reserve(count);
    m.values.reserve(count);
    for (std::size_t c = 0; c < cols_; ++c) {
        const std::size_t column_begin = m.values.size();
        for (std::size_t k = col_starts[c]; k < col_starts[c + 1]; ++k) {
            const std::size_t t = order[k];
            if (m.values.size() > column_begin && m.row_indices.back() == row_[t]) {
                m.values.back() = m.values.back() + value_[t];
            } else {
                m.row_indices.push_back(row_[t]);
                m.values.push_back(value_[t]);
            }
        }
        m.column_starts[c + 1] = m.values.size();
    }
    return m;
}

CscMatrix upper_triangle(const CscMatrix& m) {
    CscMatrix u;
    u.rows = m.rows;
    u.cols = m.cols;
    u.column_starts.assign(m.cols + 1, 0);
    u.row_indices.reserve(m.nonzeros());
    u.values.reserve(m.nonzeros());
    for (std::size_t c = 0; c < m.cols; ++c) {
        for (std::size_t k = m.column_starts[c]; k < m.column_starts[c + 1]; ++k) {
            if (m.row_indices[k] <= c) {
                u.row_indices.push_back(m.row_indices[k]);
                u.values.push_back(m.values[k]);
            }
        }
        u.column_starts[c + 1] = u.values.size();
    }
    return u;
}

}  // namespace wayforge::qp
