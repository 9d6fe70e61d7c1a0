#!/usr/bin/env bash
# The i686 program's run-time made for a 486: Debian builds the mingw-w64 CRT,
# libgcc and libstdc++ of its i686 cross compiler for the Pentium Pro (cmov,
# fcomi), one of them in the C start-up, so a program that links them stops
# before WinMain on a 486, a Pentium or a K6. This script builds the same
# sources, with the installed cross compiler (no compiler is built), for
# -march=i486 -mtune=generic and prints the folder that holds the 12 files the
# i686 link takes instead of Debian's (-B DIR/ -L DIR):
#   crt2.o dllcrt2.o libmingw32.a libmingwex.a libmsvcrt.a libmoldname.a
#                       the CRT's files with code (its import libraries have none)
#   libgcc.a libgcc_eh.a crtbegin.o crtend.o   libgcc
#   libstdc++.a libsupc++.a                    libstdc++
#
# The sources: GCC's from the package gcc-12-source (scripts/deps.sh installs
# it), which must be the GCC the cross compiler was built from; the CRT's from
# Debian's source package of the installed mingw-w64-i686-dev, fetched with
# apt-get through a private configuration whose deb-src lines are made from
# the system's own sources (the system's apt set-up is not touched).
#
# The folder is a cache outside the source tree, one folder per key: the
# versions of the cross compiler, mingw-w64-i686-dev and gcc-12-source, and
# this script's own text. A present folder is used as it is: it is built in a
# scratch folder beside it and moved into place only when complete.
#   TIERMO_RUNTIME_CACHE  the cache (default: ${XDG_CACHE_HOME:-$HOME/.cache}/tiermo/runtime)
#   TIERMO_JOBS           parallel build jobs (default: the machine's cores)
# About 5 minutes on 2 cores, 0.6 GB of scratch space, 14 MB kept. The
# progress goes to standard error, the folder alone to standard output.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib/remove.sh
source "$here/lib/remove.sh" # tiermo_remove_own, and constants.sh

host=i686$tiermo_triple_suffix
cross_package=gcc-mingw-w64-i686-win32
crt_package=mingw-w64-i686-dev
gcc_source_package=gcc-12-source
gcc_tarball=/usr/src/gcc-12/gcc-12.2.0-dfsg.tar.xz
plugin_include=/usr/lib/gcc/$host/12-win32/plugin/include
flags="-O2 -march=i486 -mtune=generic"
cache=${TIERMO_RUNTIME_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tiermo/runtime}
jobs=${TIERMO_JOBS:-$(nproc)}
crt_files=(crt2.o dllcrt2.o libmingw32.a libmingwex.a libmsvcrt.a libmoldname.a)
libgcc_files=(libgcc.a libgcc_eh.a crtbegin.o crtend.o)
libstdcxx_files=(libstdc++.a libsupc++.a)

say() { echo "i486 run-time: $*" >&2; }
die() { say "$*"; exit 1; }
# Runs a build step quietly into log $1; on failure shows its end, keeps it
# beside the cache (the scratch folder goes) and stops.
step() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 && return
    tail -n 40 "$log" >&2
    cp "$log" "$cache/failed.log" 2>/dev/null
    die "failed: $* (full log: $cache/failed.log)"
}
version_of() { dpkg-query -W -f='${db:Status-Abbrev}${Version}\n' "$1" 2>/dev/null | sed -n 's/^ii *//p'; }

cross_version=$(version_of "$cross_package")
crt_version=$(version_of "$crt_package")
gcc_source_version=$(version_of "$gcc_source_package")
for package in "$cross_package" "$crt_package" "$gcc_source_package"; do
    [[ -n $(version_of "$package") ]] || die "$package is not installed (scripts/deps.sh installs it)"
done
# The GCC the cross compiler was built from, as its package records it.
built_from=$(dpkg-query -W -f='${Built-Using}\n' "$cross_package" | sed -n 's/.*gcc-12 (= \([^)]*\)).*/\1/p')
if [[ $built_from != "$gcc_source_version" ]]; then
    die "the cross compiler $cross_package $cross_version was built from gcc-12 ${built_from:-(unknown)}, but gcc-12-source is $gcc_source_version: bring them to the same version (apt-get install $cross_package $gcc_source_package) and run this again"
fi
[[ -f $gcc_tarball && -d $plugin_include ]] || die "$gcc_tarball or $plugin_include is missing: reinstall $gcc_source_package and $cross_package"

