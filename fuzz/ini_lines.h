// Line-level checks of private-profile edits for the fuzz targets: writing or removing some
// keys must leave every line that holds none of them byte for byte as it was, in order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines of text, each with its line end ("\n"; a CR before it stays in the line). The
// last line has none when the text does not end in one.
std::vector<std::string_view> INI_Lines(std::string_view text);

// True when `line` could be the line of `key` that a reader finds: the key's name (in any
// case, white space around it) followed by '='.
bool INI_IsLineOfKey(std::string_view line, std::string_view key);

// True when every line of `before` that is not a line of one of `keys` is still in `after`,
// in order: the same bytes, or, for a last line without a line end, with one added.
bool INI_ForeignLinesKept(std::string_view before, std::string_view after,
                          const std::vector<std::string>& keys);
