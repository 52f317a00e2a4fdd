// The line on a terminal that shows how far a long render has come.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace gloam::render {

/// While `fd` is a terminal, keeps one line on it, rewritten in place five
/// times a second from the first fifth of a second on: the time rendered out of the total, the speed as a
/// multiple of real time, and the time left at that speed. When `fd` is not
/// a terminal (a file, a pipe) it writes nothing at all. Writes go straight
/// to the descriptor; a failed write is ignored, as the line is only a
/// courtesy. Main thread only.
class Progress {
public:
    Progress(int fd, std::int32_t totalMs);
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// Called after every main-loop pass with the program time reached.
    void update(std::int32_t renderedMs);
    /// Removes the line, so that what follows starts on a clean one.
    void clear();

private:
    void show(std::string_view text) const;

    int fd_;
    std::int32_t totalMs_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point nextUpdate_;
};

}  // namespace gloam::render
