// The decoder thread that keeps compressed samples and streams ahead of the mixer.
#pragma once

#include <memory>

namespace audio {

/// Owns the decoder thread. Readers of compressed samples and streams register
/// with it and are refilled here, so the audio thread never decodes or touches
/// the disk. Constructed and destroyed on the main thread.
class DecodeWorker {
public:
    DecodeWorker();
    ~DecodeWorker();  ///< joins the thread
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace audio
