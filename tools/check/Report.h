// Writing findings for people and editors (text) or for scripts (JSON).
#pragma once

#include "Finding.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace gloam::check {

/// What a run found, for its last line.
struct Summary {
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t notes = 0;
    std::size_t adventuresWithFindings = 0;
    std::size_t adventures = 0;
};

/// One line a finding, "FILE:LINE:COLUMN: severity: message" ("FILE: severity:
/// message" for the whole file), with control characters made visible.
void writeText(const std::vector<Finding>& findings, std::ostream& out);
/// A JSON array of objects with file, line, column, severity, code, message.
void writeJson(const std::vector<Finding>& findings, std::ostream& out);
/// A sentence: "1 adventure checked: no problems", "1 adventure checked: 2
/// errors, 1 warning", "4 adventures checked: 1 warning, 2 notes (in 2 of
/// them)". Errors and warnings are problems; notes are named when there are any.
std::string summaryLine(const Summary& summary);

}  // namespace gloam::check
