// The checks before a run: one rule for the window's Download button and for kovirw-cli,
// so that both refuse the same selections and settings with the same messages.
#pragma once

#include <string>

#include "console/core/operator_text.h"

// The first refusal of a run; the run may start when the message is empty.
struct RunRefusal {
    std::string message;   // the operator's message, as a notice shows it
    bool setting = false;  // it refuses a value of kovirw.ini (the line rate), not the images
};

// Checks what a run would flash and sets it up, stopping at the first refusal, in this order:
// no slot checked ("Select Image !"); per checked slot in slot order, its file or address
// missing or no hexadecimal address, or an address or path the engine cannot take (the slot's
// validation message); an image that does not fit its flash range (the slot's message and,
// on the next line, the reason); a BAUDRATE the run cannot use. Clears the engine's image
// table first and sets into it every checked slot before a refusal, storing the address text
// that slot flashes with in g_Profile, as the window keeps it for the next save. Console
// thread, outside a run.
RunRefusal CONSOLE_CheckRun(const SlotChoice choices[OPERATOR_SLOT_COUNT]);
