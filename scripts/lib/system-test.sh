# Shared by the system tests (sourced): the scratch folder and the clean-up, polling,
# pass/fail counting, a private Xvfb, and the few observations that tell a test the
# program under test has taken its input.
#
#   system_test_begin NAME TOOL...   at the start: the tools must be there; $WORK made
#   track_pid PID                    a background process that the clean-up ends
#   at_exit COMMAND                  run by the clean-up too (after the processes went)
#   check NAME COMMAND...            one counted check; need: the same, fatal
#   summary NAME                     the closing line; ends the test
#   dialog_language LOCALE-FOLDER    the dialog's caption in the run's language
#
# A command that a check runs may put what it saw into SEEN: a failed check prints
# it. wait_for puts how long it waited into WAITED.
_quipix_lib="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$_quipix_lib/errtrap.sh"
. "$_quipix_lib/host.sh"

TEST_NAME=""
WORK=""
SEEN=""
WAITED=""
PASSED=0
FAILED=0
_quipix_pids=()
_quipix_at_exit=()
_quipix_summarized=""

# dialog_language LOCALE-FOLDER: TITLE, the dialog's caption as the compiled catalogue
# in LOCALE-FOLDER words it in the language of the run (the environment's, as
# gettext reads it; English in the C locale), and SHOT_LANGUAGE, "" for English and
# "-<language>" otherwise, for the pictures' names. A run in another language whose
# catalogue or locale is missing stops at once instead of testing English again.
dialog_language() {
  local english="Kelvara Jokes Screen Saver Configuration" locale
  locale=${LC_ALL:-${LC_MESSAGES:-${LANG:-C}}}
  locale=${locale%%[.@]*}
  case $locale in
    C | POSIX | en | en_*) SHOT_LANGUAGE="" ;;
    *) SHOT_LANGUAGE="-${locale%%_*}" ;;
  esac
  TITLE=$(TEXTDOMAINDIR=$1 gettext -d quipix "$english")
  if [ -n "$SHOT_LANGUAGE" ] && [ "$TITLE" = "$english" ]; then
    echo "$TEST_NAME: no $locale catalogue in $1, or no $locale locale on this system (scripts/install-deps.sh makes it)"
    exit 1
  fi
}

