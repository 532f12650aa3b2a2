// Path2D.smoothed_path_chaikin.
#include "python/path2d_methods.hpp"

#include "core/chaikin.hpp"

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

constexpr auto kSmoothedPathChaikin = method(
    "smoothed_path_chaikin", smoothed_path_chaikin_doc, Access::Read, Work::GrowsWithPoints,
    [](Path2D& path, std::size_t num_iterations) {
        return wayforge::smoothed_path_chaikin(path, num_iterations);
    },
    param<std::size_t>("num_iterations"));

}  // namespace

constinit const MethodEntry smoothed_path_chaikin_entry = entry<kSmoothedPathChaikin>();

}  // namespace wayforge::py
