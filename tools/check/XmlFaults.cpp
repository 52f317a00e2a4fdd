// A small XML scanner that finds and words the faults of a file the parser refuses.
#include "XmlFaults.h"

#include <algorithm>
#include <cstdint>

namespace gloam::check {

namespace {

constexpr std::size_t maxFaults = 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

/// Name characters as XML allows them, taking every byte of a UTF-8
/// character as a letter (the parser does the same).
bool isNameStart(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || byte >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

/// One character of the file as a message shows it.
std::string shown(char c) {
    switch (c) {
    case '\n': return "a line break";
    case '\t': return "a tab";
    case '"': return "'\"'";
    default: return std::string("'") + c + "'";
    }
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {
        lineStarts_.push_back(0);
        for (std::size_t i = 0; i < text_.size(); ++i) {
            if (text_[i] == '\n') lineStarts_.push_back(i + 1);
        }
    }

    std::vector<XmlFault> scan() {
        std::size_t i = text_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        while (i < text_.size() && !stopped()) {
            if (text_[i] == '<') {
                i = markup(i);
            } else if (text_[i] == '&') {
                i = reference(i, false);
            } else {
                i = character(i);
            }
        }
        if (!stopped() && !open_.empty()) {
            const Open& innermost = open_.back();
            add(XmlFaultKind::NeverClosed, innermost.at,
                "'<" + innermost.name + ">' is never closed: the file ends at line " +
                    std::to_string(lineStarts_.size()) + " before its '</" + innermost.name + ">'",
                true);
        }
        return std::move(faults_);
    }

private:
    struct Open {
        std::string name;
        std::size_t at;
    };

    bool stopped() const { return stopped_ || faults_.size() >= maxFaults; }

    Position position(std::size_t offset) const {
        const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin();
        const std::size_t start = lineStarts_[static_cast<std::size_t>(line - 1)];
        int column = 1;
        for (std::size_t k = start; k < offset && k < text_.size(); ++k) {
            if ((static_cast<unsigned char>(text_[k]) & 0xC0) != 0x80) ++column;
        }
        return {static_cast<int>(line), column};
    }
    std::string where(std::size_t offset) const {
        const Position at = position(offset);
        return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
    }

    void add(XmlFaultKind kind, std::size_t offset, std::string message, bool refused) {
        faults_.push_back({kind, position(offset), std::move(message), refused});
        if (refused) stopped_ = true;
    }

    std::size_t nameEnd(std::size_t from) const {
        if (from >= text_.size() || !isNameStart(text_[from])) return from;
        std::size_t end = from + 1;
        while (end < text_.size() && isNameChar(text_[end])) ++end;
        return end;
    }
    std::size_t skipSpace(std::size_t from) const {
        while (from < text_.size() && isSpace(text_[from])) ++from;
        return from;
    }

    /// Text outside any element may only be white space.
    std::size_t character(std::size_t i) {
        const char c = text_[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && !isSpace(c)) {
            add(XmlFaultKind::ControlCharacter, i,
                "control character " + std::to_string(byte) + " is not allowed in XML (delete it)", false);
        }
        if (open_.empty() && !isSpace(c) && byte >= 0x20) {
            if (rootClosed_) {
                add(XmlFaultKind::TextAfterRoot, i,
                    "text after the root element '</" + rootName_ +
                        ">': an adventure ends with the closing tag of its root (move the text inside it or delete it)",
                    true);
            } else {
                add(XmlFaultKind::TextBeforeRoot, i,
                    "text before the root element: an adventure starts with its root element, such as '<adventure>'",
                    true);
            }
            return text_.size();
        }
        return i + 1;
    }

    /// "&amp;", "&#38;", "&#x26;"; anything else is a bare '&' or an entity
    /// XML does not know (a DOCTYPE may define more).
    std::size_t reference(std::size_t i, bool inValue) {
        const std::size_t semicolon = text_.find(';', i + 1);
        const std::size_t end = std::min(semicolon, text_.size());
        const std::string_view body = text_.substr(i + 1, end - i - 1);
        auto allOf = [](std::string_view digits, bool hex) {
            return !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
                return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
            });
        };
        const bool numeric = body.starts_with("#x") ? allOf(body.substr(2), true)
                             : body.starts_with('#') ? allOf(body.substr(1), false)
                                                     : false;
        const bool named = !body.empty() && nameEnd(i + 1) == end;
        if (semicolon != std::string_view::npos && (numeric || named)) {
            static constexpr std::string_view known[] = {"amp", "lt", "gt", "quot", "apos"};
            if (named && std::find(std::begin(known), std::end(known), body) == std::end(known) && !doctype_) {
                add(XmlFaultKind::UnknownEntity, i,
                    "'&" + std::string(body) + ";' is not an entity XML knows: write '&amp;" + std::string(body) +
                        ";' for the text itself",
                    false);
            }
            return end + 1;
        }
        add(XmlFaultKind::BareAmpersand, i,
            std::string("an '&' ") + (inValue ? "in an attribute value " : "") +
                "must be written '&amp;' (it starts a reference such as '&lt;' otherwise)",
            false);
        if (open_.empty() && !inValue) return character(i);
        return i + 1;
    }

