// Per-point value lists attached to a path and read back by handle.
#include "python/path2d_methods.hpp"

#include <string>
#include <variant>

#include "python/numpy_api.hpp"

namespace wayforge::py {

namespace {

constexpr char add_associated_values_doc[] =
    "add_associated_values($self, values)\n--\n\n"
    "add_associated_values(values)\n"
    "\n"
    "Adds an associated value.\n"
    "\n"
    ":param values: The values that should be added as associated to the path\n"
    "\n"
    ":type values: list[float]\n"
    "\n"
    ":returns: The handle for accessing the associated values again\n"
    ":rtype: int";

constexpr char associated_values_doc[] =
    "associated_values($self, handle)\n--\n\n"
    "associated_values(handle)\n"
    "\n"
    "Returns the respective associated values.\n"
    "\n"
    ":param handle: The handle of the associated values\n"
    "\n"
    ":type handle: int\n"
    "\n"
    ":returns: The associated values\n"
    ":rtype: list[float]";

// The body's call form names "associated_values_np", unlike the method.
constexpr char associated_value_np_doc[] =
    "associated_value_np($self, handle)\n--\n\n"
    "associated_values_np(handle)\n"
    "\n"
    "Returns the respective associated values.\n"
    "\n"
    ":param handle: The handle of the associated values\n"
    "\n"
    ":type handle: int\n"
    "\n"
    ":returns: The associated values\n"
    ":rtype: numpy.ndarray";

// The write borrow is taken before the argument is converted, so user code
// run by the conversion cannot read or change the path meanwhile.
constexpr auto kAddAssociatedValues = method(
    "add_associated_values", add_associated_values_doc, Access::Write, kConstantWork,
    [](Path2D& path, Values values) { return path.add_associated_values(std::move(values)); },
    [](std::variant<std::size_t, std::string>&& added) {
        if (const auto* error = std::get_if<std::string>(&added)) {
            raise(PyExc_TypeError, *error);
        }
        return to_python(std::get<std::size_t>(added));
    },
    param<Values>("values"));

// The readers pass the value list with the handle (or nullptr) on to the
// result conversion, which runs while the read borrow is still held.
constexpr auto kHandle = param<std::size_t>("handle");
constexpr auto kByHandle = [](Path2D& path, std::size_t handle) {
    return path.associated_value(handle);
};

constexpr auto kAssociatedValues = method(
    "associated_values", associated_values_doc, Access::Read, kConstantWork, kByHandle,
    [](const Values* values) { return values != nullptr ? to_python(*values) : none(); }, kHandle);

constexpr auto kAssociatedValueNp = method(
    "associated_value_np", associated_value_np_doc, Access::Read, kConstantWork, kByHandle,
    [](const Values* values) { return values != nullptr ? to_numpy(*values) : none(); }, kHandle);

}  // namespace

constinit const MethodEntry add_associated_values_entry = entry<kAddAssociatedValues>();
constinit const MethodEntry associated_values_entry = entry<kAssociatedValues>();
constinit const MethodEntry associated_value_np_entry = entry<kAssociatedValueNp>();

}  // namespace wayforge::py
