// The ids of the main window's template and controls. Both windows name their controls by
// these ids, and the Win32 dialog template is built from them, so this header is plain
// preprocessor definitions that the resource compiler reads too.
#pragma once

#define IDD_MAIN 103
#define IDI_MAIN 128

#define IDC_DOWNLOAD 1020
#define IDC_PROFILE_PATH 1013
#define IDC_LOAD 1014
#define IDC_SAVE_AS 1018
#define IDC_CHANGE_BOOT 1022
#define IDC_AUTO 1028
#define IDC_LOG 1062

// Image rows, in ImageSlot order.
#define IDC_CHECK_0 1001
#define IDC_CHECK_1 1002
#define IDC_CHECK_2 1007
#define IDC_CHECK_3 1010
#define IDC_CHECK_4 1021
#define IDC_CHECK_5 1044
#define IDC_CHECK_6 1048
#define IDC_CHECK_7 1052
#define IDC_CHECK_8 1056
#define IDC_BROWSE_0 1004
#define IDC_BROWSE_1 1006
#define IDC_BROWSE_2 1009
#define IDC_BROWSE_3 1011
#define IDC_BROWSE_4 1025
#define IDC_BROWSE_5 1045
#define IDC_BROWSE_6 1049
#define IDC_BROWSE_7 1053
#define IDC_BROWSE_8 1057
#define IDC_ADDRESS_0 1003
#define IDC_ADDRESS_1 1005
#define IDC_ADDRESS_2 1008
#define IDC_ADDRESS_3 1012
#define IDC_ADDRESS_4 1026
#define IDC_ADDRESS_5 1046
#define IDC_ADDRESS_6 1050
#define IDC_ADDRESS_7 1054
#define IDC_ADDRESS_8 1058
#define IDC_IMAGE_BAR_0 1015
#define IDC_IMAGE_BAR_1 1016
#define IDC_IMAGE_BAR_2 1017
#define IDC_IMAGE_BAR_3 1019
#define IDC_IMAGE_BAR_4 1027
#define IDC_IMAGE_BAR_5 1047
#define IDC_IMAGE_BAR_6 1051
#define IDC_IMAGE_BAR_7 1055
#define IDC_IMAGE_BAR_8 1059

// Channel rows, in ChannelId order.
#define IDC_PORT_0 1023
#define IDC_PORT_1 1030
#define IDC_PORT_2 1032
#define IDC_PORT_3 1034
#define IDC_PORT_4 1036
#define IDC_PORT_5 1038
#define IDC_PORT_6 1040
#define IDC_PORT_7 1042
#define IDC_CHANNEL_BAR_0 1029
#define IDC_CHANNEL_BAR_1 1031
#define IDC_CHANNEL_BAR_2 1033
#define IDC_CHANNEL_BAR_3 1035
#define IDC_CHANNEL_BAR_4 1037
#define IDC_CHANNEL_BAR_5 1039
#define IDC_CHANNEL_BAR_6 1041
#define IDC_CHANNEL_BAR_7 1043

#ifndef RC_INVOKED
constexpr int kConsoleSlots = 9;
constexpr int kConsoleChannels = 8;

constexpr int kCheckId[kConsoleSlots] = {IDC_CHECK_0, IDC_CHECK_1, IDC_CHECK_2,
                                         IDC_CHECK_3, IDC_CHECK_4, IDC_CHECK_5,
                                         IDC_CHECK_6, IDC_CHECK_7, IDC_CHECK_8};
constexpr int kBrowseId[kConsoleSlots] = {IDC_BROWSE_0, IDC_BROWSE_1, IDC_BROWSE_2,
                                          IDC_BROWSE_3, IDC_BROWSE_4, IDC_BROWSE_5,
                                          IDC_BROWSE_6, IDC_BROWSE_7, IDC_BROWSE_8};
// Slot 0's field is the read-only MSM Code address; the others take typed hex digits.
constexpr int kAddressId[kConsoleSlots] = {IDC_ADDRESS_0, IDC_ADDRESS_1, IDC_ADDRESS_2,
                                           IDC_ADDRESS_3, IDC_ADDRESS_4, IDC_ADDRESS_5,
                                           IDC_ADDRESS_6, IDC_ADDRESS_7, IDC_ADDRESS_8};
constexpr int kImageBarId[kConsoleSlots] = {IDC_IMAGE_BAR_0, IDC_IMAGE_BAR_1, IDC_IMAGE_BAR_2,
                                            IDC_IMAGE_BAR_3, IDC_IMAGE_BAR_4, IDC_IMAGE_BAR_5,
                                            IDC_IMAGE_BAR_6, IDC_IMAGE_BAR_7, IDC_IMAGE_BAR_8};
constexpr int kPortListId[kConsoleChannels] = {IDC_PORT_0, IDC_PORT_1, IDC_PORT_2, IDC_PORT_3,
                                               IDC_PORT_4, IDC_PORT_5, IDC_PORT_6, IDC_PORT_7};
constexpr int kChannelBarId[kConsoleChannels] = {
    IDC_CHANNEL_BAR_0, IDC_CHANNEL_BAR_1, IDC_CHANNEL_BAR_2, IDC_CHANNEL_BAR_3,
    IDC_CHANNEL_BAR_4, IDC_CHANNEL_BAR_5, IDC_CHANNEL_BAR_6, IDC_CHANNEL_BAR_7};
#endif
