// The plug-in registry: loading LADSPA libraries and listing their plug-ins.
#include "audio/PluginHost.h"

#include "audio/LadspaLibrary.h"
#include "audio/LadspaPlugin.h"

namespace audio {

namespace {
/// A library whose descriptor list never ends must not hang start-up.
constexpr unsigned long kMaxDescriptorsPerLibrary = 4096;
}  // namespace

struct PluginHost::Impl {
    /// Each plug-in holds its library open; the list is in load order.
    std::vector<std::unique_ptr<LadspaPlugin>> plugins;
};

PluginHost::PluginHost() : impl_(std::make_unique<Impl>()) {}

PluginHost::~PluginHost() = default;

bool PluginHost::load(const std::string& path, int sampleRate) {
    std::shared_ptr<const LadspaLibrary> library = LadspaLibrary::open(path);
    if (library == nullptr) {
        return false;
    }
    std::vector<std::unique_ptr<LadspaPlugin>> found;
    for (unsigned long index = 0; index < kMaxDescriptorsPerLibrary; ++index) {
        const LADSPA_Descriptor* descriptor = library->descriptor(index);
        if (descriptor == nullptr) {
            break;
        }
        found.push_back(std::make_unique<LadspaPlugin>(library, *descriptor, sampleRate));
    }
    if (found.empty()) {
        return false;  // `library` closes on return
    }
    for (std::unique_ptr<LadspaPlugin>& plugin : found) {
        impl_->plugins.push_back(std::move(plugin));
    }
    return true;
}

int PluginHost::numPlugins() const { return static_cast<int>(impl_->plugins.size()); }

const DspPlugin& PluginHost::plugin(int index) const {
    return *impl_->plugins.at(static_cast<std::size_t>(index));
}

}  // namespace audio
