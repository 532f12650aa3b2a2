#include "core/path_batch.hpp"

#include <algorithm>
#include <iterator>

#include "core/attributes.hpp"
#include "core/chaikin.hpp"
#include "core/circle_segments.hpp"
#include "core/error_detection.hpp"
#include "core/panic.hpp"
#include "core/resample.hpp"

namespace wayforge {

std::optional<std::string> PathBatch::layout_error(const Values& x, const Values& y,
                                                   const Offsets& offsets,
                                                   const std::vector<Values>& values) {
    const std::size_t n = x.size();
    if (y.size() != n) {
        return "coords has " + std::to_string(x.size()) + " x values but " +
               std::to_string(y.size()) + " y values";
    }
    if (offsets.empty()) {
        return std::string("offsets is empty, but must hold one entry more than there are paths, "
                           "starting with 0");
    }
    if (offsets[0] != 0) {
        return "offsets[0] is " + std::to_string(offsets[0]) + ", but must be 0";
    }
    for (std::size_t j = 1; j < offsets.size(); ++j) {
        if (offsets[j] < offsets[j - 1]) {
            return "offsets[" + std::to_string(j) + "] is " + std::to_string(offsets[j]) +
                   ", below offsets[" + std::to_string(j - 1) + "] (" +
                   std::to_string(offsets[j - 1]) + "): offsets must never decrease";
        }
        if (static_cast<std::uint64_t>(offsets[j]) > n) {
            return "offsets[" + std::to_string(j) + "] is " + std::to_string(offsets[j]) +
                   ", beyond the " + std::to_string(n) + " points of coords";
        }
    }
    if (static_cast<std::uint64_t>(offsets.back()) != n) {
        return "the last offset is " + std::to_string(offsets.back()) + ", but coords has " +
               std::to_string(n) + " points";
    }
    for (const Values& column : values) {
        if (column.size() != n) {
            return "values has " + std::to_string(column.size()) + " rows, but coords has " +
                   std::to_string(n) + " points";
        }
    }
    return std::nullopt;
}

Path2D PathBatch::path(std::size_t j) const {
    const auto begin = static_cast<std::ptrdiff_t>(first(j));
    const auto end = static_cast<std::ptrdiff_t>(first(j) + points_of(j));
    Path2D path = Path2D::from_coordinates(Values(x.begin() + begin, x.begin() + end),
                                           Values(y.begin() + begin, y.begin() + end));
    path.associated_values.reserve(values.size());
    for (const Values& column : values) {
        path.associated_values.emplace_back(column.begin() + begin, column.begin() + end);
    }
    return path;
}

PathBatchBuilder::PathBatchBuilder(std::size_t value_lists, std::size_t paths_hint,
                                   std::size_t points_hint) {
    batch_.values.resize(value_lists);
    batch_.offsets.reserve(paths_hint + 1);
    batch_.x.reserve(points_hint);
    batch_.y.reserve(points_hint);
    for (Values& column : batch_.values) {
        column.reserve(points_hint);
    }
}

void PathBatchBuilder::append(const Path2D& path) {
    const std::size_t n = path.size();
    check(path.associated_values.size() >= batch_.values.size(),
          "a path brings fewer value lists than its batch keeps");
    batch_.x.insert(batch_.x.end(), path.x.begin(), path.x.begin() + static_cast<std::ptrdiff_t>(n));
    batch_.y.insert(batch_.y.end(), path.y.begin(), path.y.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t c = 0; c < batch_.values.size(); ++c) {
        const Values& list = path.associated_values[c];
        batch_.values[c].insert(batch_.values[c].end(), list.begin(), list.end());
    }
    batch_.offsets.push_back(static_cast<std::int64_t>(batch_.x.size()));
}

void PathBatchBuilder::append_kept(const PathBatch& batch, std::size_t j,
                                   const std::vector<std::uint8_t>& removed) {
    const std::size_t begin = batch.first(j);
    const std::size_t n = batch.points_of(j);
    auto keep = [&](const Values& from, Values& to) {
        if (removed.empty()) {
            to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(begin),
                      from.begin() + static_cast<std::ptrdiff_t>(begin + n));
            return;
        }
        // Every value is written and kept by advancing past it, without a
        // branch on the marks.
        std::size_t out = to.size();
        to.resize(out + n);
        for (std::size_t i = 0; i < n; ++i) {
            to[out] = from[begin + i];
            out += static_cast<std::size_t>(removed[i] == 0);
        }
        to.resize(out);
    };
    keep(batch.x, batch_.x);
    keep(batch.y, batch_.y);
    for (std::size_t c = 0; c < batch_.values.size(); ++c) {
        keep(batch.values[c], batch_.values[c]);
    }
    batch_.offsets.push_back(static_cast<std::int64_t>(batch_.x.size()));
}

