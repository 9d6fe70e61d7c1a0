# shellcheck shell=bash
# Names that the set-up, build and test scripts share, each set here only.
# Source it; it defines these and nothing else:
#
#   tiermo_arches          the architectures Tiermo is built for, 64-bit first
#   tiermo_wine32_loader   32-bit Wine's loader, itself a 32-bit Linux program:
#                          where it runs, the machine runs 32-bit programs
#   tiermo_binfmt_dir      the kernel's binfmt_misc directory
#   tiermo_binfmt_handler  the binfmt_misc handler of i386 programs that
#                          scripts/emulation.sh sets up (qemu's own name)

# shellcheck disable=SC2034 # for the scripts that source this
{
    tiermo_arches=(x86_64 i686)
    tiermo_wine32_loader=/usr/lib/wine/wine
    tiermo_binfmt_dir=/proc/sys/fs/binfmt_misc
    tiermo_binfmt_handler=qemu-i386
}
