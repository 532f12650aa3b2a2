// The methods of the Path2D class, each declared in the file of its topic
// (see method_table.hpp) and registered in path2d_type.cpp's method table.
#pragma once

#include "python/method_table.hpp"

namespace wayforge::py {

// The distance within which two points are considered equal, the default of
// every method that compares points.
inline constexpr double kDefaultEpsilon = 0.01;
// The angle from which a turn is taken for a point out of order.
inline constexpr double kDefaultSusAngle = 2.8;
// The bound on a fitted circle segment's root mean squared error.
inline constexpr double kDefaultMaxRmse = 0.15;

// Rough core costs per point, shared by the methods of a path and of a batch.
// Detection and repair: one atan2 per point.
inline constexpr Work kTurnWork = grows_with_points(15.0);
// Circle fitting: at least one least-squares fit over every point.
inline constexpr Work kFitWork = grows_with_points(40.0);
// Resampling: about ten nanoseconds per point sampled linearly, sixteen by a
// cubic spline, for each pair of lists (x and y, then two value lists).
inline constexpr double kLinearNsPerPoint = 10.0;
inline constexpr double kCubicToLinear = 1.6;
// Chaikin: about a nanosecond per point of the result.
inline constexpr double kChaikinNsPerPoint = 1.0;

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
