// A timeline picture read back: axis, lanes and markers.
#include "TimelineSvg.h"

#include <cstdlib>
#include <utility>

namespace testsupport {

namespace {

/// "0:30" or "1:00:00" in milliseconds.
double clockMs(const std::string& text) {
    double ms = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t colon = std::min(text.find(':', start), text.size());
        ms = ms * 60 + std::atof(text.substr(start, colon - start).c_str());
        start = colon + 1;
    }
    return ms * 1000;
}

std::string textOf(const tinyxml2::XMLElement* element) {
    return element != nullptr && element->GetText() != nullptr ? element->GetText() : "";
}

}  // namespace

std::unique_ptr<TimelineSvg> TimelineSvg::parse(const std::string& svg, std::string& error) {
    auto picture = std::unique_ptr<TimelineSvg>(new TimelineSvg);
    if (picture->document_.Parse(svg.c_str(), svg.size()) != tinyxml2::XML_SUCCESS) {
        error = picture->document_.ErrorStr();
        return nullptr;
    }
    const tinyxml2::XMLElement* root = picture->document_.RootElement();
    if (root == nullptr || std::string(root->Name()) != "svg") {
        error = "the root element is not svg";
        return nullptr;
    }
    std::vector<std::pair<double, double>> ticks;  // ms, x
    for (auto* group = root->FirstChildElement("g"); group; group = group->NextSiblingElement("g")) {
        const std::string kind = group->Attribute("class") != nullptr ? group->Attribute("class") : "";
        if (kind == "axis") {
            for (auto* label = group->FirstChildElement("text"); label; label = label->NextSiblingElement("text")) {
                ticks.emplace_back(clockMs(textOf(label)), label->DoubleAttribute("x"));
            }
        } else if (kind == "lane") {
            const tinyxml2::XMLElement* name = group->FirstChildElement("text");
            const std::string path = textOf(name != nullptr ? name->FirstChildElement("tspan") : nullptr);
            picture->lanes_[path] = group;
            picture->lanePaths_.push_back(path);
        } else if (kind == "k" || kind == "s") {
            const tinyxml2::XMLElement* line = group->FirstChildElement("line");
            Marker marker{line != nullptr ? line->DoubleAttribute("x1") : -1.0, textOf(group->FirstChildElement("text")),
                          textOf(group->FirstChildElement("title"))};
            (kind == "k" ? picture->keys_ : picture->scenes_).push_back(std::move(marker));
        }
    }
    if (ticks.size() < 2 || ticks.back().first <= ticks.front().first) {
        error = "the time axis has fewer than two labels";
        return nullptr;
    }
    picture->pixelsPerMs_ = (ticks.back().second - ticks.front().second) / (ticks.back().first - ticks.front().first);
    picture->zeroX_ = ticks.front().second - ticks.front().first * picture->pixelsPerMs_;
    return picture;
}

std::string TimelineSvg::shape(const std::string& path, const char* kind) const {
    const auto lane = lanes_.find(path);
    if (lane == lanes_.end()) return {};
    for (auto* shape = lane->second->FirstChildElement("path"); shape; shape = shape->NextSiblingElement("path")) {
        const char* shapeClass = shape->Attribute("class");
        if (shapeClass != nullptr && std::string(shapeClass) == kind && shape->Attribute("d") != nullptr) {
            return shape->Attribute("d");
        }
    }
    return {};
}

std::vector<double> TimelineSvg::numbers(const std::string& d) {
    std::vector<double> values;
    const char* at = d.c_str();
    while (*at != '\0') {
        char* end = nullptr;
        const double value = std::strtod(at, &end);
        if (end == at) {
            ++at;
            continue;
        }
        values.push_back(value);
        at = end;
    }
    return values;
}

}  // namespace testsupport
