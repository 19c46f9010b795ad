#include "console/core/dialog_layout.h"

#include <initializer_list>

const char kWindowCaption[] = "Kovir Downloader [2.0K ZR05] (supports XR40-compatible terminals)";

namespace {

constexpr ControlKind kButton = ControlKind::kPushButton;
constexpr ControlKind kEdit = ControlKind::kEdit;
constexpr ControlKind kList = ControlKind::kPortList;
constexpr ControlKind kCheck = ControlKind::kCheckBox;
constexpr ControlKind kBar = ControlKind::kProgressBar;
constexpr ControlKind kGroup = ControlKind::kGroupBox;

}  // namespace

// clang-format off
const ControlPlace kDialogControls[kDialogControlCount] = {
    {IDC_DOWNLOAD,      kButton, "Download",         292, 386,  81,  25},
    {IDC_PROFILE_PATH,  kEdit,   "",                  14,  20, 272,  14},
    {IDC_LOAD,          kButton, "Load",             292,  20,  34,  14},
    {IDC_SAVE_AS,       kButton, "Save As",          332,  20,  34,  14},
    {IDC_PORT_0,        kList,   "",                  14, 299,  52, 103},
    {IDC_CHANGE_BOOT,   kCheck,  "Change Boot Area",  14,  61,  75,  10},
    {IDC_CHECK_0,       kCheck,  "Code",              14,  81,  29,   8},
    {IDC_BROWSE_0,      kButton, "...",              292,  78,  19,  14},
    {IDC_ADDRESS_0,     kEdit,   "",                 314,  78,  52,  14},
    {IDC_CHECK_1,       kCheck,  "Font",              14,  99,  29,   8},
    {IDC_BROWSE_1,      kButton, "...",              292,  96,  19,  14},
    {IDC_ADDRESS_1,     kEdit,   "",                 314,  96,  52,  14},
    {IDC_CHECK_2,       kCheck,  "Data",              14, 117,  29,   8},
    {IDC_BROWSE_2,      kButton, "...",              292, 114,  19,  14},
    {IDC_ADDRESS_2,     kEdit,   "",                 314, 114,  52,  14},
    {IDC_IMAGE_BAR_0,   kBar,    "",                  47,  78, 241,  12},
    {IDC_IMAGE_BAR_1,   kBar,    "",                  47,  96, 241,  12},
    {IDC_IMAGE_BAR_2,   kBar,    "",                  47, 114, 241,  12},
    {-1,                kGroup,  "MSM",                7,  46, 367, 106},
    {-1,                kGroup,  " File ",             7,   6, 367,  38},
    {-1,                kGroup,  " Port ",             7, 272, 367, 104},
    {-1,                ControlKind::kHeading, "Address(HEX)", 314, 60, 52, 11},
    {IDC_CHECK_3,       kCheck,  "Preload",           14, 135,  36,   8},
    {IDC_BROWSE_3,      kButton, "...",              292, 132,  19,  14},
    {IDC_ADDRESS_3,     kEdit,   "",                 314, 132,  52,  14},
    {IDC_IMAGE_BAR_3,   kBar,    "",                  55, 132, 233,  12},
    {IDC_CHECK_4,       kCheck,  "Boot",              14, 169,  29,   8},
    {IDC_BROWSE_4,      kButton, "...",              292, 166,  19,  14},
    {IDC_ADDRESS_4,     kEdit,   "",                 314, 166,  52,  14},
    {IDC_IMAGE_BAR_4,   kBar,    "",                  47, 166, 241,  12},
    {IDC_AUTO,          kCheck,  "Auto",              14, 284,  26,  10},
    {IDC_CHANNEL_BAR_0, kBar,    "",                  70, 300, 110,  12},
    {IDC_PORT_1,        kList,   "",                 201, 299,  52, 103},
    {IDC_CHANNEL_BAR_1, kBar,    "",                 256, 300, 110,  12},
    {IDC_PORT_2,        kList,   "",                  14, 317,  52, 103},
    {IDC_CHANNEL_BAR_2, kBar,    "",                  70, 317, 110,  12},
    {IDC_PORT_3,        kList,   "",                 201, 317,  52, 103},
    {IDC_CHANNEL_BAR_3, kBar,    "",                 256, 317, 110,  12},
    {IDC_PORT_4,        kList,   "",                  14, 335,  52, 103},
    {IDC_CHANNEL_BAR_4, kBar,    "",                  70, 336, 110,  12},
    {IDC_PORT_5,        kList,   "",                 201, 335,  52, 103},
    {IDC_CHANNEL_BAR_5, kBar,    "",                 256, 336, 110,  12},
    {IDC_PORT_6,        kList,   "",                  14, 353,  52, 103},
    {IDC_CHANNEL_BAR_6, kBar,    "",                  70, 354, 110,  12},
    {IDC_PORT_7,        kList,   "",                 201, 353,  52, 103},
    {IDC_CHANNEL_BAR_7, kBar,    "",                 256, 354, 110,  12},
    {-1,                kGroup,  "ASIC",               7, 156, 367, 109},
    {IDC_CHECK_5,       kCheck,  "Code",              14, 188,  29,   8},
    {IDC_BROWSE_5,      kButton, "...",              292, 186,  19,  14},
    {IDC_ADDRESS_5,     kEdit,   "",                 314, 186,  52,  14},
    {IDC_IMAGE_BAR_5,   kBar,    "",                  47, 186, 241,  12},
    {IDC_CHECK_6,       kCheck,  "Font",              14, 209,  29,   8},
    {IDC_BROWSE_6,      kButton, "...",              292, 206,  19,  14},
    {IDC_ADDRESS_6,     kEdit,   "",                 314, 206,  52,  14},
    {IDC_IMAGE_BAR_6,   kBar,    "",                  47, 206, 241,  12},
    {IDC_CHECK_7,       kCheck,  "Contents",          14, 227,  39,   8},
    {IDC_BROWSE_7,      kButton, "...",              292, 224,  19,  14},
    {IDC_ADDRESS_7,     kEdit,   "",                 314, 224,  52,  14},
    {IDC_IMAGE_BAR_7,   kBar,    "",                  59, 224, 229,  12},
    {IDC_CHECK_8,       kCheck,  "DMB",               14, 247,  33,   8},
    {IDC_BROWSE_8,      kButton, "...",              292, 245,  19,  14},
    {IDC_ADDRESS_8,     kEdit,   "",                 314, 245,  52,  14},
    {IDC_IMAGE_BAR_8,   kBar,    "",                  51, 245, 237,  12},
    {IDC_LOG,           ControlKind::kLog, "",         7, 380, 270,  36},
};
// clang-format on

int LAYOUT_RowIndex(int id) {
    for (const int* table : {kCheckId, kBrowseId, kAddressId, kImageBarId}) {
        for (int s = 0; s < kConsoleSlots; ++s) {
            if (table[s] == id) return s;
        }
    }
    for (const int* table : {kPortListId, kChannelBarId}) {
        for (int c = 0; c < kConsoleChannels; ++c) {
            if (table[c] == id) return c;
        }
    }
    return -1;
}
