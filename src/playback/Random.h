// The one random generator behind every variance and choice.
#pragma once

#include <boost/random/taus88.hpp>

#include <cstdint>

namespace gloam {

/// Never seeded from anything: every run draws the same sequence.
class Random {
public:
    /// A uniform whole number in [0, n]. n = 0 returns 0 and draws nothing; a
    /// negative n (a negative variance) also draws nothing and gives 0.
    std::int32_t randomInt(std::int32_t n);

private:
    boost::random::taus88 generator_;
};

}  // namespace gloam
