# shellcheck shell=bash
# The record of the changes that scripts/emulation.sh makes, for its undo:
# reading it, and adding and dropping lines as root so that no line is ever
# lost. Source it; it sources root.sh, and sets `record`, the record's path.
# shellcheck source=root.sh
source "$(dirname "${BASH_SOURCE[0]}")/root.sh"
# shellcheck source=constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/constants.sh"

record=$sys$tiermo_emulation_record

# The record: one change a line, "KIND DETAILS", in the order they were made.
# Its lines into `lines`.
read_record() {
    lines=()
    [[ -f $record ]] && mapfile -t lines <"$record"
}
# Whether the record holds line $1; with "start" as $2, a line that starts with $1.
recorded() {
    local line lines
    read_record
    for line in "${lines[@]}"; do
        [[ $line == "$1" || (${2:-} == start && $line == "$1"*) ]] && return
    done
    return 1
}
# Adds line $1 at the end, unless the record has it (a run again after one
# that stopped); true when it added it.
record_add() {
    local text=$1$'\n'
    recorded "$1" && return 1
    [[ -d ${record%/*} ]] || run_or_fail mkdir -p "${record%/*}"
    # On a line of its own, also after a last line without its newline.
    [[ -s $record && -n $(tail -c 1 "$record") ]] && text=$'\n'$text
    printf '%s' "$text" | run_or_fail tee -a "$record" || exit 1
}
# Writes `lines` as the record, through a new file that replaces it once
# written; the record and its directory go when there are none.
record_write() {
    if [[ ${#lines[@]} -gt 0 ]]; then
        run_or_fail mkdir -p "${record%/*}"
        if ! printf '%s\n' "${lines[@]}" | run_quiet tee "$record.new"; then
            run_quiet rm -f "$record.new"
            exit 1
        fi
        run_or_fail mv -f "$record.new" "$record"
    elif [[ -d ${record%/*} ]]; then
        run_or_fail rm -f "$record"
        run_or_fail rmdir --ignore-fail-on-non-empty "${record%/*}"
    fi
}
# Drops line $1, the last one that is (a change not made after all).
record_drop() {
    local i
    mapfile -t lines <"$record"
    for ((i = ${#lines[@]} - 1; i >= 0; i--)); do
        [[ ${lines[i]} == "$1" ]] || continue
        unset "lines[i]"
        record_write
        return
    done
}
