#include "tools/cli/cli_os.h"

long long CLI_OS_CompleteLength(intptr_t file, long long size) {
    char chunk[4096];
    for (long long end = size; end > 0;) {
        const long long from = end > static_cast<long long>(sizeof chunk) ? end - sizeof chunk : 0;
        const int count = static_cast<int>(end - from);
        if (!CLI_OS_ReadAt(file, from, chunk, count)) return -1;
        for (int i = count; i > 0; --i)
            if (chunk[i - 1] == '\n') return from + i;
        end = from;
    }
    return 0;
}
