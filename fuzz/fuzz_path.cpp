// Construction, deep copy, derived attributes and associated values.
#include <cmath>

#include "core/attributes.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Path2D p = in.path(300);
    fuzz::check_record(p);
    const std::size_t n = p.size();

    // Reading in any order fills each cell once; a copy carries filled cells.
    Path2D before_reads(p);
    if (in.flag()) {
        p.curvature();
    }
    const Values& s = p.path_length_per_point();
    FUZZ_CHECK(s.size() == n);
    if (n > 0) {
        FUZZ_CHECK(s[0] == 0.0);
        FUZZ_CHECK(fuzz::same_bits(p.length(), s.back()));
    } else {
        FUZZ_CHECK(p.length() == 0.0);
    }
    for (std::size_t i = 1; i < n; ++i) {
        FUZZ_CHECK(!(s[i] < s[i - 1]));  // lengths never decrease (NaN aside)
    }
    FUZZ_CHECK(p.orientation().size() == n);
    for (double a : p.orientation()) {
        FUZZ_CHECK(std::isnan(a) || std::fabs(a) <= 3.141592653589793);
    }
    FUZZ_CHECK(p.unit_tangent_vector().size() == std::min(p.x.size(), p.y.size()));
    FUZZ_CHECK(p.curvature().size() == n);

    Path2D copy(p);
    FUZZ_CHECK(fuzz::same_bits(copy.points(), p.points()));
    FUZZ_CHECK(copy.curvature_cell.filled() && copy.path_length_per_point_cell.filled());
    FUZZ_CHECK(fuzz::same_bits(copy.curvature(), p.curvature()));
    FUZZ_CHECK(fuzz::same_bits(before_reads.unit_tangent_vector(), p.unit_tangent_vector()));
    FUZZ_CHECK(fuzz::same_bits(before_reads.path_length_per_point(), p.path_length_per_point()));

    const Values d = compute_differences(p.x);
    FUZZ_CHECK(d.size() == p.x.size());

    // Adding: the right length gets the next handle, any other is refused.
    const std::size_t handles = p.associated_values.size();
    const std::size_t length = in.flag() ? n : in.size(n + 2);
    auto added = p.add_associated_values(in.numbers(length));
    if (length == n) {
        FUZZ_CHECK(std::get<std::size_t>(added) == handles);
        FUZZ_CHECK(p.associated_value(handles) != nullptr);
    } else {
        FUZZ_CHECK(std::holds_alternative<std::string>(added));
        FUZZ_CHECK(p.associated_values.size() == handles);
    }
    FUZZ_CHECK(p.associated_value(p.associated_values.size()) == nullptr);
    FUZZ_CHECK(p.associated_value(~std::size_t{0}) == nullptr);
    fuzz::check_record(p);
    return 0;
}
