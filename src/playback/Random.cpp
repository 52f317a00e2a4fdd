// Uniform draws from the shared taus88 generator, and how a seed is chosen.
#include "playback/Random.h"

#include <boost/random/uniform_int_distribution.hpp>

#include <random>

namespace gloam {

std::int32_t Random::randomInt(std::int32_t n) {
    if (n <= 0) return 0;
    boost::random::uniform_int_distribution<std::int32_t> distribution(0, n);
    return distribution(generator_);
}

void Random::seed(std::uint32_t seed) { generator_.seed(seed); }

std::optional<SeedRequest> parseSeed(std::string_view text) {
    if (text == "random") return SeedRequest{};
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return SeedRequest{static_cast<std::uint32_t>(value)};
}

std::uint32_t resolveSeed(const SeedRequest& request) {
    if (request.value) return *request.value;
    std::random_device entropy;
    return static_cast<std::uint32_t>(entropy());
}

}  // namespace gloam
