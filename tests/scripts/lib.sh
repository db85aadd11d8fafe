# Tiny assertion helpers for the end-to-end scripts; each script ends with `finish`.
passed=0
failed=0

check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what" >&2
    fi
}

same() {  # same EXPECTED ACTUAL
    if [ "$1" = "$2" ]; then
        return 0
    fi
    printf -- '--- expected\n%s\n--- actual\n%s\n' "$1" "$2" >&2
    return 1
}

contains() {  # contains NEEDLE HAYSTACK
    case "$2" in
    *"$1"*) return 0 ;;
    esac
    printf -- 'missing: %s\nin: %s\n' "$1" "$2" >&2
    return 1
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
