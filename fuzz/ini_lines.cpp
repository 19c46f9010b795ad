#include "fuzz/ini_lines.h"

#include <algorithm>
#include <cstddef>

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// A line's end: "\r\n", "\n", or nothing for a last line without one.
std::string_view Ending(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n")
        return line.substr(line.size() - 2);
    if (!line.empty() && line.back() == '\n') return line.substr(line.size() - 1);
    return {};
}

std::string_view Content(std::string_view line) {
    return line.substr(0, line.size() - Ending(line).size());
}

// True when the line's content names `key` and then '=' (a byte-order mark that began the
// file may stay in front); `blanks` allows white space around the name, as a reader does,
// where a write puts none.
bool NamesKey(std::string_view s, std::string_view key, bool blanks) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    while (blanks && !s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (s.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (Lower(s[i]) != Lower(key[i])) return false;
    s.remove_prefix(key.size());
    while (blanks && !s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return !s.empty() && s.front() == '=';
}

bool IsHeader(std::string_view content, std::string_view section) {
    return content == "[" + std::string(section) + "]";
}

// Walks the edited lines against the original ones. Original line `skip` (none when past
// the end) must come back as the key's line with its own line end; any other edited line
// that is not a kept original line must be the key's line or the section's header, two of
// them at most.
bool Matches(const std::vector<std::string_view>& o, const std::vector<std::string_view>& e,
             size_t skip, std::string_view section, std::string_view key) {
    size_t i = 0;
    int added = 0;
    for (std::string_view line : e) {
        if (skip < o.size() && i == skip) {
            ++i;
            if (NamesKey(Content(line), key, false) && Ending(line) == Ending(o[skip])) continue;
            return false;
        }
        if (i < o.size() && INI_LineKept(o[i], line, i + 1 == o.size())) {
            ++i;
            continue;
        }
        const std::string_view content = Content(line);
        if (!NamesKey(content, key, false) && !IsHeader(content, section)) return false;
        if (++added > 2) return false;
    }
    return i == o.size();
}

}  // namespace

bool INI_LineKept(std::string_view original, std::string_view edited, bool lastOriginal) {
    if (original == edited) return true;
    if (!lastOriginal || !Ending(original).empty()) return false;
    // The same bytes and then a line end (a CR that ended the line may now lead a CRLF).
    const std::string_view added = edited.substr(std::min(original.size(), edited.size()));
    return edited.substr(0, original.size()) == original && (added == "\n" || added == "\r\n");
}

std::vector<std::string_view> INI_Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

bool INI_IsLineOfKey(std::string_view line, std::string_view key) {
    return NamesKey(Content(line), key, true);
}

bool INI_OnlyKeyLineChanged(std::string_view original, std::string_view edited,
                            std::string_view section, std::string_view key) {
    const auto o = INI_Lines(original);
    const auto e = INI_Lines(edited);
    if (Matches(o, e, o.size(), section, key)) return true;
    for (size_t skip = 0; skip < o.size(); ++skip)
        if (INI_IsLineOfKey(o[skip], key) && Matches(o, e, skip, section, key)) return true;
    return false;
}

bool INI_OnlyKeyLineRemoved(std::string_view original, std::string_view edited,
                            std::string_view key) {
    const auto o = INI_Lines(original);
    const auto e = INI_Lines(edited);
    if (o.size() == e.size()) return original == edited;
    if (o.size() != e.size() + 1) return false;
    size_t i = 0;
    while (i < e.size() && o[i] == e[i]) ++i;
    if (!INI_IsLineOfKey(o[i], key)) return false;
    for (; i < e.size(); ++i)
        if (o[i + 1] != e[i]) return false;
    return true;
}
