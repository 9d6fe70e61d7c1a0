# shellcheck shell=bash
# Running commands as root, for scripts/deps.sh and scripts/emulation.sh.
# Source it after setting `me` (the prefix of the messages). It sets `sys`, the
# root of the system's files: DEPS_ROOT, which the set-up tests point at a
# tree of their own, else /.

# shellcheck disable=SC2034 # for the scripts that source this
sys=${DEPS_ROOT:-}

# shellcheck disable=SC2154 # me: set by the script that sources this
say() { echo "$me: $*" >&2; }

# Sets `sudo` to what runs a command as root, or ends the script saying why
# it needs root ($1).
sudo=()
need_root() {
    [[ $(id -u) == 0 ]] && return
    if ! command -v sudo >/dev/null; then
        say "$1"
        say "not root and no sudo: run this script as root"
        exit 1
    fi
    sudo=(sudo)
}

# Runs a command as root quietly, its output kept in `run_output`; on failure
# shows the output and what failed, and returns its status.
run_output=""
run_quiet() {
    local status
    run_output=$("${sudo[@]}" "$@" 2>&1) && return 0
    status=$?
    printf '%s\n' "$run_output" >&2
    say "failed: $*"
    return $status
}

# As run_quiet, but a failure ends the script.
run_or_fail() { run_quiet "$@" || exit 1; }

# Writes text $2 to file $1 as root; a failure ends the script.
write_or_fail() { printf '%s' "$2" | run_or_fail tee "$1" || exit 1; }

# apt-get as root, quiet. sudo resets the environment, so the variable that
# keeps debconf from asking (unseen, as the output is captured) is passed
# through env. When it fails, the warnings of the last apt_update come first.
apt_get() {
    run_quiet env DEBIAN_FRONTEND=noninteractive apt-get -q "$@" && return
    local status=$?
    [[ -z $apt_warnings ]] || say "apt-get update had warned:"$'\n'"$apt_warnings"
    return $status
}

# apt-get update, with the options "$@". A source that cannot be read (a
# mirror out of reach, offline) is only a warning "W:" to apt-get, which exits
# 0; the warnings are kept in `apt_warnings` for a later failure, and
# `-o APT::Update::Error-Mode=any` makes them errors.
apt_warnings=""
apt_update() {
    apt_get "$@" update || return
    apt_warnings=$(grep '^W:' <<<"$run_output")
    return 0
}
