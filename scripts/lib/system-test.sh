# Shared by the system tests (sourced): polling, pass/fail counting and a private
# Xvfb. The caller sets WORK to its scratch folder first.

# wait_for TIMEOUT_SECONDS COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

PASSED=0
FAILED=0
# check NAME COMMAND...: counts and reports one check.
check() {
  local name=$1; shift
  if "$@"; then echo "ok: $name"; PASSED=$((PASSED + 1)); else echo "FAIL: $name"; FAILED=$((FAILED + 1)); fi
}

# summary NAME: the closing line; the status is that of the whole test.
summary() {
  echo "$1 system test: $PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ]
}

# start_xvfb XVFB-ARGS...: starts Xvfb on a display number it picks itself, sets
# XVFB_PID (for the caller's clean-up) and exports DISPLAY.
start_xvfb() {
  exec 3>"$WORK/display"
  Xvfb -displayfd 3 "$@" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  exec 3>&-
  wait_for 10 test -s "$WORK/display" || { echo "FAIL: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
  export DISPLAY=":$(head -1 "$WORK/display")"
}
