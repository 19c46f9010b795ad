#include "config/ini_text.h"

#include <climits>
#include <unordered_set>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class LineKind { Other, Section, Key };

struct Line {
    size_t begin = 0;  // first byte of the line (after a byte-order mark)
    size_t end = 0;    // end of its content, before the line end
    size_t next = 0;   // start of the next line; == end only for a last line without line end
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed, quotes still on
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

void Classify(std::string_view content, Line* line) {
    std::string_view s = Trim(content);
    if (s.empty() || s.front() == ';') {
        return;
    }
    if (s.front() == '[') {
        // Text after the first ']' is ignored, so "[KOVIR] ; note" still names KOVIR.
        size_t close = s.find(']');
        if (close != std::string_view::npos) {
            line->kind = LineKind::Section;
            line->name = Trim(s.substr(1, close - 1));
        }
        return;
    }
    size_t eq = s.find('=');
    if (eq == std::string_view::npos) {
        return;
    }
    line->name = Trim(s.substr(0, eq));
    if (!line->name.empty()) {
        line->kind = LineKind::Key;
        line->value = Trim(s.substr(eq + 1));
    }
}

class LineReader {
  public:
    LineReader(std::string_view text, size_t pos) : m_text(text), m_pos(pos) {
        if (pos == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            m_pos = kByteOrderMark.size();
        }
    }

    bool Next(Line* line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        *line = Line{};
        line->begin = m_pos;
        size_t nl = m_text.find('\n', m_pos);
        if (nl == std::string_view::npos) {
            line->end = line->next = m_text.size();
        } else {
            line->next = nl + 1;
            line->end = (nl > m_pos && m_text[nl - 1] == '\r') ? nl - 1 : nl;
        }
        Classify(m_text.substr(line->begin, line->end - line->begin), line);
        m_pos = line->next;
        return true;
    }

  private:
    std::string_view m_text;
    size_t m_pos;
};

// The header of the first section named `section`.
bool FindSection(std::string_view text, std::string_view section, Line* header) {
    LineReader reader(text, 0);
    while (reader.Next(header)) {
        if (header->kind == LineKind::Section && EqualNoCase(header->name, section)) {
            return true;
        }
    }
    return false;
}

// In the section that starts after `header`: the first line of `key` and the last key line.
struct SectionScan {
    bool keyFound = false;
    Line key;
    bool anyKey = false;
    Line lastKey;
};

SectionScan ScanSection(std::string_view text, const Line& header, std::string_view key) {
    SectionScan scan;
    LineReader reader(text, header.next);
    Line line;
    while (reader.Next(&line) && line.kind != LineKind::Section) {
        if (line.kind != LineKind::Key) {
            continue;
        }
        if (!scan.keyFound && EqualNoCase(line.name, key)) {
            scan.keyFound = true;
            scan.key = line;
        }
        scan.anyKey = true;
        scan.lastKey = line;
    }
    return scan;
}

std::string_view LineEndOf(std::string_view text, std::string_view fallback) {
    size_t nl = text.find('\n');
    if (nl == std::string_view::npos) {
        return fallback;
    }
    return (nl > 0 && text[nl - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
}

bool HasNoBreaks(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsName(std::string_view s) {
    return !s.empty() && HasNoBreaks(s) && !IsSpace(s.front()) && !IsSpace(s.back());
}

// Quotes a value that the reader would otherwise trim or unquote.
std::string Encode(std::string_view value) {
    bool needsQuotes = !value.empty() && (IsSpace(value.front()) || IsSpace(value.back()) ||
                                          Unquote(value).size() != value.size());
    if (needsQuotes) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

}  // namespace

bool IniText_Find(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value) {
    Line header;
    if (!FindSection(text, section, &header)) {
        return false;
    }
    SectionScan scan = ScanSection(text, header, key);
    if (!scan.keyFound) {
        return false;
    }
    value->assign(Unquote(scan.key.value));
    return true;
}

IniKeyValues IniText_Section(std::string_view text, std::string_view section) {
    IniKeyValues keys;
    Line header;
    if (!FindSection(text, section, &header)) {
        return keys;
    }
    std::unordered_set<std::string> seen;
    LineReader reader(text, header.next);
    Line line;
    while (reader.Next(&line) && line.kind != LineKind::Section) {
        if (line.kind != LineKind::Key) {
            continue;
        }
        std::string folded(line.name);
        for (char& c : folded) {
            c = LowerAscii(c);
        }
        if (seen.insert(folded).second) {
            keys.emplace_back(std::string(line.name), std::string(Unquote(line.value)));
        }
    }
    return keys;
}

unsigned IniText_ParseUnsigned(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && IsSpace(value[i])) {
        ++i;
    }
    unsigned result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(value[i] - '0');
        if (result > (UINT_MAX - digit) / 10) {
            return UINT_MAX;
        }
        result = result * 10 + digit;
    }
    return result;
}

bool IniText_IsSectionName(std::string_view section) {
    return IsName(section) && section.find(']') == std::string_view::npos;
}

bool IniText_IsKeyName(std::string_view key) {
    return IsName(key) && key.find('=') == std::string_view::npos && key.front() != ';' &&
           key.front() != '[';
}

bool IniText_IsValue(std::string_view value) { return HasNoBreaks(value); }

bool IniText_Set(std::string* text, std::string_view section, std::string_view key,
                 std::string_view value, std::string_view newTextLineEnd) {
    if (!IniText_IsSectionName(section) || !IniText_IsKeyName(key) || !IniText_IsValue(value)) {
        return false;
    }
    const std::string entry = std::string(key) + "=" + Encode(value);
    const std::string lineEnd(LineEndOf(*text, newTextLineEnd));

    Line header;
    if (!FindSection(*text, section, &header)) {
        if (!text->empty() && text->back() != '\n') {
            text->append(lineEnd);
        }
        text->append("[").append(section).append("]").append(lineEnd);
        text->append(entry).append(lineEnd);
        return true;
    }
    SectionScan scan = ScanSection(*text, header, key);
    if (scan.keyFound) {
        text->replace(scan.key.begin, scan.key.end - scan.key.begin, entry);
        return true;
    }
    const Line& anchor = scan.anyKey ? scan.lastKey : header;
    if (anchor.next == anchor.end) {
        text->append(lineEnd).append(entry).append(lineEnd);
    } else {
        text->insert(anchor.next, entry + lineEnd);
    }
    return true;
}

bool IniText_Remove(std::string* text, std::string_view section, std::string_view key) {
    if (!IniText_IsSectionName(section) || !IniText_IsKeyName(key)) {
        return false;
    }
    Line header;
    if (!FindSection(*text, section, &header)) {
        return true;
    }
    SectionScan scan = ScanSection(*text, header, key);
    if (scan.keyFound) {
        text->erase(scan.key.begin, scan.key.next - scan.key.begin);
    }
    return true;
}
