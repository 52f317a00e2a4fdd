// Flushing denormal floats to zero on the mixing thread.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include <cstdint>

namespace audio {

/// While it lives, denormal results and inputs count as zero on this thread,
/// and the previous mode comes back when it goes. A feedback effect (a reverb
/// ringing out, a filter fed silence) otherwise spends most of its time in
/// denormals, which cost up to a hundred times more per operation on many
/// processors. Mixing-thread use: cheap enough for every render call.
class FlushDenormals {
public:
    FlushDenormals() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        const unsigned int mode = _mm_getcsr();
        saved_ = mode;
        _mm_setcsr(mode | kFlushToZero | kDenormalsAreZero);
#elif defined(__aarch64__)
        std::uint64_t fpcr;
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
        saved_ = fpcr;
        fpcr |= kFlushToZero;
        __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#endif
    }
    ~FlushDenormals() {
#if defined(__x86_64__) || defined(__i386__)
        _mm_setcsr(static_cast<unsigned int>(saved_));
#elif defined(__aarch64__)
        __asm__ __volatile__("msr fpcr, %0" : : "r"(saved_));
#endif
    }
    FlushDenormals(const FlushDenormals&) = delete;
    FlushDenormals& operator=(const FlushDenormals&) = delete;

private:
#if defined(__x86_64__) || defined(__i386__)
    static constexpr unsigned int kFlushToZero = 0x8000;       // MXCSR.FTZ
    static constexpr unsigned int kDenormalsAreZero = 0x0040;  // MXCSR.DAZ
#elif defined(__aarch64__)
    static constexpr std::uint64_t kFlushToZero = 1ull << 24;  // FPCR.FZ
#endif
    std::uint64_t saved_ = 0;
};

}  // namespace audio
