// Point order detection and repair (a linked-list repair in linear time)
// against the plain definition: detect, remove from the back, repeat.
#include <cmath>

#include "core/error_detection.hpp"
#include "fuzz/input.hpp"

using namespace wayforge;

namespace {

std::vector<std::size_t> reference_detect(const Points& p, double sus_angle) {
    std::vector<std::size_t> flagged;
    for (std::size_t j = 1; j + 1 < p.size(); ++j) {
        const double a1 = std::atan2(p[j].y - p[j - 1].y, p[j].x - p[j - 1].x);
        const double a2 = std::atan2(p[j + 1].y - p[j].y, p[j + 1].x - p[j].x);
        double d = std::fabs(a2 - a1);
        if (3.141592653589793 < d) {
            d = std::fabs(6.283185307179586 - d);
        }
        if (d >= sus_angle) {
            flagged.push_back(j);
        }
    }
    return flagged;
}

Path2D reference_repair(const Path2D& path, double sus_angle) {
    Path2D r;
    r.x = path.x;
    r.y = path.y;
    r.associated_values = path.associated_values;
    for (auto flagged = reference_detect(r.points().to_points(), sus_angle); !flagged.empty();
         flagged = reference_detect(r.points().to_points(), sus_angle)) {
        for (auto k = flagged.rbegin(); k != flagged.rend(); ++k) {
            const auto at = static_cast<std::ptrdiff_t>(*k);
            r.x.erase(r.x.begin() + at);
            r.y.erase(r.y.begin() + at);
            for (Values& v : r.associated_values) {
                v.erase(v.begin() + at);
            }
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Path2D path = in.path(300);
    path.path_length_per_point();  // the repair must not carry it over
    const double sus_angle = in.flag() ? in.number() : static_cast<double>(in.byte()) / 64.0;

    const auto flagged = detect_corrupted_point_order(path, sus_angle);
    FUZZ_CHECK(flagged == reference_detect(path.points().to_points(), sus_angle));

    const Path2D repaired = repair_corrupted_point_order(path, sus_angle);
    const Path2D expected = reference_repair(path, sus_angle);
    fuzz::check_record(repaired);
    FUZZ_CHECK(fuzz::same_bits(repaired.points(), expected.points()));
    FUZZ_CHECK(fuzz::same_bits(repaired.x, expected.x) && fuzz::same_bits(repaired.y, expected.y));
    FUZZ_CHECK(repaired.associated_values.size() == expected.associated_values.size());
    for (std::size_t h = 0; h < expected.associated_values.size(); ++h) {
        FUZZ_CHECK(fuzz::same_bits(repaired.associated_values[h], expected.associated_values[h]));
    }
    FUZZ_CHECK(!repaired.path_length_per_point_cell.filled());
    FUZZ_CHECK(detect_corrupted_point_order(repaired, sus_angle).empty());
    return 0;
}
