// Path2D.smoothed_path_elastic_band: elastic band smoothing solved by Clarabel.
#include "python/ref.hpp"

#include <optional>
#include <utility>

#include "core/elastic_band.hpp"
#include "python/binder.hpp"
#include "python/clarabel.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/path2d_methods.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char smoothed_path_elastic_band_doc[] =
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

namespace {

const char* const kParams[] = {"max_deviation", "elastic_band_type"};
const Signature kSignature{"Path2D", "smoothed_path_elastic_band", kParams, 1};

}  // namespace

PyObject* smoothed_path_elastic_band(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[2] = {};
        bind(kSignature, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const double max_deviation = arg<double>(slots[0], "max_deviation");
        const ElasticBandMethod method = slots[1] ? arg<ElasticBandMethod>(slots[1], "elastic_band_type")
                                                  : ElasticBandMethod::OrthogonalBounds;
        ClarabelSolver solver;
        std::optional<Path2D> smoothed =
            wayforge::smoothed_path_elastic_band(borrow.path(), max_deviation, method, solver);
        if (!smoothed) {
            return none();
        }
        return wrap_path(std::move(*smoothed));
    });
}

}  // namespace wayforge::py
