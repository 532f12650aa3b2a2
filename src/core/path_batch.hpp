// Many paths in one record: one coordinate column pair and one offsets list
// (the ragged layout of GeoArrow linestrings), plus value columns that give
// every path its associated value lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/method_values.hpp"
#include "core/path2d.hpp"

namespace wayforge {

using Offsets = std::vector<std::int64_t>;

class PathBatch {
public:
    // Path j is made of points offsets[j] to offsets[j + 1] - 1 of x and y;
    // value column c holds the associated value list c of every path, aligned
    // with the coordinates.
    Values x;
    Values y;
    Offsets offsets{0};
    std::vector<Values> values;

    // Checks the layout and takes the columns; the error text names the first
    // problem found. Nothing is taken when it fails.
    static std::optional<std::string> layout_error(const Values& x, const Values& y,
                                                   const Offsets& offsets,
                                                   const std::vector<Values>& values);

    std::size_t size() const noexcept { return offsets.size() - 1; }
    std::size_t point_count() const noexcept { return x.size(); }
    std::size_t first(std::size_t j) const noexcept { return static_cast<std::size_t>(offsets[j]); }
    std::size_t points_of(std::size_t j) const noexcept {
        return static_cast<std::size_t>(offsets[j + 1] - offsets[j]);
    }
    // The points of path j, read from the columns in place.
    PointsView points(std::size_t j) const noexcept {
        return PointsView(x.data() + first(j), y.data() + first(j), points_of(j));
    }
    // Path j as a record of its own, with its associated value lists.
    Path2D path(std::size_t j) const;
};

// Builds a batch path by path, in order.
class PathBatchBuilder {
public:
    // value_lists: the number of value columns every appended path brings.
    explicit PathBatchBuilder(std::size_t value_lists, std::size_t paths_hint = 0,
                              std::size_t points_hint = 0);
    // Appends the points of the path and, when the batch keeps values, its
    // value lists, whose number must be the batch's.
    void append(const Path2D& path);
    // Appends path j of the batch without the points marked in removed (one
    // mark per point, or none to keep every point).
    void append_kept(const PathBatch& batch, std::size_t j, const std::vector<std::uint8_t>& removed);
    PathBatch finish() &&;

private:
    PathBatch batch_;
};

// Each operation gives for every path exactly what the Path2D operation gives
// on that path alone.

PathBatch resampled_path(const PathBatch& batch, const ResamplingMethod& method,
                         InterpolationMethod type, double epsilon);
// Smoothing drops the value lists of the paths it smooths, so the result
// carries none.
PathBatch smoothed_path_chaikin(const PathBatch& batch, std::uint64_t num_iterations);
PathBatch repair_corrupted_point_order(const PathBatch& batch, double sus_angle);
// Flagged points as indices into the batch's coordinates, ascending.
std::vector<std::int64_t> detect_corrupted_point_order(const PathBatch& batch, double sus_angle);
// One value per point of the batch.
Values compute_circle_fit_curvature(const PathBatch& batch, double max_rmse);

// The per-point attributes of every path, aligned with the coordinates.
Values path_length_per_point(const PathBatch& batch);
Values orientation(const PathBatch& batch);
Points unit_tangent_vector(const PathBatch& batch);
Values curvature(const PathBatch& batch);
// The length of every path.
Values lengths(const PathBatch& batch);

}  // namespace wayforge
