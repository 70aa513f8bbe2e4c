#include "core/settings/IniDocument.h"

#include <vector>

namespace pexo {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// One line of the text: [begin, contentEnd) is its content, [contentEnd, end) its line break.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
    LineKind kind = LineKind::Other;
    std::string_view name;      // section or key name, trimmed
    std::size_t valueBegin = 0; // Key: the value's bytes, trimmed
    std::size_t valueEnd = 0;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

Line classify(std::string_view text, std::size_t begin, std::size_t contentEnd, std::size_t end) {
    Line line;
    line.begin = begin;
    line.contentEnd = contentEnd;
    line.end = end;
    std::size_t start = begin;
    // A byte-order mark from an editor must not hide the first section.
    if (begin == 0 && text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        start = kUtf8Bom.size();
    const std::string_view content = text.substr(start, contentEnd - start);
    const std::string_view t = trim(content);
    if (t.empty()) {
        line.kind = LineKind::Blank;
        return line;
    }
    if (t.front() == ';' || t.front() == '#') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = trim(t.substr(1, close - 1));
        }
        return line;
    }
    const auto eq = content.find('=');
    if (eq == std::string_view::npos)
        return line;
    const std::string_view name = trim(content.substr(0, eq));
    if (name.empty())
        return line;
    line.kind = LineKind::Key;
    line.name = name;
    const std::string_view rest = content.substr(eq + 1);
    const std::string_view value = trim(rest);
    const std::size_t restBegin = start + eq + 1;
    if (value.empty()) {
        // Nothing to keep after "=": a new value replaces whatever blanks were there.
        line.valueBegin = restBegin;
        line.valueEnd = contentEnd;
    } else {
        line.valueBegin = restBegin + static_cast<std::size_t>(value.data() - rest.data());
        line.valueEnd = line.valueBegin + value.size();
    }
    return line;
}

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        std::size_t contentEnd = nl == std::string_view::npos ? text.size() : nl;
        if (contentEnd > pos && text[contentEnd - 1] == '\r' && nl != std::string_view::npos)
            --contentEnd;
        lines.push_back(classify(text, pos, contentEnd, end));
        pos = end;
    }
    return lines;
}

std::string_view lineEnding(std::string_view text) {
    const auto nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

// Where a section lies: its header line and the line after its last line.
struct SectionSpan {
    std::size_t header = 0;
    std::size_t end = 0;
};

std::optional<SectionSpan> findSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::Section || !sameName(lines[i].name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && lines[end].kind != LineKind::Section)
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

const Line* findKey(const std::vector<Line>& lines, SectionSpan span, std::string_view key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i)
        if (lines[i].kind == LineKind::Key && sameName(lines[i].name, key))
            return &lines[i];
    return nullptr;
}

bool storable(std::string_view s) {
    for (char c : s)
        if (c == '\n' || c == '\r' || c == '\0')
            return false;
    return trim(s).size() == s.size();
}

bool quoted(std::string_view value) {
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front();
}

} // namespace

std::optional<std::string> IniDocument::get(std::string_view section, std::string_view key) const {
    const auto lines = splitLines(text_);
    const auto span = findSection(lines, section);
    if (!span)
        return std::nullopt;
    const Line* line = findKey(lines, *span, key);
    if (!line)
        return std::nullopt;
    std::string_view value =
        std::string_view(text_).substr(line->valueBegin, line->valueEnd - line->valueBegin);
    value = trim(value);
    if (quoted(value))
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || key.empty() || !storable(section) || !storable(key) ||
        !storable(value) || quoted(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
        key.front() == '#')
        return false;

    const auto lines = splitLines(text_);
    const std::string eol(lineEnding(text_));
    const std::string keyLine = std::string(key) + "=" + std::string(value) + eol;

    const auto span = findSection(lines, section);
    if (!span) {
        if (!text_.empty() && text_.back() != '\n')
            text_ += eol;
        // A blank line keeps the new section apart from what was there.
        if (!lines.empty() && lines.back().kind != LineKind::Blank)
            text_ += eol;
        text_ += "[" + std::string(section) + "]" + eol + keyLine;
        return true;
    }

    if (const Line* line = findKey(lines, *span, key)) {
        text_.replace(line->valueBegin, line->valueEnd - line->valueBegin, value);
        return true;
    }

    std::size_t last = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i)
        if (lines[i].kind != LineKind::Blank && lines[i].kind != LineKind::Comment)
            last = i;
    std::size_t at = lines[last].end;
    if (lines[last].end == lines[last].contentEnd) {
        // The file's last line has no line break yet.
        text_.insert(at, eol);
        at += eol.size();
    }
    text_.insert(at, keyLine);
    return true;
}

} // namespace pexo
