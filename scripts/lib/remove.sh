# shellcheck shell=bash
# The one way the scripts remove a tree. Source it; it defines one function.

# rm -rf, only for what lies inside directory $1 (an existing directory other
# than /, such as the build root): removes the paths that follow, and stops
# the script before removing anything when one is empty, "." or "..", or
# outside $1.
tiermo_remove_inside() {
    local root path dir name targets=()
    root=$(cd "${1:-/}" 2>/dev/null && pwd -P)
    if [[ -z $root || $root == / ]]; then
        echo "refusing to remove anything inside '$1': not a directory of its own" >&2
        exit 1
    fi
    shift
    for path in "$@"; do
        name=${path%/}
        name=${name##*/}
        dir=$(dirname -- "$path")
        if [[ -z $name || $name == . || $name == .. ]]; then
            echo "refusing to remove '$path'" >&2
            exit 1
        fi
        [[ -d $dir ]] || continue
        dir=$(cd "$dir" && pwd -P)
        if [[ $dir/ != "$root"/* ]]; then
            echo "refusing to remove '$path': not inside $root" >&2
            exit 1
        fi
        targets+=("$dir/$name")
    done
    [[ ${#targets[@]} -eq 0 ]] || rm -rf -- "${targets[@]}"
}
