// Reading a timeline picture back the way any XML reader would.
#pragma once

#include <tinyxml2.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

/// A parsed gloam-render --timeline picture: its lanes by path, its markers,
/// and the time scale read off its axis labels (so positions are checked
/// against the labels a reader sees, not against the drawing code).
class TimelineSvg {
public:
    struct Marker {
        double x;
        std::string label;  ///< empty when the label was left out for lack of room
        std::string title;
    };

    /// Parses `svg`; on failure returns null with `error` set (the parser's
    /// message, or what the picture lacks).
    static std::unique_ptr<TimelineSvg> parse(const std::string& svg, std::string& error);

    /// The x of a moment, by the axis.
    double x(double ms) const { return zeroX_ + ms * pixelsPerMs_; }
    double pixelsPerMs() const { return pixelsPerMs_; }
    /// Lane paths ("0/2/1") in the order drawn.
    const std::vector<std::string>& lanePaths() const { return lanePaths_; }
    bool hasLane(const std::string& path) const { return lanes_.count(path) != 0; }
    /// The `d` of the lane's shape of class `kind` ("p" playing, "w" waiting,
    /// "c" closing); empty when it has none.
    std::string shape(const std::string& path, const char* kind) const;
    const std::vector<Marker>& keys() const { return keys_; }
    const std::vector<Marker>& scenes() const { return scenes_; }

    /// The numbers of a path's `d`, in order, its commands dropped.
    static std::vector<double> numbers(const std::string& d);

private:
    tinyxml2::XMLDocument document_;
    std::map<std::string, const tinyxml2::XMLElement*> lanes_;
    std::vector<std::string> lanePaths_;
    std::vector<Marker> keys_;
    std::vector<Marker> scenes_;
    double zeroX_ = 0.0;
    double pixelsPerMs_ = 0.0;
};

}  // namespace testsupport
