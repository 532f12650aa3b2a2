#include "qp/csc.hpp"

#include <algorithm>
#include <utility>

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

namespace {

// Stable: entries with equal rows keep their order. Short columns take an
// insertion sort, which does nothing on rows already ascending; long ones a
// merge sort, so that a dense column costs n log n, not n^2.
void sort_columns_by_row(const std::vector<std::size_t>& column_starts, std::vector<std::size_t>& rows,
                         std::vector<double>& values) {
    constexpr std::size_t kShortColumn = 32;
    std::vector<std::pair<std::size_t, double>> scratch;
    for (std::size_t c = 0; c + 1 < column_starts.size(); ++c) {
        const std::size_t begin = column_starts[c];
        const std::size_t end = column_starts[c + 1];
        if (end - begin > kShortColumn) {
            if (std::is_sorted(rows.begin() + begin, rows.begin() + end)) continue;
            scratch.clear();
            for (std::size_t k = begin; k < end; ++k) {
                scratch.emplace_back(rows[k], values[k]);
            }
            std::stable_sort(scratch.begin(), scratch.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (std::size_t k = begin; k < end; ++k) {
                rows[k] = scratch[k - begin].first;
                values[k] = scratch[k - begin].second;
            }
            continue;
        }
        for (std::size_t k = begin + 1; k < end; ++k) {
            const std::size_t r = rows[k];
            if (rows[k - 1] <= r) continue;
            const double v = values[k];
            std::size_t j = k;
            for (; j > begin && rows[j - 1] > r; --j) {
                rows[j] = rows[j - 1];
                values[j] = values[j - 1];
            }
            rows[j] = r;
            values[j] = v;
        }
    }
}

}  // namespace

void sort_columns(CscMatrix& m) { sort_columns_by_row(m.column_starts, m.row_indices, m.values); }

CscMatrix TripletBuilder::build() const {
    const std::size_t count = value_.size();

    // A counting sort by column keeps the order of addition inside each
    // column; an insertion sort then orders each column by row, stably.
    // Columns hold a few entries, and rows added in ascending order (as the
    // constraint rows are) need no moves at all.
    CscMatrix m;
    m.rows = rows_;
    m.cols = cols_;
    m.column_starts.assign(cols_ + 1, 0);
    for (std::size_t c : col_) {
        ++m.column_starts[c + 1];
    }
    for (std::size_t c = 0; c < cols_; ++c) {
        m.column_starts[c + 1] += m.column_starts[c];
    }
    std::vector<std::size_t> next(m.column_starts.begin(), m.column_starts.end() - 1);
    std::vector<std::size_t> rows(count);
    std::vector<double> values(count);
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t at = next[col_[t]]++;
        rows[at] = row_[t];
        values[at] = value_[t];
    }
    sort_columns_by_row(m.column_starts, rows, values);

    // Entries that share a position are summed in the order they were
    // added, compacting the arrays in place.
    std::size_t w = 0;
    std::size_t begin = 0;
    for (std::size_t c = 0; c < cols_; ++c) {
        const std::size_t end = m.column_starts[c + 1];
        const std::size_t column_begin = w;
        for (std::size_t k = begin; k < end; ++k) {
            if (w > column_begin && rows[w - 1] == rows[k]) {
                values[w - 1] = values[w - 1] + values[k];
            } else {
                rows[w] = rows[k];
                values[w] = values[k];
                ++w;
            }
        }
        begin = end;
        m.column_starts[c + 1] = w;
    }
    rows.resize(w);
    values.resize(w);
    m.row_indices = std::move(rows);
    m.values = std::move(values);
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