# system_test_begin NAME TOOL...: checks that every TOOL is on the PATH, makes the
# scratch folder $WORK and installs the one clean-up, which also prints the summary
# of a test that ended early.
system_test_begin() {
  TEST_NAME=$1
  shift
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$TEST_NAME.sh: $tool is missing"; exit 1; }
  done
  WORK=$(mktemp -d)
  trap _quipix_end EXIT
  # Interrupted, the clean-up still runs (and says so through the status).
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

# track_pid PID: a process of the test's own, ended by the clean-up if it still runs.
track_pid() { _quipix_pids+=("$1"); }

# at_exit COMMAND: a command (one string, evaluated) for the clean-up, after the
# test's processes have gone and before $WORK is removed.
at_exit() { _quipix_at_exit+=("$1"); }

# _quipix_stop PIDS...: ends those of the given processes that are still children of
# this shell (a number that has since gone to another process is left alone), with
# their own children: a function run in the background (wine, say) is a shell whose
# child is the program.
_quipix_stop() {
  local pid live=() end
  for pid in "$@"; do
    [ "$(ps -o ppid= -p "$pid" 2>/dev/null | tr -d ' ')" = "$$" ] || continue
    pkill -TERM -P "$pid" 2>/dev/null
    kill -TERM "$pid" 2>/dev/null && live+=("$pid")
  done
  [ ${#live[@]} -gt 0 ] || return 0
  end=$((SECONDS + 10))
  for pid in "${live[@]}"; do
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { pkill -KILL -P "$pid" 2>/dev/null; kill -KILL "$pid" 2>/dev/null; }
    wait "$pid" 2>/dev/null
  done
}

# stop PID...: ends those processes (and their children) now.
stop() { _quipix_stop "$@" || true; }

_quipix_end() {
  local status=$? i
  # Nothing of the clean-up counts as a failure of the test.
  set +e
  trap - ERR
  # Wine first: its programs end with their server, and then the X server may go.
  if [ -n "${WINEPREFIX:-}" ] && declare -F wineserver >/dev/null; then
    wineserver -k 2>/dev/null
  fi
  local reversed=()
  for ((i = ${#_quipix_pids[@]} - 1; i >= 0; i--)); do reversed+=("${_quipix_pids[i]}"); done
  [ ${#reversed[@]} -eq 0 ] || _quipix_stop "${reversed[@]}"
  for ((i = ${#_quipix_at_exit[@]} - 1; i >= 0; i--)); do eval "${_quipix_at_exit[i]}"; done
  [ -z "$WORK" ] || rm -rf "$WORK"
  if [ -z "$_quipix_summarized" ] && [ -n "$TEST_NAME" ] && [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    echo "$TEST_NAME system test: $PASSED passed, $FAILED failed, ended early (status $status)"
  fi
  exit "$status"
}

# gone PID: process PID has ended. One whose parent ended first, and which nothing
# reaps then (an init that does not), stays as a zombie: that counts as ended too.
gone() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 0
  [ -z "$state" ] || [ "${state#Z}" != "$state" ]
}

# wait_for TIMEOUT_SECONDS COMMAND...: polls until COMMAND succeeds; on a timeout
# WAITED says how long it waited.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  WAITED=""
  until "$@"; do
    if [ $SECONDS -ge $end ]; then
      WAITED=$limit
      return 1
    fi
    sleep 0.1
  done
}

# _quipix_seen: what a failed check or wait adds to its line.
_quipix_seen() {
  local why=""
  [ -z "$WAITED" ] || why="waited ${WAITED} s"
  [ -z "$SEEN" ] || why="${why:+$why; }seen: $SEEN"
  [ -z "$why" ] || printf ' (%s)' "$why"
}

# check NAME COMMAND...: counts and reports one check.
check() {
  local name=$1
  shift
  SEEN=""
  WAITED=""
  if "$@"; then
    echo "ok: $name"
    PASSED=$((PASSED + 1))
  else
    echo "FAIL: $name$(_quipix_seen)"
    FAILED=$((FAILED + 1))
  fi
}

# need NAME COMMAND...: a check that what follows cannot do without: failed, the
# test ends here.
need() {
  local before=$FAILED
  check "$@"
  [ "$FAILED" -eq "$before" ] || exit 1
}

# fail MESSAGE: a failure that ends the test.
fail() {
  echo "FAIL: $*"
  FAILED=$((FAILED + 1))
  exit 1
}

# settle TIMEOUT WHAT COMMAND...: waits for a state that the next check starts from;
# one that does not come is reported (that check then fails and says why).
settle() {
  local limit=$1 what=$2
  shift 2
  SEEN=""
  WAITED=""
  wait_for "$limit" "$@" || echo "note: $what did not come$(_quipix_seen)"
}

# equals ACTUAL EXPECTED: for checks of a value, which a failure then prints.
equals() {
  SEEN=$1
  [ "$1" = "$2" ]
}

# at_least ACTUAL MINIMUM: the same for a number that may be larger.
at_least() {
  SEEN=$1
  [ -n "$1" ] && [ "$1" -ge "$2" ]
}

# summary NAME: the closing line; ends the test, with a failure status when a check
# failed.
summary() {
  _quipix_summarized=1
  echo "$1 system test: $PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ] || exit 1
  exit 0
}

# start_xvfb XVFB-ARGS...: starts Xvfb on a display number it picks itself (the
# clean-up ends it) and exports DISPLAY. Without -noreset the server starts afresh
# whenever its last client leaves (after each xdotool or import between two
# programs), and refuses connections meanwhile: a program that starts then cannot
# open the display (the xscreensaver daemon ends at once, silently), and the longer
# the machine takes to start afresh, the likelier that is.
start_xvfb() {
  exec 3>"$WORK/display"
  Xvfb -displayfd 3 -noreset "$@" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  exec 3>&-
  track_pid "$XVFB_PID"
  if ! wait_for 60 test -s "$WORK/display"; then
    cat "$WORK/xvfb.log"
    fail "Xvfb did not start within 60 s"
  fi
  export DISPLAY=":$(head -1 "$WORK/display")"
}

# start_test_window: the build's plain test window ($TESTWIN, 240 x 180, grey), which
# takes commands ("resize W H", "quit") on descriptor 4; sets WIN_PID and WID, its X
# window id. end_test_window tells it to quit and waits for it.
start_test_window() {
  rm -f "$WORK/win.in" "$WORK/win.out"
  mkfifo "$WORK/win.in"
  "$TESTWIN" 240 180 <"$WORK/win.in" >"$WORK/win.out" 2>&1 &
  WIN_PID=$!
  track_pid "$WIN_PID"
  exec 4>"$WORK/win.in"
  wait_for 60 test -s "$WORK/win.out" || fail "the test window did not start"
  WID=$(head -1 "$WORK/win.out")
}
end_test_window() {
  echo "quit" >&4 || true
  exec 4>&-
  wait "$WIN_PID" 2>/dev/null || true
}

# fresh_wine NAME: a Wine prefix of this test's own in $OUT/wineprefix-NAME, made
# afresh (the registry holds none of our settings) for the architecture that
# QUIPIX_WINE_ARCH names, with wine, wineboot and wineserver through its loader.
fresh_wine() {
  export WINEPREFIX="$OUT/wineprefix-$1"
  rm -rf "$WINEPREFIX"
  . scripts/lib/wine-env.sh
}

# start_bus TYPE: a private D-Bus bus of TYPE (session, system) at $WORK/TYPE-bus that
# any user may join, without service activation, so that nothing of the machine's
# own starts on it; the clean-up ends it.
start_bus() {
  cat >"$WORK/$1-bus.conf" <<EOF
<busconfig>
  <type>$1</type>
  <listen>unix:path=$WORK/$1-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
EOF
  dbus-daemon --config-file="$WORK/$1-bus.conf" --nofork --nopidfile >"$WORK/$1-bus.log" 2>&1 &
  track_pid $!
  wait_for 60 test -S "$WORK/$1-bus" || { cat "$WORK/$1-bus.log"; fail "no $1 bus"; }
  chmod 666 "$WORK/$1-bus"
}
# start_session_bus: a private session bus, which DBUS_SESSION_BUS_ADDRESS names.
start_session_bus() {
  start_bus session
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/session-bus"
}

# held_off: no saver starts (saver_child, the test's own) for three times the idle
# time of 2 s. Nothing comes of an inhibited idleness, so time is what this check is
# made of.
held_off() {
  if wait_for 6 saver_child; then
    SEEN="a saver started"
    return 1
  fi
  WAITED=""
}

# joke_in PICTURE: a joke shows in the screenshot PICTURE. The gradients the tests
# give the saver as its background have no red at all; the question is drawn in red.
joke_in() {
  local share
  share=$(convert "$1" -channel R -separate -threshold 60% -format "%[fx:mean]" info:)
  SEEN="a share of $share of the screen red"
  awk -v s="$share" 'BEGIN { exit !(s > 0.0005) }'
}

# --- that the program took its input ---------------------------------------------
# A test that gives input which must change nothing (six tolerated pointer moves, a
# refused password) has no state to wait for. What it can see instead: that the X
# server carried out the move, that the program read what the server sent it, and
# that it then goes on drawing, which a closing saver (its timers stopped) would not.

# pointer_at X Y: the X server's pointer is there.
pointer_at() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell 2>/dev/null)" || return 1
  SEEN="pointer at $X,$Y"
  [ "$X" = "$1" ] && [ "$Y" = "$2" ]
}

# move_pointer DX DY: moves the pointer and waits until the server has carried the
# move out. xdotool only sends the request; a query answered after it is answered
# after the events that the move caused went out to the window.
move_pointer() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell)"
  xdotool mousemove_relative -- "$1" "$2"
  wait_for 30 pointer_at $((X + $1)) $((Y + $2)) || fail "the pointer did not move by $1,$2$(_quipix_seen)"
}

# input_read PID: nothing waits unread in the sockets of process PID, or of its
# child where PID is a shell running a function in the background (wine, say): the
# program has read every event that had reached it.
input_read() {
  local pid=$1 child waiting
  child=$(pgrep -P "$pid" | head -n1 || true)
  [ -z "$child" ] || pid=$child
  kill -0 "$pid" 2>/dev/null || { SEEN="process $pid has ended"; return 1; }
  waiting=$(ss -x -p 2>/dev/null | awk -v p="pid=$pid," 'index($0, p) && $3 != 0 { n++ } END { print n + 0 }')
  SEEN="$waiting of its sockets hold unread data"
  [ "$waiting" -eq 0 ]
}

# took_input PID: waits until process PID has read its input (a move, a key); the
# test ends if it ended instead.
took_input() {
  wait_for 60 _quipix_read_or_ended "$1" || fail "process $1 did not read its input$(_quipix_seen)"
  kill -0 "$1" 2>/dev/null || fail "process $1 ended on that input"
}
_quipix_read_or_ended() { input_read "$1" || ! kill -0 "$1" 2>/dev/null; }

# goes_on_drawing TIMEOUT COMMAND...: COMMAND prints a fingerprint of what is on the
# screen; it must change three times. One new picture may be a frame drawn before
# the input and put on the screen after it; three are frames drawn after the program
# dealt with its input.
goes_on_drawing() {
  local limit=$1
  shift
  _quipix_changes=0
  _quipix_picture=$("$@" 2>/dev/null || true)
  wait_for "$limit" _quipix_changed "$@"
}
_quipix_changed() {
  local now
  now=$("$@" 2>/dev/null) || return 1
  if [ "$now" != "$_quipix_picture" ]; then
    _quipix_picture=$now
    _quipix_changes=$((_quipix_changes + 1))
  fi
  SEEN="the picture changed $_quipix_changes times"
  [ "$_quipix_changes" -ge 3 ]
}

# x_screen: the fingerprint of what the X screen shows.
x_screen() { import -window root rgb:- 2>/dev/null | md5sum; }

# differ A B: pictures A and B differ in more than 50 pixels; a blinking text cursor
# is fewer.
differ() {
  local n
  n=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  awk -v n="$n" 'BEGIN { exit !(n ~ /^[0-9.e+]+$/ ? n + 0 > 50 : 1) }'
}

# wait_still TIMEOUT FILE COMMAND...: waits until the picture that `COMMAND FILE`
# takes has stayed the same $STILL_TIMES (3) times in a row: the window has finished
# drawing; FILE then holds it. With UNLIKE naming a picture, one the same as that
# does not count (a page that has not turned yet).
wait_still() {
  local limit=$1
  shift
  _quipix_same=0
  rm -f "$WORK/still-last.png"
  wait_for "$limit" _quipix_still "$@"
}
_quipix_still() {
  local file=$1
  shift
  "$@" "$file" 2>/dev/null || return 1
  if [ -n "${UNLIKE:-}" ] && ! differ "$UNLIKE" "$file"; then
    _quipix_same=0
    SEEN="the same picture as before"
    return 1
  fi
  if [ -f "$WORK/still-last.png" ] && ! differ "$WORK/still-last.png" "$file"; then
    _quipix_same=$((_quipix_same + 1))
  else
    _quipix_same=1
  fi
  cp "$file" "$WORK/still-last.png"
  SEEN="the same picture $_quipix_same times in a row"
  [ "$_quipix_same" -ge "${STILL_TIMES:-3}" ]
}
