// One thing the checker has to say about an adventure, and where.
#pragma once

#include <string>

namespace gloam::check {

/// error: something will not sound or act; warning: a value the player reads
/// otherwise than its author probably meant; note: how something resolves.
enum class Severity { Error, Warning, Note };

inline const char* severityName(Severity severity) {
    switch (severity) {
        case Severity::Error: return "error";
        case Severity::Warning: return "warning";
        case Severity::Note: return "note";
    }
    return "?";
}

/// Line and column count from 1, columns in characters; line 0 means the
/// file as a whole.
struct Position {
    int line = 0;
    int column = 0;
};

struct Finding {
    std::string file;
    Position at;
    Severity severity = Severity::Error;
    std::string code;     ///< stable and short, for scripts: "sound-not-found"
    std::string message;
};

}  // namespace gloam::check
