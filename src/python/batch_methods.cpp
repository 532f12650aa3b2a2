// PathBatch operations: each takes the name and parameters of its Path2D
// method and gives, path by path, exactly what that method gives.
#include "python/batch_type.hpp"

#include <algorithm>
#include <cmath>

#include "python/lapack_loader.hpp"
#include "python/numpy_api.hpp"
#include "python/path2d_methods.hpp"

namespace wayforge::py {

namespace {

constexpr char resampled_path_doc[] =
    "resampled_path($self, resampling_method, resampling_type=..., epsilon=0.01)\n"
    "--\n"
    "\n"
    "Resamples every path as Path2D.resampled_path does, value lists included.\n"
    "\n"
    ":returns: The resampled paths\n"
    ":rtype: PathBatch";

constexpr char smoothed_path_chaikin_doc[] =
    "smoothed_path_chaikin($self, num_iterations)\n"
    "--\n"
    "\n"
    "Smoothes every path as Path2D.smoothed_path_chaikin does. Smoothing drops\n"
    "value lists, so the result carries none.\n"
    "\n"
    ":returns: The smoothed paths\n"
    ":rtype: PathBatch";

constexpr char compute_circle_fit_curvature_doc[] =
    "compute_circle_fit_curvature($self, max_rmse=0.15)\n"
    "--\n"
    "\n"
    "Computes the curvature of every path as Path2D.compute_circle_fit_curvature\n"
    "does, one value per point of the batch.\n"
    "\n"
    ":rtype: numpy.ndarray";

constexpr char detect_corrupted_point_order_doc[] =
    "detect_corrupted_point_order($self, sus_angle=2.8)\n"
    "--\n"
    "\n"
    "The points of every path that Path2D.detect_corrupted_point_order flags, as\n"
    "ascending indices into the batch's coordinates.\n"
    "\n"
    ":rtype: numpy.ndarray";

constexpr char repair_corrupted_point_order_doc[] =
    "repair_corrupted_point_order($self, sus_angle=2.8)\n"
    "--\n"
    "\n"
    "Repairs every path as Path2D.repair_corrupted_point_order does, value lists\n"
    "included.\n"
    "\n"
    ":returns: The repaired paths\n"
    ":rtype: PathBatch";

struct ToBatch {
    Ref operator()(PathBatch&& batch) const { return wrap_batch(std::move(batch)); }
};
struct ToArray {
    template <class T>
    Ref operator()(T&& values) const {
        return adopt_array(std::forward<T>(values));
    }
};

using ResampleArgs = std::tuple<ResamplingMethod, InterpolationMethod, double>;

// The points a resampling handles: the longer of the batch and the result,
// weighted as for one path.
double resampling_work_points(const PathBatch& batch, const ResampleArgs& args) {
    const auto& [resampling, type, epsilon] = args;
    double points = static_cast<double>(batch.point_count());
    if (resampling.tag == ResamplingMethod::Tag::ByNumberPoints) {
        points = std::max(points, static_cast<double>(batch.size()) *
                                      static_cast<double>(resampling.number_points));
    }
    const double lists = 2.0 + static_cast<double>(batch.values.size());
    const double interpolation = type == InterpolationMethod::Cubic ? kCubicToLinear : 1.0;
    return points * (lists / 2.0) * interpolation;
}

constexpr auto kResampledPath = with_work_points(
    method<BatchReceiver>(
        "resampled_path", resampled_path_doc, Access::Read, grows_with_points(kLinearNsPerPoint),
        [](const PathBatch& batch, ResamplingMethod resampling, InterpolationMethod type,
           double epsilon) { return wayforge::resampled_path(batch, resampling, type, epsilon); },
        ToBatch{}, param<ResamplingMethod>("resampling_method"),
        param<InterpolationMethod>("resampling_type", InterpolationMethod::Linear),
        param<double>("epsilon", kDefaultEpsilon)),
    resampling_work_points);

constexpr auto kSmoothedPathChaikin = with_work_points(
    method<BatchReceiver>(
        "smoothed_path_chaikin", smoothed_path_chaikin_doc, Access::Read,
        grows_with_points(kChaikinNsPerPoint),
        [](const PathBatch& batch, std::size_t num_iterations) {
            return wayforge::smoothed_path_chaikin(batch, num_iterations);
        },
        ToBatch{}, param<std::size_t>("num_iterations")),
    [](const PathBatch& batch, const std::tuple<std::size_t>& args) {
        const int doublings = static_cast<int>(std::min<std::size_t>(std::get<0>(args), 64));
        return std::ldexp(static_cast<double>(batch.point_count()), doublings);
    });

constexpr auto kCircleFitCurvature = with_prepare(
    method<BatchReceiver>(
        "compute_circle_fit_curvature", compute_circle_fit_curvature_doc, Access::Read, kFitWork,
        [](const PathBatch& batch, double max_rmse) {
            return wayforge::compute_circle_fit_curvature(batch, max_rmse);
        },
        ToArray{}, param<double>("max_rmse", kDefaultMaxRmse)),
    ensure_lapack);

constexpr auto kDetect = method<BatchReceiver>(
    "detect_corrupted_point_order", detect_corrupted_point_order_doc, Access::Read, kTurnWork,
    [](const PathBatch& batch, double sus_angle) {
        return wayforge::detect_corrupted_point_order(batch, sus_angle);
    },
    ToArray{}, param<double>("sus_angle", kDefaultSusAngle));

constexpr auto kRepair = method<BatchReceiver>(
    "repair_corrupted_point_order", repair_corrupted_point_order_doc, Access::Read, kTurnWork,
    [](const PathBatch& batch, double sus_angle) {
        return wayforge::repair_corrupted_point_order(batch, sus_angle);
    },
    ToBatch{}, param<double>("sus_angle", kDefaultSusAngle));

}  // namespace

constinit const MethodEntry batch_resampled_path_entry = entry<kResampledPath>();
constinit const MethodEntry batch_smoothed_path_chaikin_entry = entry<kSmoothedPathChaikin>();
constinit const MethodEntry batch_compute_circle_fit_curvature_entry = entry<kCircleFitCurvature>();
constinit const MethodEntry batch_detect_corrupted_point_order_entry = entry<kDetect>();
constinit const MethodEntry batch_repair_corrupted_point_order_entry = entry<kRepair>();

}  // namespace wayforge::py
