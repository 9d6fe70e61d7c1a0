# shellcheck shell=bash
# Names that the set-up, build and test scripts share, each set here only.
# Source it; it defines these and nothing else. CMake reads the lines
# NAME=VALUE of its own (cmake/script_value.cmake).

# shellcheck disable=SC2034 # for the scripts that source this
{
    tiermo_arches=(x86_64 i686) # the architectures Tiermo is built for, 64-bit first
    # What follows the architecture in the toolchain's triple, and in its file in cmake/.
    tiermo_triple_suffix=-w64-mingw32
    # 32-bit Wine's loader, itself a 32-bit Linux program: where it runs, the
    # machine runs 32-bit programs. The rig runs everything through the 64-bit one.
    tiermo_wine32_loader=/usr/lib/wine/wine
    tiermo_wine64_loader=/usr/lib/wine/wine64
    tiermo_binfmt_dir=/proc/sys/fs/binfmt_misc
    # The binfmt_misc handler of i386 programs that scripts/emulation.sh sets
    # up (qemu's own name), and its record of what it changed, for its undo.
    tiermo_binfmt_handler=qemu-i386
    tiermo_emulation_record=/var/lib/tiermo/emulation.record
    # The stamp that makes a directory the scripts' own (scripts/lib/remove.sh).
    tiermo_ready_mark=.tiermo-ready
    # The exit code of a check that cannot run here, which CTest counts as skipped.
    tiermo_skip_code=77
}