    std::size_t markup(std::size_t i) {
        const std::string_view rest = text_.substr(i);
        if (rest.starts_with("<!--")) {
            const std::size_t end = text_.find("-->", i + 4);
            if (end == std::string_view::npos) {
                add(XmlFaultKind::UnclosedComment, i, "this comment is never closed with '-->'", true);
                return text_.size();
            }
            return end + 3;
        }
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = text_.find("]]>", i + 9);
            if (end == std::string_view::npos) {
                add(XmlFaultKind::UnclosedCData, i, "this '<![CDATA[' section is never closed with ']]>'", true);
                return text_.size();
            }
            return end + 3;
        }
        if (rest.starts_with("<!DOCTYPE")) return doctype(i);
        if (rest.starts_with("<?")) {
            const std::size_t end = text_.find("?>", i + 2);
            if (end == std::string_view::npos) {
                add(XmlFaultKind::UnclosedTag, i, "this '<?' is never closed with '?>'", true);
                return text_.size();
            }
            return end + 2;
        }
        if (rest.starts_with("</")) return closingTag(i);
        return openingTag(i);
    }

    std::size_t doctype(std::size_t i) {
        doctype_ = true;
        int depth = 0;
        char quote = 0;
        for (std::size_t k = i + 9; k < text_.size(); ++k) {
            const char c = text_[k];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                ++depth;
            } else if (c == ']') {
                --depth;
            } else if (c == '>' && depth <= 0) {
                return k + 1;
            }
        }
        add(XmlFaultKind::UnclosedTag, i, "this '<!DOCTYPE' is never closed with '>'", true);
        return text_.size();
    }

    std::size_t closingTag(std::size_t i) {
        const std::size_t nameStart = i + 2;
        const std::size_t end = nameEnd(nameStart);
        if (end == nameStart) {
            add(XmlFaultKind::BadTag, i, "'</' is not followed by the name of an element", true);
            return text_.size();
        }
        const std::string name(text_.substr(nameStart, end - nameStart));
        const std::size_t close = skipSpace(end);
        if (close >= text_.size() || text_[close] != '>') {
            add(close >= text_.size() ? XmlFaultKind::UnclosedTag : XmlFaultKind::BadTag, close < text_.size() ? close : i,
                close >= text_.size() ? "the closing tag '</" + name + "' is never ended with '>'"
                                      : "unexpected " + shown(text_[close]) + " in the closing tag '</" + name + ">'",
                true);
            return text_.size();
        }
        if (open_.empty()) {
            add(XmlFaultKind::StrayClose, i,
                "'</" + name + ">' closes an element that was never opened" +
                    (rootClosed_ ? ": the root element '<" + rootName_ + ">' was closed before it" : std::string()),
                false);
            return close + 1;
        }
        if (name == open_.back().name) {
            open_.pop_back();
            if (open_.empty()) rootClosed_ = true;
            return close + 1;
        }
        const auto outer = std::find_if(open_.rbegin(), open_.rend(), [&name](const Open& o) { return o.name == name; });
        const Open& innermost = open_.back();
        if (outer != open_.rend()) {
            // An outer element closes first: the inner one was never closed.
            add(XmlFaultKind::NeverClosed, innermost.at,
                "'<" + innermost.name + ">' is never closed: '</" + name + ">' at " + where(i) +
                    " closes the element around it first (end it with '/>', or add '</" + innermost.name + ">')",
                true);
        } else {
            add(XmlFaultKind::MismatchedClose, i,
                "closing tag '</" + name + ">' does not match '<" + innermost.name + ">' opened at " +
                    where(innermost.at) + " (write '</" + innermost.name + ">')",
                true);
        }
        return text_.size();
    }

    std::size_t openingTag(std::size_t i) {
        const std::size_t nameStart = i + 1;
        const std::size_t end = nameEnd(nameStart);
        if (end == nameStart) {
            if (nameStart < text_.size() && isNameChar(text_[nameStart])) {
                add(XmlFaultKind::BadTag, nameStart,
                    "an element name cannot start with " + shown(text_[nameStart]) + " (names start with a letter)", true);
            } else {
                add(XmlFaultKind::BareLessThan, i, "a '<' in text must be written '&lt;' (it starts a tag otherwise)", true);
            }
            return text_.size();
        }
        const std::string name(text_.substr(nameStart, end - nameStart));
        // A second root element is no fault of the scan: the checker says
        // what the player makes of it.
        std::vector<std::string> attributes;
        std::size_t k = end;
        while (true) {
            const std::size_t spaceStart = k;
            k = skipSpace(k);
            if (k >= text_.size()) {
                add(XmlFaultKind::UnclosedTag, i, "the tag '<" + name + "' is never ended with '>' or '/>'", true);
                return text_.size();
            }
            if (text_[k] == '>' || text_.substr(k).starts_with("/>")) {
                const bool empty = text_[k] == '/';
                if (open_.empty() && !rootSeen_) {
                    rootSeen_ = true;
                    rootName_ = name;
                }
                if (empty) {
                    if (open_.empty()) rootClosed_ = true;
                    return k + 2;
                }
                open_.push_back({name, i});
                return k + 1;
            }
            if (!isNameStart(text_[k])) {
                add(XmlFaultKind::BadTag, k,
                    "unexpected " + shown(text_[k]) + " in the tag '<" + name + ">'" +
                        (text_[k] == '/' ? " (an empty element ends with '/>', without a space between)" : ""),
                    true);
                return text_.size();
            }
            if (k == spaceStart && !attributes.empty()) {
                add(XmlFaultKind::NoSpaceBetween, k,
                    "attributes need a space between them: '" + attributes.back() + "' runs straight into the next one",
                    false);
            }
            const std::size_t attributeStart = k;
            const std::size_t attributeEnd = nameEnd(k);
            const std::string attribute(text_.substr(attributeStart, attributeEnd - attributeStart));
            if (std::find(attributes.begin(), attributes.end(), attribute) != attributes.end()) {
                add(XmlFaultKind::DuplicateAttribute, attributeStart,
                    "attribute '" + attribute + "' is written twice on '<" + name + ">'", true);
                return text_.size();
            }
            attributes.push_back(attribute);
            k = skipSpace(attributeEnd);
            if (k >= text_.size() || text_[k] != '=') {
                add(XmlFaultKind::MissingValue, attributeStart,
                    "attribute '" + attribute + "' has no value: write " + attribute + "=\"...\"", true);
                return text_.size();
            }
            k = skipSpace(k + 1);
            if (k >= text_.size() || (text_[k] != '"' && text_[k] != '\'')) {
                add(XmlFaultKind::UnquotedValue, k < text_.size() ? k : attributeStart,
                    "the value of '" + attribute + "' must stand in quotes: write " + attribute + "=\"...\"", true);
                return text_.size();
            }
            const char quote = text_[k];
            const std::size_t valueStart = k + 1;
            const std::size_t closingQuote = text_.find(quote, valueStart);
            const std::string missingQuote = "the value of '" + attribute + "' has no closing quote: it runs on ";
            if (closingQuote == std::string_view::npos) {
                add(XmlFaultKind::MissingQuote, k, missingQuote + "to the end of the file", true);
                return text_.size();
            }
            const std::string_view value = text_.substr(valueStart, closingQuote - valueStart);
            const std::size_t after = closingQuote + 1;
            const bool endsWell = after < text_.size() && (isSpace(text_[after]) || text_[after] == '>' || text_[after] == '/');
            // A value that swallowed a tag end, a line or the next attribute
            // ("a.wav b=") lost its own closing quote.
            const bool swallowed = value.find_first_of("<>\n") != std::string_view::npos ||
                                   (value.ends_with('=') && value.find_first_of(" \t") != std::string_view::npos);
            if (swallowed && (!endsWell || value.find('>') != std::string_view::npos)) {
                add(XmlFaultKind::MissingQuote, k, missingQuote + "to the " + shown(quote) + " at " + where(closingQuote),
                    true);
                return text_.size();
            }
            for (std::size_t v = valueStart; v < closingQuote && !stopped(); ++v) {
                if (text_[v] == '&') {
                    reference(v, true);
                } else if (text_[v] == '<') {
                    add(XmlFaultKind::BareLessThan, v,
                        "a '<' in an attribute value must be written '&lt;'", false);
                }
            }
            if (stopped()) return text_.size();
            k = after;
        }
    }

    std::string_view text_;
    std::vector<std::size_t> lineStarts_;
    std::vector<Open> open_;
    std::vector<XmlFault> faults_;
    std::string rootName_;
    bool rootSeen_ = false;
    bool rootClosed_ = false;
    bool doctype_ = false;
    bool stopped_ = false;
};

}  // namespace

std::vector<XmlFault> findXmlFaults(std::string_view text) { return Scanner(text).scan(); }

}  // namespace gloam::check
