// The window's table of controls against the Win32 window's resource template, which holds
// the same controls in the same order: a place, a size or a caption changed in one of the two
// would make the two windows differ (the Win32 window's own tests run only under wine).
#include "console/core/dialog_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The caption and the four numbers (place and size) of one control line of the template.
std::string Described(const std::string& caption, const std::vector<int>& box) {
    std::ostringstream out;
    out << '"' << caption << "\" " << box[0] << ',' << box[1] << ' ' << box[2] << 'x' << box[3];
    return out.str();
}

TEST(DialogLayout, TableMatchesTheWin32Template) {
    std::ifstream rc(KOVIRW_RC_FILE);
    ASSERT_TRUE(rc) << KOVIRW_RC_FILE;
    std::vector<std::string> inTemplate;
    std::string line;
    bool inside = false;
    const std::regex caption("\"([^\"]*)\""), box(", *(\\d+), *(\\d+), *(\\d+), *(\\d+)");
    while (std::getline(rc, line)) {
        if (line == "BEGIN" || line == "END") inside = line == "BEGIN";
        std::smatch text, numbers;
        if (!inside || !std::regex_search(line, numbers, box)) continue;
        std::regex_search(line, text, caption);
        inTemplate.push_back(Described(text.empty() ? "" : text.str(1),
                                       {std::stoi(numbers.str(1)), std::stoi(numbers.str(2)),
                                        std::stoi(numbers.str(3)), std::stoi(numbers.str(4))}));
    }
    std::vector<std::string> inTable;
    for (const ControlPlace& p : kDialogControls) {
        inTable.push_back(Described(p.caption, {p.x, p.y, p.width, p.height}));
    }
    EXPECT_EQ(inTable, inTemplate);
}

}  // namespace
