// Compressed sparse column matrices built from coordinate triplets.
#pragma once

#include <cstddef>
#include <vector>

namespace wayforge::qp {

// Column j holds the entries column_starts[j] .. column_starts[j + 1] - 1 of
// row_indices and values; row indices ascend within a column and never repeat.
struct CscMatrix {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<std::size_t> column_starts{0};
    std::vector<std::size_t> row_indices;
    std::vector<double> values;

    std::size_t nonzeros() const noexcept { return values.size(); }

    // An empty matrix of the given size: no stored entries.
    static CscMatrix zeros(std::size_t rows, std::size_t cols) {
        CscMatrix m;
        m.rows = rows;
        m.cols = cols;
        m.column_starts.assign(cols + 1, 0);
        return m;
    }
};

// Accumulates triplets; each one raises the row and column counts to cover it.
class TripletBuilder {
public:
    TripletBuilder(std::size_t rows, std::size_t cols) : rows_(rows), cols_(cols) {}

    void reserve(std::size_t count);
    void add(std::size_t row, std::size_t col, double value);

    std::size_t rows() const noexcept { return rows_; }
    std::size_t cols() const noexcept { return cols_; }

    // Sorts the triplets into compressed columns in linear time. Entries that
    // share a position are summed, so the result is always duplicate-free.
    CscMatrix build() const;

private:
    std::size_t rows_;
    std::size_t cols_;
    std::vector<std::size_t> row_;
    std::vector<std::size_t> col_;
    std::vector<double> value_;
};

// Orders the entries of each column by row; entries with equal rows keep
// their order. Meant for columns of a few entries (an insertion sort).
void sort_columns(CscMatrix& m);

// The entries on and above the diagonal.
CscMatrix upper_triangle(const CscMatrix& m);

}  // namespace wayforge::qp
