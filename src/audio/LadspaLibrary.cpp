// Opening and closing LADSPA shared libraries.
#include "audio/LadspaLibrary.h"

#include <dlfcn.h>

namespace audio {

struct LadspaLibrary::Key {};

std::shared_ptr<const LadspaLibrary> LadspaLibrary::open(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        ::dlerror();  // dlopen reports by return value and dlerror only; drop the message
        return nullptr;
    }
    void* symbol = ::dlsym(handle, "ladspa_descriptor");
    if (symbol == nullptr) {
        ::dlerror();
        ::dlclose(handle);
        return nullptr;
    }
    // POSIX guarantees that a dlsym result converts to a function pointer.
    auto function = reinterpret_cast<LADSPA_Descriptor_Function>(symbol);
    return std::make_shared<const LadspaLibrary>(Key{}, handle, function);
}

LadspaLibrary::LadspaLibrary(const Key&, void* handle, LADSPA_Descriptor_Function descriptorFunction)
    : handle_(handle), descriptorFunction_(descriptorFunction) {}

LadspaLibrary::~LadspaLibrary() { ::dlclose(handle_); }

const LADSPA_Descriptor* LadspaLibrary::descriptor(unsigned long index) const {
    return descriptorFunction_(index);
}

}  // namespace audio
