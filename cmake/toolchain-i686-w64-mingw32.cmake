# Cross-compiling for Windows (i686) with MinGW-w64's win32 thread-model
# toolchain (toolchain-mingw-w64-win32.cmake), for a 486 or later: every
# processor that Windows NT 4.0 runs on, and every Windows 95 machine from a
# 486 on. Debian builds these compilers, and the run-time they link (the CRT,
# libgcc, libstdc++), for the Pentium Pro: the code is compiled here for the
# 486, and linked with that run-time rebuilt for the 486 by
# scripts/i486_runtime.sh, whose folder TIERMO_I486_RUNTIME names
# (scripts/lib/build.sh passes it). The top-level CMakeLists.txt applies
# TIERMO_ARCH_OPTIONS and TIERMO_ARCH_LINK_OPTIONS; tests/imports/check_imports.sh
# holds the program to the 486's instructions and to that run-time.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-win32.cmake)

set(TIERMO_I486_RUNTIME "" CACHE PATH "The i686 run-time built for a 486 by scripts/i486_runtime.sh")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TIERMO_I486_RUNTIME)
# Without it the link would take Debian's run-time without a word.
if(NOT EXISTS "${TIERMO_I486_RUNTIME}/key")
  message(FATAL_ERROR "The i686 run-time for a 486 is missing (TIERMO_I486_RUNTIME: "
                      "'${TIERMO_I486_RUNTIME}' holds no complete one). Build it with `bash scripts/i486_runtime.sh`, which prints "
                      "its folder, and configure with -DTIERMO_I486_RUNTIME=<that folder>; the "
                      "scripts in scripts/ do both.")
endif()
# -mtune=generic: -march=i486 alone tunes for the 486 too, which made the
# string code about 10 KB larger.
set(TIERMO_ARCH_OPTIONS -march=i486 -mtune=generic)
# -B: the start-up objects (crt2.o, crtbegin.o, crtend.o); -L comes before the
# driver's own library folders.
set(TIERMO_ARCH_LINK_OPTIONS ${TIERMO_ARCH_OPTIONS} -B${TIERMO_I486_RUNTIME}/ -L${TIERMO_I486_RUNTIME})
