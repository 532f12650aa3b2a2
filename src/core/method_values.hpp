// The values that choose how an operation works: how a path is resampled,
// how samples are interpolated, how elastic band smoothing bounds deviation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wayforge {

struct ResamplingMethod {
    enum class Tag : std::uint8_t { ByNumberPoints = 0, BySamplingDistance = 1 };
    Tag tag = Tag::ByNumberPoints;
    std::size_t number_points = 0;   // ByNumberPoints
    double sampling_distance = 0.0;  // BySamplingDistance
    bool drop_last = true;           // BySamplingDistance

    static ResamplingMethod by_number_points(std::size_t n) {
        return {Tag::ByNumberPoints, n, 0.0, true};
    }
    static ResamplingMethod by_sampling_distance(double d, bool drop_last) {
        return {Tag::BySamplingDistance, 0, d, drop_last};
    }
};

enum class InterpolationMethod : std::uint8_t { Cubic = 0, Linear = 1 };

enum class ElasticBandMethod : std::uint8_t { SquareBounds = 0, OrthogonalBounds = 1 };

}  // namespace wayforge
