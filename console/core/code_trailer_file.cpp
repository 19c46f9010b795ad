#include "console/core/code_trailer.h"
#include "loader/image_file.h"

CodeTrailer ReadCodeTrailer(const char* path) {
    CodeTrailer trailer;
    ImageFile file;
    int64_t size = 0;
    if (path[0] == '\0' || !IMAGE_FILE_Open(path, &file, &size)) {
        return trailer;
    }
    const int64_t offset = CodeTrailerOffset(size);
    if (offset < 0 || !IMAGE_FILE_Seek(&file, offset)) {
        IMAGE_FILE_Close(&file);
        trailer.result = CodeTrailer::kTooShort;
        return trailer;
    }
    uint8_t bytes[kCodeTrailerBytes] = {};
    const int got = IMAGE_FILE_Read(&file, bytes, static_cast<int>(kCodeTrailerBytes));
    IMAGE_FILE_Close(&file);
    return ParseCodeTrailer(bytes, got < 0 ? 0 : static_cast<size_t>(got));
}