PathBatch PathBatchBuilder::finish() && {
    return std::move(batch_);
}

namespace {

// Path j without its value lists, for operations that read only the points.
Path2D coordinates_of(const PathBatch& batch, std::size_t j) {
    const PointsView p = batch.points(j);
    return Path2D::from_coordinates(Values(p.x(), p.x() + p.size()), Values(p.y(), p.y() + p.size()));
}

// Runs op on every path as a record of its own and collects the paths it
// returns, with `value_lists` value lists each.
template <class Op>
PathBatch each_path(const PathBatch& batch, std::size_t value_lists, std::size_t points_hint,
                    Op&& op) {
    PathBatchBuilder out(value_lists, batch.size(), points_hint);
    for (std::size_t j = 0; j < batch.size(); ++j) {
        // Value lists are copied only when the result keeps them.
        Path2D path = value_lists > 0 ? batch.path(j) : coordinates_of(batch, j);
        out.append(op(path));
    }
    return std::move(out).finish();
}

// Concatenates, path by path, the per-point values that attribute() computes
// from the points of each path read in place.
template <class T, class Attribute>
std::vector<T> each_span(const PathBatch& batch, Attribute&& attribute) {
    std::vector<T> out;
    out.reserve(batch.point_count());
    for (std::size_t j = 0; j < batch.size(); ++j) {
        const std::vector<T> part = attribute(batch.points(j));
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

}  // namespace

PathBatch resampled_path(const PathBatch& batch, const ResamplingMethod& method,
                         InterpolationMethod type, double epsilon) {
    const std::size_t hint = method.tag == ResamplingMethod::Tag::ByNumberPoints
                                 ? batch.size() * std::min<std::size_t>(method.number_points, 1 << 16)
                                 : batch.point_count();
    return each_path(batch, batch.values.size(), hint, [&](Path2D& path) {
        return resampled_path(path, method, type, epsilon);
    });
}

PathBatch smoothed_path_chaikin(const PathBatch& batch, std::uint64_t num_iterations) {
    return each_path(batch, 0, 0, [&](Path2D& path) {
        return smoothed_path_chaikin(path, num_iterations);
    });
}

PathBatch repair_corrupted_point_order(const PathBatch& batch, double sus_angle) {
    // The same marks as the repair of each path alone, applied to the
    // columns in place of a copy of each path.
    PathBatchBuilder out(batch.values.size(), batch.size(), batch.point_count());
    for (std::size_t j = 0; j < batch.size(); ++j) {
        out.append_kept(batch, j, points_out_of_order(batch.points(j), sus_angle));
    }
    return std::move(out).finish();
}

std::vector<std::int64_t> detect_corrupted_point_order(const PathBatch& batch, double sus_angle) {
    std::vector<std::int64_t> flagged;
    for (std::size_t j = 0; j < batch.size(); ++j) {
        for (const std::size_t i : detect_corrupted_point_order(batch.points(j), sus_angle)) {
            flagged.push_back(static_cast<std::int64_t>(batch.first(j) + i));
        }
    }
    return flagged;
}

Values compute_circle_fit_curvature(const PathBatch& batch, double max_rmse) {
    Values out;
    out.reserve(batch.point_count());
    for (std::size_t j = 0; j < batch.size(); ++j) {
        const Values part = compute_circle_fit_curvature(coordinates_of(batch, j), max_rmse);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Values path_length_per_point(const PathBatch& batch) {
    return each_span<double>(batch, [](PointsView p) { return compute_path_length_per_point(p); });
}

Values orientation(const PathBatch& batch) {
    return each_span<double>(batch, [](PointsView p) { return compute_orientation(p); });
}

Points unit_tangent_vector(const PathBatch& batch) {
    return each_span<Point>(batch, [](PointsView p) {
        return compute_unit_tangent_vector(p.x(), p.size(), p.y(), p.size());
    });
}

Values curvature(const PathBatch& batch) {
    return each_span<double>(batch, [](PointsView p) {
        return compute_curvature(p.x(), p.size(), p.y(), p.size(), p.size());
    });
}

Values lengths(const PathBatch& batch) {
    Values out;
    out.reserve(batch.size());
    for (std::size_t j = 0; j < batch.size(); ++j) {
        const Values s = compute_path_length_per_point(batch.points(j));
        out.push_back(s.empty() ? 0.0 : s.back());
    }
    return out;
}

}  // namespace wayforge
