// The one random generator behind every variance and choice.
#pragma once

#include <boost/random/taus88.hpp>

#include <cstdint>
#include <optional>
#include <string_view>

namespace gloam {

/// Unless seed() is called, never seeded from anything: every run draws the
/// same sequence.
class Random {
public:
    /// A uniform whole number in [0, n]. n = 0 returns 0 and draws nothing; a
    /// negative n (a negative variance) also draws nothing and gives 0.
    std::int32_t randomInt(std::int32_t n);

    /// Starts the sequence afresh from `seed`: the same seed gives the same
    /// sequence on every run and machine. Main thread only.
    void seed(std::uint32_t seed);

private:
    boost::random::taus88 generator_;
};

/// What a --seed option asks for: a number, or one picked from the system.
struct SeedRequest {
    std::optional<std::uint32_t> value;  ///< none: pick one (`random`)
};

/// Reads the value of --seed: plain digits from 0 to 4294967295, or the word
/// `random`. None for anything else.
std::optional<SeedRequest> parseSeed(std::string_view text);

/// The seed a request stands for: its number, or one from the system's
/// entropy source for `random`.
std::uint32_t resolveSeed(const SeedRequest& request);

}  // namespace gloam
