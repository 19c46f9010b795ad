// The console's own texts and rules shared by the desktop window and the headless front end
// (plain C++, no Qt): the Download check, how engine events read on the bars and in the log.
#pragma once

#include <string>

#include "core/channel_tables.h"
#include "core/event_record.h"

constexpr int OPERATOR_SLOT_COUNT = IMAGE_SLOT_COUNT;
constexpr int OPERATOR_CHANNEL_COUNT = CHANNEL_COUNT;

// The slot's name in progress texts: "Code", "Font", ..., "Asic DMB".
const char* OPERATOR_ProgressLabel(int slot);

// The slot's Download/Save As validation message: "Invalid Code Image/Address !" ...
const char* OPERATOR_InvalidMessage(int slot);

extern const char OPERATOR_SelectImage[];  // "Select Image !"
extern const char OPERATOR_LogStart[];     // "Initialize.. ok!"

// What the Download button looks at for one slot.
struct SlotChoice {
    bool checked = false;
    std::string file;     // the profile's file path
    std::string address;  // the address field's text
};

// The Download check: the first checked slot, in slot order, whose file or address text is
// empty or whose address is no hexadecimal address (it would flash to no defined address).
// Returns that slot, -1 when every checked slot is complete, or OPERATOR_SLOT_COUNT when no
// slot is checked at all ("Select Image !").
int OPERATOR_CheckSelection(const SlotChoice choices[OPERATOR_SLOT_COUNT]);

// True when the text holds a hexadecimal address as the engine reads it ("%X": white space,
// optional 0x, at least one digit; at most 0xFFFFFFFF).
bool OPERATOR_HasHexAddress(const std::string& text);

// A channel's status text (an EV_CHANNEL_TEXT event) as the log shows it: the channel's
// summary framed as the run's total, ">>>>>>>>>>  총 " before it, "전체 " before its elapsed
// time and "  <<<<<<<<<<" after it; any other text as it is.
std::string OPERATOR_StatusLogLine(const EngineEventRecord& event);

// A channel bar's text for a progress event: "Done" when complete, else
// "<label>: <percent>% [<done>/<total>]" (the percentage without overflow, rounded down).
std::string OPERATOR_ProgressText(int slot, int doneBytes, int totalBytes);

// The log line at the end of a channel, with or without the DMB image selected.
std::string OPERATOR_ChannelDoneLine(int channel, bool dmbSelected);
extern const char OPERATOR_DmbWritingBar[];  // "DMB Writing..."

// The lowest line rate a run accepts. Every wait of the engine grows with the line time of
// what it waits for, so any rate works in principle; below 9600 a 16 KiB block needs over
// 17 s, and a silent terminal holds its channel for minutes before the waits give up: such
// a BAUDRATE is taken for a typing error.
constexpr int OPERATOR_MIN_BAUD = 9600;

// Empty when a run may use `baud`, read from the settings' BAUDRATE value `written` (empty:
// none, the default applies); otherwise the message that refuses it, quoting the value as
// written. A value must be a plain decimal number (digits only) from OPERATOR_MIN_BAUD to
// 2147483647.
std::string OPERATOR_BaudProblem(int baud, const std::string& written);

// Port lines of the log.
std::string OPERATOR_DetectLine(int comPort);
std::string OPERATOR_DisconnectLine(int comPort);

// The hexadecimal address fields' filter of one typed character, given the length of the
// field's whole text (a selection counts too): a hexadecimal digit while the text is shorter
// than 8 characters, in upper case; backspace (8) as it is; every other character, the
// control characters that keyboard shortcuts type (Ctrl+V types 0x16) included, gives 0:
// dropped.
char32_t OPERATOR_HexFieldChar(char32_t typed, size_t textLength);
