# shellcheck shell=bash
# The one way the scripts remove a directory tree. wine_session.sh sources it
# (scripts/lib/build.sh through it); it defines two functions.
#
#   tiermo_remove_own ROOT DIR...
#
# rm -rf of each DIR that is the scripts' own, and of nothing else. A DIR is
# their own when it
#   - holds the stamp RIG_READY_MARK (.tiermo-ready) that the rig writes into
#     the Wine prefixes it made (and check_reproducible.sh into its scratch
#     build roots), or
#   - is empty, or
#   - lies inside ROOT, and ROOT is a Tiermo build tree (a directory holding
#     the CMakeCache.txt of a Tiermo configuration): the build tree that made
#     DIR. Pass "" when there is none (tiermo_build_tree_of finds one).
# Paths are compared as the file system resolves them (symbolic links and
# ".." followed). A DIR that does not exist is passed over. Any other DIR, and
# "/", "." or "..", stops the script (exit 1) with a message naming it, before
# anything is removed.
tiermo_remove_own() {
    local root=$1 path name real targets=()
    shift
    if [[ -n $root ]]; then
        root=$(cd "$root" 2>/dev/null && pwd -P) && tiermo_is_build_tree "$root" || root=""
    fi
    for path in "$@"; do
        [[ -e $path || -L $path ]] || continue
        name=${path%/} name=${name##*/}
        real=$(cd "$path" 2>/dev/null && pwd -P)
        if [[ -z $real || $real == / || -z $name || $name == . || $name == .. ]]; then
            echo "refusing to remove '$path': not a directory of its own" >&2
            exit 1
        fi
        if [[ ! -f $real/${RIG_READY_MARK:?} && -n $(ls -A -- "$real" 2>&1) &&
            (-z $root || $real/ != "$root"/*) ]]; then
            echo "refusing to remove '$path': not made by Tiermo's scripts (no $RIG_READY_MARK in it, not empty, not inside the build tree that made it); remove it yourself, or choose another directory" >&2
            exit 1
        fi
        # The path itself: a symbolic link goes, not what it points to.
        targets+=("$(cd "$(dirname -- "$path")" && pwd -P)/$name")
    done
    [[ ${#targets[@]} -eq 0 ]] || rm -rf -- "${targets[@]}"
}

# Whether directory $1 is a Tiermo build tree.
tiermo_is_build_tree() { grep -qsx 'CMAKE_PROJECT_NAME:STATIC=Tiermo' "$1/CMakeCache.txt"; }

# The Tiermo build tree that directory $1 lies in (the nearest one above it);
# nothing when there is none.
tiermo_build_tree_of() {
    local dir
    dir=$(cd "$(dirname -- "$1")" 2>/dev/null && pwd -P) || return 0
    while [[ $dir != / ]]; do
        tiermo_is_build_tree "$dir" && echo "$dir" && return
        dir=$(dirname -- "$dir")
    done
}
