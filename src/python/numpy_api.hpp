// NumPy arrays made through NumPy's C interface table, reached at run time
// through the "_ARRAY_API" capsule. The table is located on the first array
// request, so importing wayforge never imports NumPy and no NumPy headers are
// needed to build.
#pragma once

#include "python/ref.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/path2d.hpp"

namespace wayforge::py {

// NumPy element type numbers (Linux x86-64: NPY_LONG is the 64-bit integer).
inline constexpr int kNpyInt64 = 7;
inline constexpr int kNpyFloat64 = 12;

// A new one-dimensional array of n elements of the given type, filled with a
// copy of the n * item_size bytes at data. item_size must be the element
// size of type_num (checked for the types above; others are refused).
Ref new_array_1d(int type_num, std::size_t n, const void* data, std::size_t item_size);

// A new float64 array of shape (n,) holding a copy of the values.
Ref to_numpy(const Values& values);
// A new float64 array of shape (n, 2), one row per point; (0, 0) when empty.
Ref to_numpy(const Points& points);
// The same, for the points of a path read from its coordinate lists.
Ref to_numpy(PointsView points);

// New arrays that take over a result's memory, without a copy: the vector is
// moved into an object that the array keeps as its base.
// Shape (n,), float64 or int64.
Ref adopt_array(Values&& values);
Ref adopt_array(std::vector<std::int64_t>&& values);
// Shape (n, 2), one row per point; (0, 2) when empty.
Ref adopt_array(Points&& points);
// Shape (rows, columns) of row-major values; values.size() must be rows * columns.
Ref adopt_array(Values&& values, std::size_t rows, std::size_t columns);

}  // namespace wayforge::py
