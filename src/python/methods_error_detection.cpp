// Path2D methods that find and remove points where the path turns back.
#include "python/path2d_methods.hpp"

#include "core/error_detection.hpp"
#include "python/binder.hpp"
#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/path2d_type.hpp"

namespace wayforge::py {

const char detect_corrupted_point_order_doc[] =
    "detect_corrupted_point_order($self, sus_angle=2.8)\n"
    "--\n"
    "\n"
    "detect_corrupted_point_order(sus_angle=2.8)\n"
    "\n"
    "Returns the list of all indices where the path turns sharper than sus_angle.\n"
    "\n"
    ":param sus_angle: Every turn sharper than this angle is suspicious.\n"
    "\n"
    ":type sus_angle: float\n"
    "\n"
    ":returns: Indices of suspicious points\n"
    ":rtype: list[int]";

const char repair_corrupted_point_order_doc[] =
    "repair_corrupted_point_order($self, sus_angle=2.8)\n"
    "--\n"
    "\n"
    "repair_corrupted_point_order(sus_angle=2.8)\n"
    "\n"
    "Repairs corrupted point order by removing points that progress in the wrong direction.\n"
    "\n"
    ":param sus_angle: Every turn sharper than this angle is suspicious.\n"
    "\n"
    ":type sus_angle: float\n"
    "\n"
    ":returns: Repaired path\n"
    ":rtype: Path2D";

namespace {

constexpr double kDefaultSusAngle = 2.8;

const char* const kParams[] = {"sus_angle"};
const Signature kDetect{"Path2D", "detect_corrupted_point_order", kParams, 0};
const Signature kRepair{"Path2D", "repair_corrupted_point_order", kParams, 0};

double sus_angle_arg(PyObject* slot) {
    return slot ? arg<double>(slot, "sus_angle") : kDefaultSusAngle;
}

}  // namespace

PyObject* detect_corrupted_point_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kDetect, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const double sus_angle = sus_angle_arg(slots[0]);
        return to_python(wayforge::detect_corrupted_point_order(borrow.path(), sus_angle));
    });
}

PyObject* repair_corrupted_point_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return boundary([&] {
        PyObject* slots[1] = {};
        bind(kRepair, args, nargs, kwnames, slots);
        PathBorrow borrow = PathBorrow::shared(self);
        const double sus_angle = sus_angle_arg(slots[0]);
        return wrap_path(wayforge::repair_corrupted_point_order(borrow.path(), sus_angle));
    });
}

}  // namespace wayforge::py
