# Helpers for the after_run checks of Wine cases (sourced by run-case.sh).

# reg_value KEY NAME: the type and data that reg query shows for one value.
reg_value() {
  "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ +/, ""); print }'
}

# expect_equal WHAT ACTUAL EXPECTED
expect_equal() {
  if [ "$2" != "$3" ]; then
    echo "  $1: got '$2', expected '$3'" >&2
    return 1
  fi
}
