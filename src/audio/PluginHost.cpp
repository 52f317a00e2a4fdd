// The plug-in registry: loading LADSPA libraries and listing their plug-ins.
#include "audio/PluginHost.h"

#include "audio/DescribedPlugin.h"
#include "audio/LadspaLibrary.h"
#include "audio/LadspaPlugin.h"

namespace audio {

namespace {
/// A library whose descriptor list never ends must not hang start-up.
constexpr unsigned long kMaxDescriptorsPerLibrary = 4096;
}  // namespace

struct PluginHost::Impl {
    struct Entry {
        std::unique_ptr<DspPlugin> plugin;  ///< a loaded one holds its library open
        std::string libraryPath;
        unsigned long descriptorIndex = 0;
    };
    /// In load order.
    std::vector<Entry> plugins;
};

PluginHost::PluginHost() : impl_(std::make_unique<Impl>()) {}

PluginHost::~PluginHost() = default;

bool PluginHost::load(const std::string& path, int sampleRate) {
    std::shared_ptr<const LadspaLibrary> library = LadspaLibrary::open(path);
    if (library == nullptr) {
        return false;
    }
    std::vector<std::unique_ptr<DspPlugin>> found;
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
    for (std::size_t index = 0; index < found.size(); ++index) {
        impl_->plugins.push_back({std::move(found[index]), path, index});
    }
    return true;
}

bool PluginHost::addDescribed(const std::string& path, std::vector<PluginDescription> descriptions, int sampleRate) {
    if (descriptions.empty() || descriptions.size() > kMaxDescriptorsPerLibrary) return false;
    for (std::size_t index = 0; index < descriptions.size(); ++index) {
        impl_->plugins.push_back(
            {std::make_unique<DescribedPlugin>(std::move(descriptions[index]), sampleRate), path, index});
    }
    return true;
}

const std::string& PluginHost::libraryPath(int index) const {
    return impl_->plugins.at(static_cast<std::size_t>(index)).libraryPath;
}

unsigned long PluginHost::descriptorIndex(int index) const {
    return impl_->plugins.at(static_cast<std::size_t>(index)).descriptorIndex;
}

int PluginHost::numPlugins() const { return static_cast<int>(impl_->plugins.size()); }

const DspPlugin& PluginHost::plugin(int index) const {
    return *impl_->plugins.at(static_cast<std::size_t>(index)).plugin;
}

}  // namespace audio
