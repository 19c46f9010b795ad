// The main window's template: every control with its id, kind, caption and place in dialog
// units, in template order (also the tab order and the order of creation). The Qt window
// lays itself out from this table; the Win32 window's resource holds the same template,
// checked against this table by its tests.
#pragma once

#include "console/core/control_ids.h"

enum class ControlKind {
    kPushButton,
    kEdit,
    kPortList,  // drop-down list; height = with the list open
    kCheckBox,
    kProgressBar,
    kGroupBox,
    kHeading,  // centred static text
    kLog,      // multi-line, read-only edit field with a vertical scroll bar
};

struct ControlPlace {
    int id;  // -1 for the group boxes and the heading, which have none
    ControlKind kind;
    const char* caption;
    short x, y, width, height;
};

constexpr int kDialogControlCount = 64;
extern const ControlPlace kDialogControls[kDialogControlCount];

constexpr int kDialogWidth = 379;  // client area in dialog units
constexpr int kDialogHeight = 421;
// A closed port list is as tall as an edit field.
constexpr int kClosedListHeight = 14;

extern const char kWindowCaption[];  // set at initialisation over the template's caption

// The ImageSlot or ChannelId of a control of an image or channel row (-1 for others).
int LAYOUT_RowIndex(int id);
