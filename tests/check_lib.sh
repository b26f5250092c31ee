# Sourced by the scripts that hand files written by our codecs to tools no one here wrote. Counts
# checks and failures; the sourcing script sets check_log to a scratch file that it removes itself,
# and ends with check_summary (the script's exit status).
failures=0
checks=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {   # run DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  checks=$((checks + 1))
  if ! timeout 60 "$@" >"${check_log:?}" 2>&1 </dev/null; then
    fail "$what"
    sed 's/^/    /' "$check_log" | head -20
  fi
}

run_clean() {   # run_clean DESCRIPTION COMMAND...: the command must succeed without an error message
  local what=$1; shift
  checks=$((checks + 1))
  if ! timeout 60 "$@" >"${check_log:?}" 2>&1 </dev/null || grep -qi "error" "$check_log"; then
    fail "$what"
    sed 's/^/    /' "$check_log" | head -20
  fi
}

expect() {   # expect DESCRIPTION EXPECTED COMMAND...: the command's output must equal EXPECTED
  local what=$1 want=$2; shift 2
  checks=$((checks + 1))
  local got
  got=$(timeout 60 "$@" 2>/dev/null </dev/null)
  if [ "$got" != "$want" ]; then
    fail "$what"
    echo "    expected: $want"
    echo "    got:      $got"
  fi
}

check_summary() {
  echo "$checks checks, $failures failures"
  [ "$failures" -eq 0 ]
}
