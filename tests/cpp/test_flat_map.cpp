#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "check.hpp"
#include "qp/flat_map.hpp"

using namespace wayforge::qp;

namespace {

// Sends every key to the same slot, so that every lookup probes past the
// others: the worst case of linear probing, still correct.
struct CollidingHash {
    std::size_t operator()(std::size_t) const noexcept { return 7; }
};

struct Identity {
    std::size_t operator()(std::size_t k) const noexcept { return k; }
};

template <class Map>
bool same(const Map& map, const std::map<std::size_t, double>& expected) {
    if (map.size() != expected.size()) return false;
    std::map<std::size_t, double> seen;
    for (const auto& [k, v] : map) {
        if (!seen.emplace(k, v).second) return false;  // a key twice
    }
    if (seen != expected) return false;
    for (const auto& [k, v] : expected) {
        const auto it = map.find(k);
        if (it == map.end() || it->first != k || it->second != v) return false;
    }
    return true;
}

// Runs random insertions and updates against std::map, checking the contents
// at sizes around the inline room, the linear-search limit and index growth.
template <class Map>
void differential(std::uint32_t seed, std::size_t key_range, std::size_t steps) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> key(0, key_range - 1);
    Map map;
    std::map<std::size_t, double> expected;
    for (std::size_t step = 0; step < steps; ++step) {
        // Strided keys share their low bits.
        const std::size_t k = key(rng) * 64;
        const double v = static_cast<double>(step);
        auto [it, inserted] = map.try_emplace(k, v);
        CHECK_EQ(inserted, expected.count(k) == 0);
        if (inserted) {
            expected.emplace(k, v);
        } else {
            it->second = it->second + v;
            expected[k] = expected[k] + v;
        }
        CHECK(map.find(k + 1) == map.end());
        if (step % 97 == 0 || step < 40) CHECK(same(map, expected));
    }
    CHECK(same(map, expected));
}

using Small = FlatMap<std::size_t, double, Identity, 3>;

}  // namespace

TEST(flat_map_matches_std_map_through_growth) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        differential<Small>(seed, 5, 50);        // stays small: inline and linear
        differential<Small>(seed, 40, 400);      // crosses into an index
        differential<Small>(seed, 5000, 6000);   // index rebuilt several times
        differential<FlatMap<std::size_t, double, CollidingHash, 2>>(seed, 60, 300);
    }
}

TEST(flat_map_insertion_keeps_first_value_and_order) {
    Small map;
    CHECK(map.empty());
    CHECK(map.find(3) == map.end());
    std::vector<std::size_t> keys;
    for (std::size_t k = 0; k < 20; ++k) {
        const std::size_t key = (k * 7) % 20;
        CHECK(map.try_emplace(key, static_cast<double>(k)).second);
        keys.push_back(key);
        // An existing key is found, not overwritten.
        const auto [it, inserted] = map.try_emplace(key, -1.0);
        CHECK(!inserted);
        CHECK_EQ(it->second, static_cast<double>(k));
    }
    std::size_t at = 0;
    for (const auto& entry : map) CHECK_EQ(entry.first, keys[at++]);
    CHECK_EQ(at, 20u);
}

TEST(flat_map_copy_move_and_reserve) {
    for (std::size_t count : {0u, 2u, 3u, 4u, 9u, 100u}) {
        Small a;
        std::map<std::size_t, double> expected;
        for (std::size_t k = 0; k < count; ++k) {
            a.try_emplace(k * 16, 0.5 * static_cast<double>(k));
            expected.emplace(k * 16, 0.5 * static_cast<double>(k));
        }
        Small copy(a);
        CHECK(same(copy, expected));
        CHECK(same(a, expected));
        copy.try_emplace(1, 1.0);  // the copy is independent
        CHECK(a.find(1) == a.end());

        Small moved(std::move(copy));
        CHECK(moved.find(1) != moved.end());
        CHECK(copy.empty());  // NOLINT: a moved-from map is empty and usable
        copy.try_emplace(5, 5.0);
        CHECK_EQ(copy.find(5)->second, 5.0);

        Small assigned;
        assigned.try_emplace(99, 9.0);
        assigned = a;
        CHECK(same(assigned, expected));
        assigned = std::move(moved);
        CHECK_EQ(assigned.size(), count + 1);
        assigned = assigned;  // NOLINT: self-assignment keeps the contents
        CHECK_EQ(assigned.size(), count + 1);

        // Reserving keeps the contents, also when it builds an index early.
        Small reserved(a);
        reserved.reserve(1000);
        CHECK(same(reserved, expected));
        Small reserved_copy(reserved);
        CHECK(same(reserved_copy, expected));
        for (std::size_t k = 0; k < 50; ++k) reserved_copy.try_emplace(7 + 16 * k, 1.0);
        CHECK_EQ(reserved_copy.size(), count + 50);
    }
}
