// Float WAV output through libsndfile.
#include "WavWriter.h"

#include <sndfile.h>

namespace gloam::render {

void WavWriter::SndfileCloser::operator()(void* file) const { sf_close(static_cast<SNDFILE*>(file)); }

WavWriter::WavWriter(const std::string& path, int sampleRate, int channels, double expectedSeconds) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    const double expectedBytes = expectedSeconds * sampleRate * channels * 4.0;
    const int container = expectedBytes > 4.0e9 ? SF_FORMAT_RF64 : SF_FORMAT_WAV;
    info.format = container | SF_FORMAT_FLOAT;
    file_.reset(sf_open(path.c_str(), SFM_WRITE, &info));
}

WavWriter::~WavWriter() = default;

bool WavWriter::write(const float* interleaved, std::size_t numFrames) {
    auto* file = static_cast<SNDFILE*>(file_.get());
    const auto frames = static_cast<sf_count_t>(numFrames);
    return sf_writef_float(file, interleaved, frames) == frames;
}

std::string WavWriter::error() const { return sf_strerror(static_cast<SNDFILE*>(file_.get())); }

}  // namespace gloam::render
