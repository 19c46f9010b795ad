# What the Windows cross builds share; a toolchain file sets kovirw_mingw_triple and
# CMAKE_SYSTEM_PROCESSOR, then includes this one.
# The -posix compilers: the default (win32) thread model has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${kovirw_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${kovirw_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${kovirw_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${kovirw_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit file offsets, printf that follows C99 (%lld, %zu), the wide (W) API by default,
# Windows 7 and later (CancelIoEx).
set(kovirw_win_flags "-D_FILE_OFFSET_BITS=64 -D__USE_MINGW_ANSI_STDIO=1")
string(APPEND kovirw_win_flags " -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601")
string(APPEND kovirw_win_flags " -DWIN32_LEAN_AND_MEAN -DNOMINMAX")
set(CMAKE_C_FLAGS_INIT "${kovirw_win_flags}")
set(CMAKE_CXX_FLAGS_INIT "${kovirw_win_flags}")
# One self-contained .exe: the C++ runtime and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
