// Path2D.resampled_path: resampling at evenly spaced path lengths.
#include "python/path2d_methods.hpp"

#include "core/resample.hpp"

#include <algorithm>

namespace wayforge::py {

namespace {

constexpr char resampled_path_doc[] =
    "resampled_path($self, resampling_method, resampling_type=..., epsilon=0.01)\n"
    "--\n"
    "\n"
    "resampled_path(resampling_method, resampling_type=InterpolationMethod.Linear, epsilon=0.01)\n"
    "\n"
    "Resamples the path equidistantly using the given interpolation method.\n"
    "\n"
    ":param number_points: Number of points of the resampled path\n"
    ":param resampling_type: Method of interpolation\n"
    ":param epsilon: The distance within two points are considered equal\n"
    "\n"
    ":type number_points: int\n"
    ":type resampling_type: ResamplingType\n"
    ":type epsilon: float\n"
    "\n"
    ":returns: Resampled path\n"
    ":rtype: Path2D";

// The points a resampling handles: the longer of the path and the result,
// weighted by the interpolation and the number of lists sampled.
double resampling_work_points(Path2D& path,
                              const std::tuple<ResamplingMethod, InterpolationMethod, double>& args) {
    const auto& [resampling, type, epsilon] = args;
    const double n = static_cast<double>(path.size());
    double points = n;
    if (resampling.tag == ResamplingMethod::Tag::ByNumberPoints) {
        points = std::max(n, static_cast<double>(resampling.number_points));
    } else if (path.size() >= 2 && !worth_unlocking(kLinearNsPerPoint * n)) {
        // The result's size follows from the length, which the resampling
        // computes first anyway; on a path this short that is quick.
        points = std::max(n, path.path_length_per_point().back() / resampling.sampling_distance);
    }
    const double lists = 2.0 + static_cast<double>(path.associated_values.size());
    const double interpolation = type == InterpolationMethod::Cubic ? kCubicToLinear : 1.0;
    return points * (lists / 2.0) * interpolation;
}

constexpr auto kResampledPath = with_work_points(
    method("resampled_path", resampled_path_doc, Access::Read,
           grows_with_points(kLinearNsPerPoint),
           [](Path2D& path, ResamplingMethod resampling, InterpolationMethod type, double epsilon) {
               return wayforge::resampled_path(path, resampling, type, epsilon);
           },
           param<ResamplingMethod>("resampling_method"),
           param<InterpolationMethod>("resampling_type", InterpolationMethod::Linear),
           param<double>("epsilon", kDefaultEpsilon)),
    resampling_work_points);

}  // namespace

constinit const MethodEntry resampled_path_entry = entry<kResampledPath>();

}  // namespace wayforge::py
