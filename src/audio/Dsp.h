// One effect instance made from a DSP plug-in.
#pragma once

#include "audio/Types.h"

#include <cstdint>

namespace audio {

class System;

/// An effect made from a plug-in. It processes the submix of the group it is
/// attached to; it can be removed and added again later. Added again after a
/// removal (or after its group was released) it starts afresh, with its
/// parameters, and plays out nothing it held; moved straight from one group
/// to another it carries on. Destroying it detaches it and frees the plug-in
/// instances. Main thread only.
class Dsp {
public:
    Dsp(System& system, std::uint32_t id) : system_(system), id_(id) {}
    ~Dsp();
    Dsp(const Dsp&) = delete;
    Dsp& operator=(const Dsp&) = delete;

    /// The plug-in's control inputs, in port order.
    int numParameters() const;
    DspParameterInfo parameterInfo(int index) const;
    /// Out-of-range indices are ignored. Values are used as given.
    void setParameter(int index, float value);
    float parameter(int index) const;
    /// Detaches from its group, if any.
    void remove();

    std::uint32_t id() const { return id_; }

private:
    System& system_;
    std::uint32_t id_;
};

}  // namespace audio
