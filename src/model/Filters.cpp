// Turning "filter" elements into configured effects.
#include "model/Filters.h"

#include "audio/Dsp.h"
#include "audio/MixTypes.h"
#include "audio/System.h"
#include "model/Diagnostics.h"
#include "model/XmlValues.h"

#include <tinyxml2.h>

#include <string>

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
        auto dsp = system.createDspByPlugin(plugin);
        if (!dsp) {
            tell(*filter, FilterOutcome::NoInstance, 0);
            continue;
        }

        // Parameters come from the attributes after the first, by position;
        // their names do not matter.
        const int numParameters = dsp->numParameters();
        const tinyxml2::XMLAttribute* attribute = filter->FirstAttribute();
        if (attribute != nullptr) attribute = attribute->Next();
        for (int index = 0; attribute != nullptr && index < numParameters;
             attribute = attribute->Next(), ++index) {
            const audio::DspParameterInfo info = dsp->parameterInfo(index);
            float value = parseParameter(attribute->Value());
            if (diagnostics != nullptr) diagnostics->filterParameterRead(*filter, *attribute, index, value, info);
            if (value < info.min) value = info.min;
            if (value > info.max) value = info.max;
            dsp->setParameter(index, value);
        }
        tell(*filter, FilterOutcome::Made, numParameters);
        filters.push_back(std::move(dsp));
    }
}

}  // namespace gloam
