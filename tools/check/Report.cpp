// Text and JSON forms of the findings, and the summary.
#include "Report.h"

#include "platform/TerminalText.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace gloam::check {

namespace {

/// Text from adventure files reaches the terminal with what the player would
/// not show as it is (control characters, C1 controls included, and bytes
/// that are not well-formed UTF-8) written as escapes, one "\\xHH" a byte,
/// never executed.
std::string visible(const std::string& text) {
    std::string result;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view rest = std::string_view(text).substr(at);
        const std::size_t length = platform::utf8CharacterLength(rest);
        if (length > 0 && !platform::isControlCharacter(rest.substr(0, length))) {
            result.append(rest.substr(0, length));
            at += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(rest[0]));
        result += escaped;
        ++at;
    }
    return result;
}

/// A JSON string for any bytes: control characters (C1 included) as
/// "\\u00XX", bytes that are not well-formed UTF-8 as U+FFFD, so that every
/// JSON reader takes the report.
std::string jsonString(const std::string& text) {
    std::string result = "\"";
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view rest = std::string_view(text).substr(at);
        const std::size_t length = platform::utf8CharacterLength(rest);
        if (length == 0) {
            result += "\\uFFFD";
            ++at;
            continue;
        }
        const std::string_view character = rest.substr(0, length);
        at += length;
        switch (character[0]) {
            case '"': result += "\\\""; continue;
            case '\\': result += "\\\\"; continue;
            case '\n': result += "\\n"; continue;
            case '\t': result += "\\t"; continue;
            case '\r': result += "\\r"; continue;
            default: break;
        }
        if (platform::isControlCharacter(character)) {
            // One byte below 0x80, or C2 and the C1 control's low byte.
            const auto code = static_cast<unsigned char>(character.back());
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", code);
            result += escaped;
        } else {
            result.append(character);
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
