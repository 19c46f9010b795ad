#include "fuzz/ini_lines.h"

#include <algorithm>
#include <cstddef>

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// True when an original line is kept in the edited text as `edited`: the same bytes, or, for
// the original's last line when it has no line end, the same line with one added (a CR that
// ended the line may now lead a CRLF).
bool LineKept(std::string_view original, std::string_view edited, bool lastOriginal) {
    if (original == edited) return true;
    if (!lastOriginal || original.empty() || original.back() == '\n') return false;
    const std::string_view added = edited.substr(std::min(original.size(), edited.size()));
    return edited.substr(0, original.size()) == original && (added == "\n" || added == "\r\n");
}

}  // namespace

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

bool INI_IsLineOfKey(std::string_view s, std::string_view key) {
    // A byte-order mark that began the file may stay in front of the name.
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (s.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (Lower(s[i]) != Lower(key[i])) return false;
    s.remove_prefix(key.size());
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return !s.empty() && s.front() == '=';
}

bool INI_ForeignLinesKept(std::string_view before, std::string_view after,
                          const std::vector<std::string>& keys) {
    const auto b = INI_Lines(before);
    const auto a = INI_Lines(after);
    size_t j = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        if (std::any_of(keys.begin(), keys.end(),
                        [&](const std::string& key) { return INI_IsLineOfKey(b[i], key); }))
            continue;
        while (j < a.size() && !LineKept(b[i], a[j], i + 1 == b.size())) ++j;
        if (j == a.size()) return false;
        ++j;
    }
    return true;
}
