# shellcheck shell=bash
# The binfmt_misc handler of i386 programs that scripts/emulation.sh sets up:
# its rule, its entry as the kernel shows it, and its registration as root.
# Source it; it sources root.sh and constants.sh, and defines the variables
# below and the functions after them.
# shellcheck source=root.sh
source "$(dirname "${BASH_SOURCE[0]}")/root.sh"
# shellcheck source=constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/constants.sh"

# shellcheck disable=SC2034 # for scripts/emulation.sh
{
    qemu=/usr/bin/qemu-i386-static
    binfmt_name=$tiermo_binfmt_handler
    binfmt_dir=$sys$tiermo_binfmt_dir
    entry=$binfmt_dir/$binfmt_name
    # i386 ELF executables and shared objects. "F" opens the interpreter when
    # the handler is registered: it keeps running that qemu after an upgrade,
    # so setup registers the handler after it installs qemu.
    binfmt_rule=":$binfmt_name:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F"
}

# The handler's entry into `handler` (state, interpreter, flags, and offset,
# magic and mask or extension); false when there is none.
declare -A handler
read_entry() {
    local line key
    handler=()
    [[ -r $entry ]] || return 1
    {
        IFS= read -r 'handler[state]'
        while IFS= read -r line; do
            key=${line%% *}
            handler[${key%:}]=${line#* }
        done
    } <"$entry"
}

# The registration that makes the entry in `handler` again.
hex_escaped() { local hex=$1 out=""; while [[ -n $hex ]]; do out+="\\x${hex:0:2}" hex=${hex:2}; done; echo "$out"; }
entry_rule() {
    local tail=${handler[interpreter]}:${handler[flags]}
    if [[ -n ${handler[extension]:-} ]]; then
        echo ":$binfmt_name:E::${handler[extension]#.}::$tail"
    else
        echo ":$binfmt_name:M:${handler[offset]}:$(hex_escaped "${handler[magic]}"):$(hex_escaped "${handler[mask]:-}"):$tail"
    fi
}

unregister() { write_or_fail "$entry" -1; }
# Registers rule $1 in state $2 (enabled or disabled); false when the kernel refuses it.
register() {
    printf '%s' "$1" | run_quiet tee "$binfmt_dir/register" || return 1
    [[ ${2:-enabled} == enabled ]] || write_or_fail "$entry" 0
}
