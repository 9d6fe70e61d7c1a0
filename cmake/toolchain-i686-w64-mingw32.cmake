# Cross-compiling for Windows (i686) with MinGW-w64's win32 thread-model
# toolchain (toolchain-mingw-w64-win32.cmake). Debian builds these compilers,
# and the run-time libraries they link, for the Pentium Pro
# (-march=pentiumpro); tests/imports/check_imports.sh holds the program to
# that processor's instructions.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-win32.cmake)