script_sum=$(sha256sum "${BASH_SOURCE[0]}") script_sum=${script_sum%% *}
key_text="$cross_package $cross_version
$crt_package $crt_version
$gcc_source_package $gcc_source_version
script $script_sum"
key=$(sha256sum <<<"$key_text") key=${key:0:16}
dir=$cache/i486-$key
complete() { [[ -f $dir/key && $(<"$dir/key") == "$key_text" ]] && echo "$dir"; }
complete && exit 0

mkdir -p "$cache" || die "cannot make the cache folder $cache (TIERMO_RUNTIME_CACHE)"
cache=$(cd "$cache" && pwd -P)
dir=$cache/i486-$key
# One build at a time: a second run (another clone's) waits for the first and
# takes what it built.
{ exec {lock}>"$cache/lock" && flock "$lock"; } || die "cannot lock $cache/lock"
complete && exit 0
# Scratch folders of interrupted builds go first, then the scratch folder of
# this one, stamped as the scripts' own.
for old in "$cache"/build.*; do
    [[ -f $old/$tiermo_ready_mark ]] && (tiermo_remove_own "" "$old")
done
work=$(mktemp -d "$cache/build.XXXXXX") || die "cannot make a scratch folder in $cache"
echo "scratch folder of scripts/i486_runtime.sh" >"$work/$tiermo_ready_mark"
trap '(tiermo_remove_own "" "$work")' EXIT
logs=$work/logs out=$work/out src=$work/src
mkdir -p "$logs" "$out" "$src"
say "building the i686 run-time for a 486 into $dir (about 5 minutes; logs in $logs while it runs)"
started=$SECONDS

