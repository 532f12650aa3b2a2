// The methods of the Path2D class, each declared in the file of its topic
// (see method_table.hpp) and registered in path2d_type.cpp's method table.
#pragma once

#include "python/method_table.hpp"

namespace wayforge::py {

// The distance within which two points are considered equal, the default of
// every method that compares points.
inline constexpr double kDefaultEpsilon = 0.01;

// In registration order:
extern const MethodEntry compute_circle_fit_curvature_entry;
extern const MethodEntry find_circle_segments_entry;
extern const MethodEntry resampled_path_entry;
extern const MethodEntry smoothed_path_elastic_band_entry;
extern const MethodEntry smoothed_path_chaikin_entry;
extern const MethodEntry index_from_point_entry;
extern const MethodEntry path_length_from_point_entry;
extern const MethodEntry sub_path_entry;
extern const MethodEntry detect_corrupted_point_order_entry;
extern const MethodEntry repair_corrupted_point_order_entry;
extern const MethodEntry add_associated_values_entry;
extern const MethodEntry associated_values_entry;
extern const MethodEntry associated_value_np_entry;

}  // namespace wayforge::py
