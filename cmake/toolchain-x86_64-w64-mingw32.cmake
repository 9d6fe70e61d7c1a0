# Cross-compiling for Windows (x86_64) with MinGW-w64's win32 thread-model
# toolchain (toolchain-mingw-w64-win32.cmake). The compilers target the
# x86-64 baseline (MMX, SSE, SSE2); tests/imports/check_imports.sh holds the
# program to it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-win32.cmake)