# --- the CRT's source, through apt-get with a private configuration whose
# deb-src lines are the system's deb lines.
apt=$work/apt
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
sed -n 's/^\([[:space:]]*\)deb\([[:space:]]\)/\1deb-src\2/p' /etc/apt/sources.list 2>/dev/null >"$apt/sources.list"
for file in /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] && sed -n 's/^\([[:space:]]*\)deb\([[:space:]]\)/\1deb-src\2/p' "$file" >>"$apt/sources.list"
done
for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file ]] && sed 's/^Types:.*/Types: deb-src/' "$file" >"$apt/sources.list.d/${file##*/}"
done
apt_options=(-o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=$apt/sources.list.d"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root)
apt-get -q "${apt_options[@]}" update >"$logs/apt-update.log" 2>&1
if ! (cd "$src" && apt-get -q "${apt_options[@]}" source --download-only "mingw-w64=$crt_version") >"$logs/apt-source.log" 2>&1; then
    cat "$logs/apt-update.log" "$logs/apt-source.log" >&2
    die "cannot fetch the source of mingw-w64 $crt_version, which the CRT is built from (offline, or no longer on the mirror?)"
fi
step "$logs/dpkg-source.log" dpkg-source -x "$src/mingw-w64_$crt_version.dsc" "$src/mingw-w64"

# --- GCC's source: libgcc and libstdc++, what they take from beside them
# (GCC's headers, libiberty's demangler), and the top-level configure helpers.
helpers=(config.guess config.sub install-sh missing mkinstalldirs ltmain.sh config-ml.in depcomp
    compile config.rpath move-if-change ar-lib test-driver libtool.m4 ltoptions.m4 ltsugar.m4
    ltversion.m4 'lt~obsolete.m4' libtool-ldflags)
members=()
for member in libgcc libstdc++-v3 libiberty libdecnumber gcc include config "${helpers[@]}"; do
    members+=("gcc-12.2.0/$member")
done
step "$logs/tar.log" tar -xJf "$gcc_tarball" -C "$src" --exclude='gcc-12.2.0/gcc/testsuite' \
    --exclude='gcc-12.2.0/libstdc++-v3/testsuite/*/*' "${members[@]}"
gcc_src=$src/gcc-12.2.0

# --- the CRT: only the files with code.
crt=$work/crt
mkdir -p "$crt/lib32"
say "the CRT (mingw-w64 $crt_version)"
(cd "$crt" && step "$logs/crt-configure.log" "$src/mingw-w64/mingw-w64-crt/configure" \
    --host=$host --disable-lib64 --enable-lib32 CC=$host-gcc-win32 CCAS=$host-gcc-win32 \
    CFLAGS="$flags") || exit 1
step "$logs/crt-make.log" make -C "$crt" -j "$jobs" "${crt_files[@]/#/lib32/}"
for file in "${crt_files[@]}"; do cp "$crt/lib32/$file" "$out/" || exit 1; done

# --- libgcc. Its configure and make expect GCC's object folder where GCC's
# own build has it (../../gcc from $host/libgcc): the cross compiler's plugin headers are that build's generated
# headers; tconfig.h as GCC's mkconfig.sh writes it for the target, and
# libgcc.mvars as GCC's Makefile writes it.
objdir=$work/gcc
libgcc=$work/$host/libgcc
mkdir -p "$objdir" "$libgcc"
for header in tm.h options.h insn-constants.h insn-flags.h insn-modes.h auto-host.h config.h tm_p.h \
    version.h bversion.h; do
    ln -s "$plugin_include/$header" "$objdir/$header" || exit 1
done
cat >"$objdir/tconfig.h" <<'EOF'
#ifndef GCC_TCONFIG_H
#define GCC_TCONFIG_H
#ifndef USED_FOR_TARGET
# define USED_FOR_TARGET
#endif
#include "auto-host.h"
#ifdef IN_GCC
# include "ansidecl.h"
# include "config/i386/xm-mingw32.h"
#endif
#endif /* GCC_TCONFIG_H */
EOF
cat >"$objdir/libgcc.mvars" <<'EOF'
GCC_CFLAGS = -W -Wall -Wno-narrowing -Wwrite-strings -Wcast-qual -Wstrict-prototypes -Wmissing-prototypes -Wold-style-definition -isystem ./include -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE
INHIBIT_LIBC_CFLAGS =
TARGET_SYSTEM_ROOT =
NO_PIE_CFLAGS =
EOF
say "libgcc (GCC $gcc_source_version)"
(cd "$libgcc" && step "$logs/libgcc-configure.log" "$gcc_src/libgcc/configure" \
    --build=x86_64-linux-gnu --host=$host --target=$host --enable-shared --enable-static \
    --disable-multilib --with-dwarf2 --disable-sjlj-exceptions --enable-threads=win32 \
    --enable-version-specific-runtime-libs CC=$host-gcc-win32 CFLAGS="-g $flags") || exit 1
step "$logs/libgcc-make.log" make -C "$libgcc" -j "$jobs" "${libgcc_files[@]}"
for file in "${libgcc_files[@]}"; do cp "$libgcc/$file" "$out/" || exit 1; done

# --- libstdc++, static only. The compiler driver as GCC's own build uses it
# (with g++ the configure tests see the installed C++ headers and get
# HAVE_MODF and C99 complex wrong). Without rdrand and rdseed, random_device
# uses rand_s: __x86_rdrand, compiled for a newer processor, holds a cmov.
# Verbose, as Debian's: --disable-libstdcxx-verbose took 50 KB off Tiermo.exe
# but 78 KB off the benchmark's floor, its size ratio from 1.17 to 1.46.
say "libstdc++ (GCC $gcc_source_version)"
mkdir -p "$work/libstdc++"
(cd "$work/libstdc++" && step "$logs/libstdc++-configure.log" "$gcc_src/libstdc++-v3/configure" \
    --build=x86_64-linux-gnu --host=$host --target=$host --with-cross-host=x86_64-linux-gnu \
    --disable-shared --disable-libstdcxx-pch --disable-nls --enable-libstdcxx-time=yes \
    --enable-fully-dynamic-string --enable-libstdcxx-filesystem-ts=yes \
    --enable-version-specific-runtime-libs \
    CXX="$host-gcc-win32 -shared-libgcc -nostdinc++" CC=$host-gcc-win32 \
    CXXFLAGS="$flags" CFLAGS="$flags" ac_cv_x86_rdrand=no ac_cv_x86_rdseed=no) || exit 1
step "$logs/libstdc++-make.log" make -C "$work/libstdc++" -j "$jobs"
for file in "${libstdcxx_files[@]}"; do cp "$work"/libstdc++/*/.libs/"$file" "$out/" || exit 1; done

# Complete: the key last, then into place.
echo "$key_text" >"$out/key"
echo "run-time built by scripts/i486_runtime.sh" >"$out/$tiermo_ready_mark"
[[ ! -e $dir ]] || (tiermo_remove_own "" "$dir") || exit 1
mv "$out" "$dir" || die "cannot move the run-time into $dir"
say "done in $((SECONDS - started)) s: $dir"
echo "$dir"
