# What the two toolchain files share: cross-compiling for Windows with
# MinGW-w64's win32 thread-model compilers for CMAKE_SYSTEM_PROCESSOR, which
# the including file sets. Their C++ runtime uses no threading library: the
# posix model links libwinpthread into every program, and that imports
# GetTickCount64, which Windows has from Vista on, and
# AddVectoredExceptionHandler, from XP on (neither is in Windows 95 or NT 4.0;
# XP Professional x64 Edition has the second but not the first). The program
# has no threads; the tests make theirs with CreateThread, and GoogleTest's
# Notification is given in tests/gtest_custom/gtest/internal/custom/gtest-port.h.
set(CMAKE_SYSTEM_NAME Windows)
include(${CMAKE_CURRENT_LIST_DIR}/script_value.cmake)
tiermo_script_value(scripts/lib/constants.sh tiermo_triple_suffix triple_suffix)
set(TOOLCHAIN_PREFIX ${CMAKE_SYSTEM_PROCESSOR}${triple_suffix})
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
