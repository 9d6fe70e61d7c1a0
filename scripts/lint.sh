#!/usr/bin/env bash
# The lint gate: shellcheck -x, with the repository's .shellcheckrc, on every
# tracked shell script (the *.sh files and those whose first line starts bash
# or sh), from the repository's root; and every tracked file that starts with
# "#!" must be executable in git. Outside a git checkout there is no list
# of tracked files: it says so and exits tiermo_skip_code, which CTest counts
# as skipped.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
# shellcheck source=lib/constants.sh
source scripts/lib/constants.sh
if ! command -v shellcheck >/dev/null; then
    echo "lint: shellcheck is not installed (scripts/deps.sh installs it)" >&2
    exit 1
fi
if ! tracked=$(git ls-files 2>/dev/null) || [[ -z $tracked ]]; then
    echo "lint: SKIPPED, not a git checkout: no list of the tracked scripts"
    exit "$tiermo_skip_code"
fi
scripts=()
while IFS= read -r file; do
    if [[ $file == *.sh ]] || head -c 128 -- "$file" | head -n 1 | grep -qE '^#!.*[/ ](ba)?sh( |$)'; then
        scripts+=("$file")
    fi
done <<<"$tracked"
status=0
# Mode 100644 in git's index: a script that cannot be run by its name.
while read -r mode _ _ file; do
    first=""
    [[ $mode == 100644 ]] && IFS= read -r -n 2 first <"$file" 2>/dev/null
    if [[ $first == '#!' ]]; then
        echo "lint: $file starts with #! but is not executable (git update-index --chmod=+x)"
        status=1
    fi
done < <(git ls-files -s)
echo "lint: shellcheck -x on ${#scripts[@]} scripts"
shellcheck -x -- "${scripts[@]}" || status=1
exit $status
