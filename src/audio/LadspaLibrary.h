// An open LADSPA shared library: the dlopen handle and its descriptor list.
#pragma once

#include <ladspa.h>

#include <memory>
#include <string>

namespace audio {

/// Owns one dlopen handle; the library stays mapped (and every descriptor
/// and function pointer taken from it valid) until the last owner lets go.
/// Shared by the plug-ins and processors made from it, so a processor never
/// outlives the code it calls. Main thread only (open and close).
class LadspaLibrary {
public:
    /// Opens `path` with RTLD_NOW | RTLD_LOCAL. Null, with nothing kept open and
    /// nothing printed, when the file is not a regular file (a pipe or device
    /// is refused without waiting), not a whole shared object of this
    /// machine (a truncated copy is never mapped), not loadable, or exports
    /// no `ladspa_descriptor` function.
    static std::shared_ptr<const LadspaLibrary> open(const std::string& path);

    /// Whether `path` is a regular file holding a whole shared object of this
    /// machine, judged from its headers alone: nothing is mapped or run.
    static bool looksLoadable(const std::string& path);

    struct Key;  ///< only open() can make one
    LadspaLibrary(const Key&, void* handle, LADSPA_Descriptor_Function descriptorFunction);
    ~LadspaLibrary();
    LadspaLibrary(const LadspaLibrary&) = delete;
    LadspaLibrary& operator=(const LadspaLibrary&) = delete;

    /// The descriptor at `index`, or null past the last one.
    const LADSPA_Descriptor* descriptor(unsigned long index) const;

private:
    void* handle_;
    LADSPA_Descriptor_Function descriptorFunction_;
};

}  // namespace audio
