# The checks of the rig's shell tests: source it, call check for each
# expectation and checks_done at the end (exits 1 when any failed).
failures=0

check() { # description, expected, actual
    if [[ $2 == "$3" ]]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

checks_done() { # what passed
    if [[ $failures -ne 0 ]]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all $1 checks passed"
}
