#!/usr/bin/env bash
# The lint gate: shellcheck -x, with the repository's .shellcheckrc, on every
# tracked shell script (the *.sh files and those whose first line starts bash
# or sh), from the repository's root. Outside a git checkout there is no list
# of tracked files: it says so and exits 77, which CTest counts as skipped.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
if ! command -v shellcheck >/dev/null; then
    echo "lint: shellcheck is not installed (scripts/deps.sh installs it)" >&2
    exit 1
fi
if ! tracked=$(git ls-files 2>/dev/null) || [[ -z $tracked ]]; then
    echo "lint: SKIPPED, not a git checkout: no list of the tracked scripts"
    exit 77
fi
scripts=()
while IFS= read -r file; do
    if [[ $file == *.sh ]] || head -c 128 -- "$file" | head -n 1 | grep -qE '^#!.*[/ ](ba)?sh( |$)'; then
        scripts+=("$file")
    fi
done <<<"$tracked"
echo "lint: shellcheck -x on ${#scripts[@]} scripts"
shellcheck -x -- "${scripts[@]}"
