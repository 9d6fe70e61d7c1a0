# Cross-compiling for Windows (x86_64) with MinGW-w64's win32 thread-model
# toolchain. Its C++ runtime uses no threading library: the posix model links
# libwinpthread into every program, and that imports GetTickCount64 (Vista) and
# AddVectoredExceptionHandler (XP), which the oldest Windows that Tiermo runs
# on do not have. The program has no threads; the tests make theirs with
# CreateThread, and GoogleTest's Notification is given in
# tests/gtest_custom/gtest/internal/custom/gtest-port.h.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
