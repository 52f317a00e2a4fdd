// Working inside another folder for a while.
#pragma once

#include <filesystem>
#include <system_error>

namespace platform {

/// Makes `directory` the working directory while it lives and goes back to
/// the previous one on the way out, however that is left. The constructor
/// throws std::filesystem::filesystem_error when the folder cannot be entered.
/// Main thread only: the working directory belongs to the whole process.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& directory) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace platform
