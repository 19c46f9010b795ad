// Line rates by number, standard or not. Kept apart from the termios code because the
// kernel's termios2 header cannot be included together with <termios.h>.
#pragma once

// Sets input and output rate of the open terminal fd to baud. Returns 0 or -1 (errno set).
int SERIAL_BAUD_Set(int fd, int baud);

// The output rate of the open terminal fd, or -1.
int SERIAL_BAUD_Get(int fd);

// A terminal's whole line state: flags, control characters and both rates, non-standard
// ones included.
struct SerialLineState {
    alignas(8) unsigned char bytes[64];
};

// Saves fd's line state into *state, and sets it back. Return 0 or -1 (errno set).
int SERIAL_BAUD_SaveLine(int fd, SerialLineState* state);
int SERIAL_BAUD_RestoreLine(int fd, const SerialLineState& state);
