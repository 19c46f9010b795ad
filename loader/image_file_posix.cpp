#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "loader/image_file.h"

bool IMAGE_FILE_Open(const char* path, ImageFile* file, int64_t* size) {
    file->os = -1;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);  // a directory, FIFO or device is no image file
        return false;
    }
    file->os = fd;
    *size = st.st_size;
    return true;
}

bool IMAGE_FILE_Seek(ImageFile* file, int64_t offset) {
    return lseek(static_cast<int>(file->os), static_cast<off_t>(offset), SEEK_SET) ==
           static_cast<off_t>(offset);
}

int IMAGE_FILE_Read(ImageFile* file, uint8_t* buffer, int want) {
    int got = 0;
    while (got < want) {
        ssize_t n =
            ::read(static_cast<int>(file->os), buffer + got, static_cast<size_t>(want - got));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        got += static_cast<int>(n);
    }
    return got;
}

void IMAGE_FILE_Close(ImageFile* file) {
    if (file->os >= 0) ::close(static_cast<int>(file->os));
    file->os = -1;
}
