// Path2D.smoothed_path_chaikin.
#include "python/path2d_methods.hpp"

#include "core/chaikin.hpp"

#include <algorithm>
#include <cmath>

namespace wayforge::py {

namespace {

constexpr char smoothed_path_chaikin_doc[] =
    "smoothed_path_chaikin($self, num_iterations)\n"
    "--\n"
    "\n"
    "smoothed_path_chaikin(num_iterations)\n"
    "\n"
    "Smoothes the path using the Chaikin's path smoothing algorithm.\n"
    "\n"
    ":param num_iterations: Number of iterations used for Chaikin's path smoothing algorithm.\n"
    "\n"
    ":type num_iterations: int\n"
    "\n"
    ":returns: The smoothed path\n"
    ":rtype: Path2D";

// About a nanosecond per point of the result, whose size doubles with
// every iteration.
constexpr auto kSmoothedPathChaikin = with_work_points(
    method(
        "smoothed_path_chaikin", smoothed_path_chaikin_doc, Access::Read, grows_with_points(kChaikinNsPerPoint),
        [](Path2D& path, std::size_t num_iterations) {
            return wayforge::smoothed_path_chaikin(path, num_iterations);
        },
        param<std::size_t>("num_iterations")),
    [](Path2D& path, const std::tuple<std::size_t>& args) {
        const int doublings = static_cast<int>(std::min<std::size_t>(std::get<0>(args), 64));
        return std::ldexp(static_cast<double>(path.size()), doublings);
    });

}  // namespace

constinit const MethodEntry smoothed_path_chaikin_entry = entry<kSmoothedPathChaikin>();

}  // namespace wayforge::py
