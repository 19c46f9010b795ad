#include <cstring>

#include "serial/port_directory.h"

int PORT_DIRECTORY_ParseName(const char* name) {
    if (name == nullptr || std::strncmp(name, "COM", 3) != 0) return 0;
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9') return 0;
    long n = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + (*p - '0');
        if (n > PORT_COM_MAX) return 0;
    }
    return static_cast<int>(n);
}
