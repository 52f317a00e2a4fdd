// Uniform draws from the shared taus88 generator.
#include "playback/Random.h"

#include <boost/random/uniform_int_distribution.hpp>

namespace gloam {

std::int32_t Random::randomInt(std::int32_t n) {
    if (n <= 0) return 0;
    boost::random::uniform_int_distribution<std::int32_t> distribution(0, n);
    return distribution(generator_);
}

}  // namespace gloam
