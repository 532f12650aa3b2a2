// Path2D.smoothed_path_elastic_band: elastic band smoothing solved by Clarabel.
#include "python/path2d_methods.hpp"

#include <optional>

#include "core/elastic_band.hpp"
#include "python/clarabel.hpp"

namespace wayforge::py {

namespace {

constexpr char smoothed_path_elastic_band_doc[] =
    "smoothed_path_elastic_band($self, max_deviation, elastic_band_type=...)\n--\n\n"
    "smoothed_path_elastic_band(max_deviation, elastic_band_type=ElasticBandMethod.OrthogonalBounds)\n"
    "\n"
    "The path is smoothed with an elastic band algorithm; this requires solving a quadratic program\n"
    "(QP), for which the interior-point solver Clarabel is used.\n"
    "\n"
    ":param max_deviation: Maximum deviation from the original path\n"
    ":param elastic_band_type: Type of constraining the deviation to the original path\n"
    "\n"
    ":type max_deviation: float\n"
    ":type elastic_band_type: ElasticBandType\n"
    "\n"
    ":returns: The smoothed path\n"
    ":rtype: Path2D";

// The solver is reached through Python objects, so the whole core call keeps
// the interpreter lock; clarabel releases it during its own solve, and a
// writer on another thread then waits for this call instead of raising.
constexpr auto kSmoothedPathElasticBand = method(
    "smoothed_path_elastic_band", smoothed_path_elastic_band_doc, Access::Read, kCallsPython,
    [](Path2D& path, double max_deviation, ElasticBandMethod method) {
        ClarabelSolver solver;
        return wayforge::smoothed_path_elastic_band(path, max_deviation, method, solver);
    },
    param<double>("max_deviation"),
    param<ElasticBandMethod>("elastic_band_type", ElasticBandMethod::OrthogonalBounds));

}  // namespace

constinit const MethodEntry smoothed_path_elastic_band_entry = entry<kSmoothedPathElasticBand>();

}  // namespace wayforge::py
