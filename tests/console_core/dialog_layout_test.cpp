// The window's table of controls against the Win32 window's resource template, which holds
// the same controls in the same order: a place, a size or a caption changed in one of the two
// would make the two windows differ (the Win32 window's own tests run only under wine).
#include "console/core/dialog_layout.h"

#include <gtest/gtest.h>

#include <fstream>
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
    while (std::getline(rc, line)) {
        if (line == "BEGIN" || line == "END") inside = line == "BEGIN";
        if (!inside) continue;
        // The caption is the first quoted text; place and size are the first four fields in a
        // row that are plain numbers.
        const size_t open = line.find('"');
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        const std::string caption =
            close == std::string::npos ? "" : line.substr(open + 1, close - open - 1);
        std::vector<int> box;
        std::istringstream fields(line);
        for (std::string field; box.size() < 4 && std::getline(fields, field, ',');) {
            const size_t first = field.find_first_not_of(' ');
            const bool number =
                first != std::string::npos &&
                field.find_first_not_of("0123456789 \r", first) == std::string::npos;
            if (!number)
                box.clear();
            else
                box.push_back(std::stoi(field));
        }
        if (box.size() == 4) inTemplate.push_back(Described(caption, box));
    }
    std::vector<std::string> inTable;
    for (const ControlPlace& p : kDialogControls) {
        inTable.push_back(Described(p.caption, {p.x, p.y, p.width, p.height}));
    }
    EXPECT_EQ(inTable, inTemplate);
}

}  // namespace
