# Cross-builds the Windows program on Linux with Debian's MinGW-w64 (x86_64, posix thread model).
# Windows 10 is the lowest version; UNICODE throughout, so every Win32 call takes its W form.
# QUORVANE_WINDOWS_DEPS names the folder tools/windows/build-deps.sh made (curl, libcrypto,
# GoogleTest, cpp-httplib).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_SYSTEM_VERSION 10.0)

set(QUORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_WINDOWS_DEPS)
if(NOT QUORVANE_WINDOWS_DEPS AND DEFINED ENV{QUORVANE_WINDOWS_DEPS})
    set(QUORVANE_WINDOWS_DEPS $ENV{QUORVANE_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLE} ${QUORVANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(windows_definitions "-DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DNTDDI_VERSION=0x0A000000")
set(CMAKE_C_FLAGS_INIT "${windows_definitions}")
set(CMAKE_CXX_FLAGS_INIT "${windows_definitions}")
# One self-contained .exe: the C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")  # a release .exe without symbols
