// Path2D.resampled_path: resampling at evenly spaced path lengths.
#include "python/path2d_methods.hpp"

#include "core/resample.hpp"

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

constexpr auto kResampledPath = method(
    "resampled_path", resampled_path_doc, Access::Read, Work::GrowsWithPoints,
    [](Path2D& path, ResamplingMethod resampling, InterpolationMethod type, double epsilon) {
        return wayforge::resampled_path(path, resampling, type, epsilon);
    },
    param<ResamplingMethod>("resampling_method"),
    param<InterpolationMethod>("resampling_type", InterpolationMethod::Linear),
    param<double>("epsilon", kDefaultEpsilon));

}  // namespace

constinit const MethodEntry resampled_path_entry = entry<kResampledPath>();

}  // namespace wayforge::py
