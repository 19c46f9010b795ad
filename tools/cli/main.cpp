#include "tools/cli/cli_run.h"

int main(int argc, char** argv) { return CLI_Main(argc, argv); }
