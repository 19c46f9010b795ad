// Image files read as raw bytes: opened in binary mode with 64-bit sizes and offsets (a text
// mode read stops at the first 0x1A byte; a 32-bit size reads a 4 GiB + 5000-byte file as
// 5000 bytes). One source file per platform (image_file_posix.cpp, image_file_win32.cpp);
// paths are UTF-8. An ImageFile is used by one thread at a time.
#pragma once

#include <cstdint>

struct ImageFile {
    intptr_t os = -1;  // the platform's descriptor or handle; -1 when closed
};

// Opens a regular file for reading, without waiting: a FIFO or device named as an image must
// not hang the channel. Returns false (and nothing open) when the path names no regular file
// that can be read; otherwise *size is its size in bytes.
bool IMAGE_FILE_Open(const char* path, ImageFile* file, int64_t* size);

// Moves the read position to `offset` bytes from the start. False on failure.
bool IMAGE_FILE_Seek(ImageFile* file, int64_t offset);

// Reads until `want` bytes, the end of the file, or an error. Returns the count, or -1.
int IMAGE_FILE_Read(ImageFile* file, uint8_t* buffer, int want);

// Closes the file if open.
void IMAGE_FILE_Close(ImageFile* file);

// Holds one image file and closes it when it goes, on every path out of a scope.
class ImageFileHandle {
  public:
    ImageFileHandle() = default;
    ~ImageFileHandle() { IMAGE_FILE_Close(&m_file); }
    ImageFileHandle(const ImageFileHandle&) = delete;
    ImageFileHandle& operator=(const ImageFileHandle&) = delete;

    // IMAGE_FILE_Open into the held file.
    bool Open(const char* path, int64_t* size) { return IMAGE_FILE_Open(path, &m_file, size); }
    ImageFile* get() { return &m_file; }

  private:
    ImageFile m_file;
};
