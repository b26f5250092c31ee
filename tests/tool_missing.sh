# Sourced by the test scripts that hand files to tools no one here wrote. `make test` installs
# every one of them (scripts/setup.sh), so in CI (CI=true) a missing tool can only be a broken
# set-up: the script fails there instead of passing with a "SKIP". Elsewhere it skips (exit 0).

tool_missing() {   # tool_missing MESSAGE: ends the script
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $* (CI=true, and make test installs it)"
    exit 1
  fi
  echo "SKIP: $*"
  exit 0
}

require_tools() {   # require_tools TOOL...: tool_missing for the first one that is not installed
  local tool
  for tool; do
    command -v "$tool" >/dev/null || tool_missing "$tool is not installed"
  done
}
