# Shared by the system tests of desktop sessions (sourced, after system-test.sh):
# compositors refuse root, so they and their clients run as nobody, with a home and
# a runtime folder of the test's own: $WORK/home and $WORK/run. The test defines
# shot OUTPUT, which puts a screenshot of one output into $WORK/shots/OUTPUT.png.

# user_session_begin: the build installed into $WORK/prefix ($QUIPIX) with the test
# programs the sessions use beside it, and nobody's home with a navy-to-black gradient as the saver's background, told apart from a
# black screen and from a compositor's grey; the question is drawn in red over it.
user_session_begin() {
  chmod 755 "$WORK"
  cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null
  QUIPIX=$WORK/prefix/bin/quipix
  local program
  for program in pointer outputs session inhibitor; do
    [ ! -x "$BUILD/tests/quipix-test-$program" ] || cp "$BUILD/tests/quipix-test-$program" "$WORK/prefix/bin/"
  done
  mkdir -p "$WORK/home/.config/Kelvara" "$WORK/run" "$WORK/shots"
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\r\n"Type"="1"\r\n' \
    >"$WORK/home/.config/Kelvara/Quipix.reg"
  chown -R nobody:nogroup "$WORK/home" "$WORK/run" "$WORK/shots"
  chmod 700 "$WORK/run"
}

# user_env: the environment of nobody's session with the compositor ($WL_DISPLAY,
# $SWAYSOCK and the words of $USER_ENV where set).
user_env() {
  USER_ENV_ARGS=(PATH=/usr/bin:/bin HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config"
                 XDG_RUNTIME_DIR="$WORK/run")
  [ -z "${WL_DISPLAY:-}" ] || USER_ENV_ARGS+=(WAYLAND_DISPLAY="$WL_DISPLAY")
  [ -z "${SWAYSOCK:-}" ] || USER_ENV_ARGS+=(SWAYSOCK="$SWAYSOCK")
  [ -z "${USER_ENV:-}" ] || USER_ENV_ARGS+=($USER_ENV)
}
# as_user COMMAND...: runs COMMAND as nobody in that session.
as_user() {
  user_env
  env -i "${USER_ENV_ARGS[@]}" setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
}
# start_user LOG COMMAND...: as_user in the background; LAST_PID is the command's
# own process (env and setpriv exec into it).
start_user() {
  local log=$1; shift
  user_env
  exec env -i "${USER_ENV_ARGS[@]}" setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@" \
    >"$log" 2>&1 &
  LAST_PID=$!
  track_pid "$LAST_PID"
}
alive() { kill -0 "$1" 2>/dev/null; }
exited() { wait_for "$2" gone "$1"; }
# start_session_buses: a session bus of the test's own and an empty system bus beside
# it (a desktop shell without one dies in its login-manager code); USER_ENV then names
# both.
start_session_buses() {
  start_bus session
  start_bus system
  USER_ENV="${USER_ENV:-} DBUS_SESSION_BUS_ADDRESS=unix:path=$WORK/session-bus"
  USER_ENV+=" DBUS_SYSTEM_BUS_ADDRESS=unix:path=$WORK/system-bus"
}

# start_commanded NAME PROGRAM ARGS...: a test program that takes one command a line
# on its standard input and answers each with a line ("ok" or why not), run as
# nobody; its first line must be "ready". tell NAME COMMAND... gives it one command
# and fails unless it was done.
declare -A _quipix_command_in _quipix_command_out
start_commanded() {
  local name=$1 in out answer
  shift
  mkfifo "$WORK/$name.in" "$WORK/$name.out"
  chown nobody:nogroup "$WORK/$name.in" "$WORK/$name.out"
  start_user "$WORK/$name.log" sh -c 'exec "$@" <"$0.in" >"$0.out"' "$WORK/$name" "$@"
  exec {in}>"$WORK/$name.in" {out}<"$WORK/$name.out"
  _quipix_command_in[$name]=$in
  _quipix_command_out[$name]=$out
  read -r -t 60 answer <&"$out" && [ "$answer" = ready ] || { cat "$WORK/$name.log"; fail "$name did not start"; }
}
tell() {
  local name=$1 answer
  shift
  echo "$*" >&"${_quipix_command_in[$name]}"
  read -r -t 60 answer <&"${_quipix_command_out[$name]}" && [ "$answer" = ok ] ||
    { echo "$name: $*: ${answer:-no answer}" >&2; return 1; }
}

start_saver() { start_user "$WORK/saver.log" "$QUIPIX" "$@"; SAVER_PID=$LAST_PID; }

# pixel OUTPUT X Y: "R G B" of one pixel of the last shot; a negative X or Y counts
# from the right or bottom edge.
pixel() {
  local f=$WORK/shots/$1.png x=$2 y=$3 w h
  read -r w h < <(identify -format "%w %h\n" "$f")
  [ "$x" -ge 0 ] || x=$((w + x))
  [ "$y" -ge 0 ] || y=$((h + y))
  convert "$f" -format "%[fx:int(255*p{$x,$y}.r+0.5)] %[fx:int(255*p{$x,$y}.g+0.5)] %[fx:int(255*p{$x,$y}.b+0.5)]\n" info:
}
# The gradient: navy along the top edge, black along the bottom, in every corner; a
# title bar or a gap would show the compositor's colours at an edge instead.
scene_covers() {
  shot "$1" || return 1
  local r g b corner
  for corner in "0 0" "-1 0" "0 -1" "-1 -1"; do
    read -r r g b < <(pixel "$1" $corner)
    [ "$r" = 0 ] && [ "$g" = 0 ] || return 1
    case "$corner" in
      *" 0") [ "$b" -ge 120 ] || return 1 ;;
      *) [ "$b" -le 4 ] || return 1 ;;
    esac
  done
}
joke_on() { shot "$1" && joke_in "$WORK/shots/$1.png"; }
size_of() { identify -format "%wx%h" "$WORK/shots/$1.png"; }

