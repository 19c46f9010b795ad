// kovirw-cli: the headless front end over the same engine and configuration as the desktop
// program. Runs on the calling (main) thread, which plays the console thread.
#pragma once

// The program: parses options, loads the settings and the profile from the current
// directory, checks the selection as the Download button does, assigns ports, runs the
// download, prints the log and status lines, writes the report. Returns the exit status:
// 0 every channel with a port done, 1 a channel failed, 2 usage or selection error.
int CLI_Main(int argc, char** argv);
