# shellcheck shell=bash
# Names that the set-up, build and test scripts share, each set here only.
# Source it; it defines these and nothing else (CMake reads the lines
# NAME=VALUE of its own: cmake/shell_constant.cmake):
#
#   tiermo_arches          the architectures Tiermo is built for, 64-bit first
#   tiermo_triple_suffix   what follows the architecture in the toolchain's
#                          triple (x86_64-w64-mingw32), and in its file name
#                          in cmake/
#   tiermo_wine32_loader   32-bit Wine's loader, itself a 32-bit Linux program:
#                          where it runs, the machine runs 32-bit programs
#   tiermo_wine64_loader   64-bit Wine's loader, which the rig runs everything
#                          through
#   tiermo_binfmt_dir      the kernel's binfmt_misc directory
#   tiermo_binfmt_handler  the binfmt_misc handler of i386 programs that
#                          scripts/emulation.sh sets up (qemu's own name)
#   tiermo_emulation_record  what scripts/emulation.sh changed, for its undo
#   tiermo_ready_mark      the stamp that makes a directory the scripts' own
#                          (scripts/lib/remove.sh)
#   tiermo_skip_code       the exit code of a check that cannot run here,
#                          which CTest counts as skipped

# shellcheck disable=SC2034 # for the scripts that source this
{
    tiermo_arches=(x86_64 i686)
    tiermo_triple_suffix=-w64-mingw32
    tiermo_wine32_loader=/usr/lib/wine/wine
    tiermo_wine64_loader=/usr/lib/wine/wine64
    tiermo_binfmt_dir=/proc/sys/fs/binfmt_misc
    tiermo_binfmt_handler=qemu-i386
    tiermo_emulation_record=/var/lib/tiermo/emulation.record
    tiermo_ready_mark=.tiermo-ready
    tiermo_skip_code=77
}