# --- the idle watcher: the saver it starts, and video players holding it off --------
# start_watcher: quipix --idle 2 in the session; IDLE_PID.
start_watcher() {
  start_user "$WORK/idle.log" "$QUIPIX" --idle 2
  IDLE_PID=$LAST_PID
}
saver_child() { pgrep -P "$IDLE_PID" >/dev/null; }
no_saver() { ! saver_child; }
# screensaver METHOD ARGS...: a call to org.freedesktop.ScreenSaver on the session bus.
screensaver() {
  as_user gdbus call --session -d org.freedesktop.ScreenSaver -o /ScreenSaver \
    -m "org.freedesktop.ScreenSaver.$1" "${@:2}"
}
# start_player N: a video player inhibiting the saver; PLAYER_PID, and COOKIE its cookie.
start_player() {
  start_user "$WORK/player$1.log" "$WORK/prefix/bin/quipix-test-inhibitor"
  PLAYER_PID=$LAST_PID
  wait_for 60 grep -qs cookie "$WORK/player$1.log" || { cat "$WORK/player$1.log"; fail "no inhibition"; }
  COOKIE=$(awk '{print $2}' "$WORK/player$1.log")
}

# --- the saver's closing, as the session's input reaches it ----------------------
# The test defines pointer_move (one move by 3,2, sent to the clients), key, button,
# screen_picture (a fingerprint of what is shown) and both_covered.
goes_on() { goes_on_drawing 60 screen_picture && alive "$SAVER_PID"; }
# closing_checks [within]: on the saver running now, six pointer moves leave it
# running and the seventh ends it, with exit code 0; then another saver ends on a
# key, and one more on a button. Each move waits until the saver has read it; after
# the sixth the saver must go on drawing, which it would stop doing once it had
# decided to close. With "within", pointer moves need only end it within eight: for
# a compositor whose events for injected moves vary, one move becoming two, or the
# first arriving as the pointer's entry (which is not a move).
closing_checks() {
  local i saver_rc=0
  if [ "${1:-}" = within ]; then
    for i in 1 2 3 4 5 6 7 8; do
      alive "$SAVER_PID" || break
      pointer_move
    done
    check "pointer moves end it within eight" exited "$SAVER_PID" 30
  else
    for i in 1 2 3 4 5 6; do
      pointer_move
      took_input "$SAVER_PID"
    done
    check "six pointer moves leave it running" goes_on
    pointer_move
    check "the seventh ends it" exited "$SAVER_PID" 30
  fi
  wait "$SAVER_PID" || saver_rc=$?
  check "with exit code 0" test "$saver_rc" = 0
  start_saver /s
  settle 60 "the scene on both outputs" both_covered
  check "running before the key" alive "$SAVER_PID"
  key
  check "a key ends it" exited "$SAVER_PID" 30
  start_saver /s
  settle 60 "the scene on both outputs" both_covered
  check "running before the button" alive "$SAVER_PID"
  button
  check "a button ends it" exited "$SAVER_PID" 30
}

# saver_checks FIRST SECOND SIZES [within]: /s covers the outputs FIRST and SECOND
# edge to edge, each with its size (SIZES: "WxH WxH") and a joke; then
# closing_checks [within].
saver_checks() {
  start_saver /s
  check "the scene covers both outputs, edge to edge" wait_for 60 both_covered
  check "each output's scene has its size" equals "$(size_of "$1") $(size_of "$2")" "$3"
  check "a joke on the first output" wait_for 60 joke_on "$1"
  check "a joke on the second output" wait_for 60 joke_on "$2"
  closing_checks "${4:-}"
}

# --- an output taken away and given back ---------------------------------------------
# The test defines take_away and give_back (the second output taken away and given
# back through the compositor's own display configuration), and taken_away and
# given_back, which see that the compositor has done so, whatever the saver does.
# output_checks FIRST: with the scene on both outputs, the second output taken away
# ends its scene only, and the scene on FIRST goes on; given back, it gets a scene of
# its own again; a key ends both.
output_checks() {
  start_saver /s
  settle 60 "the scene on both outputs" both_covered
  need "the compositor takes an output away" take_away
  check "it has one output fewer" wait_for 60 taken_away
  check "its scene ends and the other goes on" goes_on_drawing 60 output_picture "$1"
  check "the saver is still running" alive "$SAVER_PID"
  need "the compositor gives the output back" give_back
  check "it has both outputs again" wait_for 60 given_back
  check "and the output gets a scene of its own" wait_for 60 both_covered
  key
  check "and all end together" exited "$SAVER_PID" 30
}
output_picture() { shot "$1" && md5sum <"$WORK/shots/$1.png"; }

# watcher_checks: --idle 2 starts the saver after the idle time and its scene shows,
# a key ends it, the watcher goes on and the saver comes back after the next idle
# period (and is ended again).
watcher_checks() {
  start_watcher
  check "--idle starts the saver after the idle time" wait_for 60 saver_child
  check "its scene shows" wait_for 60 both_covered
  key
  check "a key ends it" wait_for 30 no_saver
  check "the watcher goes on" alive "$IDLE_PID"
  check "it comes back after the next idle period" wait_for 60 saver_child
  end_saver
}

# end_saver: once the watcher's saver shows its scene (a key before that would reach
# no saver), a key ends it.
end_saver() {
  settle 60 "the saver's scene" both_covered
  key
  settle 30 "the saver's end" no_saver
}
