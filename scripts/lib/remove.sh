# shellcheck shell=bash
# The one way the scripts remove a directory tree, and the stamp that makes a
# directory theirs. wine_session.sh sources it (scripts/lib/build.sh through
# it); it defines these functions.
#
#   tiermo_remove_own ROOT DIR...
#
# rm -rf of each DIR that is the scripts' own, and of nothing else. A DIR is
# their own when it
#   - holds the stamp tiermo_ready_mark (constants.sh) that the scripts write
#     into what they make (tiermo_make_own), or
#   - is empty, or
#   - lies inside ROOT, and ROOT is a Tiermo build tree (a directory holding
#     the CMakeCache.txt of a Tiermo configuration): the build tree that made
#     DIR. Pass "" when there is none (tiermo_build_tree_of finds one).
# Paths are compared as the file system resolves them (symbolic links and
# ".." followed, CDPATH not searched), and the path checked is the one
# removed; of a symbolic link, the link goes, once what it points to is the
# scripts' own. A DIR that does not exist is passed over. Any other DIR, and
# "/", "." or "..", is refused with a message naming it, and nothing is
# removed: the function fails (callers stop, or in a clean-up go on with
# the rest of it). The stamp goes last, so that a removal stopped part-way
# leaves a directory that is still the scripts' own.
# shellcheck source=constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/constants.sh"

tiermo_remove_own() {
    local root=$1 path entry name up real targets=() target
    shift
    if [[ -n $root ]]; then
        tiermo_physical_dir root "$root" && tiermo_is_build_tree "$root" || root=""
    fi
    for path in "$@"; do
        [[ -e $path || -L $path ]] || continue
        entry=$path
        while [[ $entry == */ ]]; do entry=${entry%/}; done
        name=${entry##*/} up=.
        [[ $entry == */* ]] && up=${entry%/*}
        if [[ -z $name || $name == . || $name == .. ]] || ! tiermo_physical_dir real "$path" ||
            [[ $real == / ]] || ! tiermo_physical_dir up "${up:-/}"; then
            echo "refusing to remove '$path': not a directory of its own" >&2
            return 1
        fi
        if [[ ! -f $real/$tiermo_ready_mark && -n $(ls -A -- "$real" 2>&1) &&
            (-z $root || $real/ != "$root"/*) ]]; then
            echo "refusing to remove '$path': not made by Tiermo's scripts (no $tiermo_ready_mark in it, not empty, not inside the build tree that made it); remove it yourself, or choose another directory" >&2
            return 1
        fi
        target=${up%/}/$name
        [[ -L $target ]] || target=$real
        targets+=("$target")
    done
    for target in "${targets[@]}"; do
        if [[ ! -L $target && -f $target/$tiermo_ready_mark ]]; then
            find "$target" -mindepth 1 -maxdepth 1 ! -name "$tiermo_ready_mark" -exec rm -rf -- {} + || return 1
        fi
        rm -rf -- "$target" || return 1
    done
}

# Makes directory $1 the scripts' own before anything goes into it: makes it
# (and the directories above it) when it is missing, or takes it when it is
# empty, and stamps it (tiermo_ready_mark). The stamp's text says that the
# directory is not ready yet: a prefix gets its real stamp once it is made,
# and one stopped part-way is made anew, not refused.
tiermo_make_own() {
    mkdir -p -- "$1" || return 1
    if [[ -n $(ls -A -- "$1" 2>&1) ]]; then
        echo "refusing to use '$1': it is not empty" >&2
        return 1
    fi
    echo "being made by Tiermo's scripts" >"$1/$tiermo_ready_mark"
}

# Sets the variable named $1 to the physical path of directory $2 (symbolic
# links and ".." resolved, CDPATH not searched, a newline at its end kept);
# fails when $2 is no directory.
tiermo_physical_dir() {
    local out
    out=$(unset CDPATH && cd -P -- "$2" 2>/dev/null && pwd -P && echo /) || return 1
    printf -v "$1" '%s' "${out%$'\n/'}"
}

# Whether directory $1 is a Tiermo build tree.
tiermo_is_build_tree() { grep -qsx 'CMAKE_PROJECT_NAME:STATIC=Tiermo' "$1/CMakeCache.txt"; }

# The Tiermo build tree that directory $1 lies in (the nearest one above it);
# nothing when there is none.
tiermo_build_tree_of() {
    local path=$1 dir=. up
    while [[ $path == */ ]]; do path=${path%/}; done
    [[ $path == */* ]] && dir=${path%/*}
    tiermo_physical_dir up "${dir:-/}" || return 0
    while [[ -n $up && $up != / ]]; do
        tiermo_is_build_tree "$up" && echo "$up" && return
        up=${up%/*}
    done
}
