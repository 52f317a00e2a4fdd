// Turning "filter" elements into configured effects.
#include "model/Filters.h"

#include "audio/Dsp.h"
#include "audio/MixTypes.h"
#include "audio/System.h"
#include "model/Diagnostics.h"
#include "model/XmlValues.h"

#include <tinyxml2.h>

#include <string>
#include <vector>

namespace gloam {

namespace {

int findPlugin(audio::System& system, const char* name) {
    const int count = system.numDspPlugins();
    for (int index = 0; index < count; ++index) {
        if (system.dspPluginName(index) == name) return index;
    }
    return -1;
}

}  // namespace

void readFilters(audio::System& system, const tinyxml2::XMLElement& element,
                 std::vector<std::unique_ptr<audio::Dsp>>& filters, Diagnostics* diagnostics) {
    const auto tell = [diagnostics](const tinyxml2::XMLElement& filter, FilterOutcome outcome, int numParameters) {
        if (diagnostics != nullptr) diagnostics->filterRead(filter, outcome, numParameters);
    };
    for (const tinyxml2::XMLElement* filter = element.FirstChildElement("filter"); filter != nullptr;
         filter = filter->NextSiblingElement("filter")) {
        // A group runs at most kMaxDspsPerGroup effects, so only that many are
        // made: the first usable ones in document order, which is also the
        // order they run in. Later filters are ignored like unknown ones;
        // making them anyway cost an instance each (hundreds of reverbs,
        // hundreds of MB).
        if (filters.size() >= static_cast<std::size_t>(audio::kMaxDspsPerGroup)) {
            if (diagnostics == nullptr) break;
            tell(*filter, FilterOutcome::BeyondLimit, 0);
            continue;
        }
        const char* name = filter->Attribute("name");
        if (name == nullptr) {
            tell(*filter, FilterOutcome::NoName, 0);
            continue;
        }
        const int plugin = findPlugin(system, name);
        if (plugin < 0) {
            tell(*filter, FilterOutcome::UnknownPlugin, 0);
            continue;
        }
        // Parameters come from the attributes after the first, by position;
        // their names do not matter.
        const std::vector<audio::DspParameterInfo> infos = system.dspPluginParameters(plugin);
        const int numParameters = static_cast<int>(infos.size());
        std::vector<float> values;
        for (const audio::DspParameterInfo& info : infos) values.push_back(info.defaultValue);
        const tinyxml2::XMLAttribute* attribute = filter->FirstAttribute();
        if (attribute != nullptr) attribute = attribute->Next();
        int numGiven = 0;
        for (; attribute != nullptr && numGiven < numParameters; attribute = attribute->Next(), ++numGiven) {
            const audio::DspParameterInfo& info = infos[static_cast<std::size_t>(numGiven)];
            float value = parseParameter(attribute->Value());
            if (diagnostics != nullptr) diagnostics->filterParameterRead(*filter, *attribute, numGiven, value, info);
            if (value < info.min) value = info.min;
            if (value > info.max) value = info.max;
            values[static_cast<std::size_t>(numGiven)] = value;
        }
        // A plug-in may crash or hang on values it declares valid; it is
        // tried with these first, away from the player.
        if (!system.dspRunsWith(plugin, values)) {
            tell(*filter, FilterOutcome::Fails, numParameters);
            continue;
        }
        auto dsp = system.createDspByPlugin(plugin);
        if (!dsp) {
            tell(*filter, FilterOutcome::NoInstance, 0);
            continue;
        }
        for (int index = 0; index < numGiven; ++index) dsp->setParameter(index, values[static_cast<std::size_t>(index)]);
        tell(*filter, FilterOutcome::Made, numParameters);
        filters.push_back(std::move(dsp));
    }
}

}  // namespace gloam
