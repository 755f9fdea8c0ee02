#pragma once
// The instances the descent benchmark times: random ones with one window per
// location, multi-day delivery rounds with several windows and daily hours,
// and the classic Dumas files modelled for `solve`.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "raw_input.hpp"

namespace tourloom::bench {

struct Instance {
    std::string name;
    RawInput input;  // distances as rows; the time limit is chosen per run

    const RawMatrix& distances() const { return std::get<RawMatrix>(input.distance_matrix); }
};

// Random points in a 10 km square, Euclidean metres. With `with_time`: travel
// at 10 m/s, 5–15 minutes of work, hours 07:00–19:00, and one window per
// location around the moment a hidden random tour serves it, so that tours
// without lateness exist.
Instance random_instance(std::size_t n, bool with_time, std::uint64_t seed);

// A delivery round over several days: road distances (asymmetric, 1.2–1.6
// times the straight line in a 30 km square), travel at 40 km/h, 5 minutes to
// 2 hours of work, hours 08:00–18:00, and per site 1–3 windows of 1–3 hours
// on different half-days of a horizon long enough for the work.
Instance delivery_instance(std::size_t n, std::uint64_t seed);

// A classic file (n, the n × n travel times with service included, n lines
// `ready due`), modelled with k = 1000 seconds per unit from Unix time B:
// travel k·t − 1 s, one second of work, windows [B + k·ready, B + k·due + k]
// and [B, B + 1] for the depot. nullopt when the file cannot be read.
std::optional<Instance> classic_instance(const std::string& path);

}  // namespace tourloom::bench
