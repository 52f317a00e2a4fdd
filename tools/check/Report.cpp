// Text and JSON forms of the findings, and the summary.
#include "Report.h"

#include <cstdio>
#include <vector>

namespace gloam::check {

namespace {

/// Text from adventure files reaches the terminal with its control
/// characters shown as escapes, never executed.
std::string visible(const std::string& text) {
    std::string result;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result;
}

std::string jsonString(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': result += "\\\""; break;
            case '\\': result += "\\\\"; break;
            case '\n': result += "\\n"; break;
            case '\t': result += "\\t"; break;
            case '\r': result += "\\r"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                    result += escaped;
                } else {
                    result += c;
                }
        }
    }
    return result + "\"";
}

std::string counted(std::size_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace

void writeText(const std::vector<Finding>& findings, std::ostream& out) {
    for (const Finding& finding : findings) {
        out << visible(finding.file) << ':';
        if (finding.at.line > 0) out << finding.at.line << ':' << finding.at.column << ':';
        out << ' ' << severityName(finding.severity) << ": " << visible(finding.message) << '\n';
    }
}

void writeJson(const std::vector<Finding>& findings, std::ostream& out) {
    out << '[';
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const Finding& finding = findings[i];
        out << (i == 0 ? "\n" : ",\n") << "  {\"file\": " << jsonString(finding.file)
            << ", \"line\": " << finding.at.line << ", \"column\": " << finding.at.column
            << ", \"severity\": \"" << severityName(finding.severity) << "\", \"code\": " << jsonString(finding.code)
            << ", \"message\": " << jsonString(finding.message) << '}';
    }
    out << (findings.empty() ? "]\n" : "\n]\n");
}

std::string summaryLine(const Summary& summary) {
    std::string line = counted(summary.adventures, "adventure", "adventures") + " checked: ";
    if (summary.errors == 0 && summary.warnings == 0) {
        line += "no problems";
    } else {
        std::vector<std::string> parts;
        if (summary.errors > 0) parts.push_back(counted(summary.errors, "error", "errors"));
        if (summary.warnings > 0) parts.push_back(counted(summary.warnings, "warning", "warnings"));
        for (std::size_t i = 0; i < parts.size(); ++i) line += (i > 0 ? ", " : "") + parts[i];
    }
    if (summary.notes > 0) line += ", " + counted(summary.notes, "note", "notes");
    // Where several were checked, how many of them the findings concern.
    if (summary.adventures > 1 && summary.adventuresWithFindings > 0) {
        line += " (in " + std::to_string(summary.adventuresWithFindings) + " of them)";
    }
    return line;
}

}  // namespace gloam::check
