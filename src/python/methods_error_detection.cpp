// Path2D methods that find and remove points where the path turns back.
#include "python/path2d_methods.hpp"

#include "core/error_detection.hpp"

namespace wayforge::py {

namespace {

constexpr char detect_corrupted_point_order_doc[] =
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

constexpr char repair_corrupted_point_order_doc[] =
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

constexpr auto kSusAngle = param<double>("sus_angle", kDefaultSusAngle);

constexpr auto kDetect = method(
    "detect_corrupted_point_order", detect_corrupted_point_order_doc, Access::Read,
    kTurnWork,
    [](Path2D& path, double sus_angle) {
        return wayforge::detect_corrupted_point_order(path, sus_angle);
    },
    kSusAngle);

constexpr auto kRepair = method(
    "repair_corrupted_point_order", repair_corrupted_point_order_doc, Access::Read,
    kTurnWork,
    [](Path2D& path, double sus_angle) {
        return wayforge::repair_corrupted_point_order(path, sus_angle);
    },
    kSusAngle);

}  // namespace

constinit const MethodEntry detect_corrupted_point_order_entry = entry<kDetect>();
constinit const MethodEntry repair_corrupted_point_order_entry = entry<kRepair>();

}  // namespace wayforge::py
