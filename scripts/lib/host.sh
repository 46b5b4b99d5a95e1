# Shared by the suite's scripts (sourced): what this host can do, and how a stage says
# it was skipped.

# host_runs_32bit: succeeds when the kernel executes 32-bit x86 programs. Sandboxed
# kernels, kernels without IA32 emulation and WSL1 refuse them ("Exec format error"),
# which no architecture list tells, so a 96-byte static i386 program that only exits
# with status 42 is run. QUIPIX_NO_32BIT=1 answers no on any host (to try that path).
host_runs_32bit() {
  [ -z "${QUIPIX_NO_32BIT:-}" ] || return 1
  if [ -z "${_quipix_runs_32bit:-}" ]; then
    local dir status=0 place
    # A temporary folder mounted noexec refuses every program (126): then try here.
    for place in "${TMPDIR:-/tmp}" "$PWD"; do
      dir=$(mktemp -d "$place/.quipix-i386.XXXXXX")
      # ELF header; one loadable segment; then mov eax,1; mov ebx,42; int 0x80 (exit).
      printf '%b' '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0' \
        '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' \
        '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0' \
        '\xb8\x01\0\0\0\xbb\x2a\0\0\0\xcd\x80' >"$dir/probe"
      chmod +x "$dir/probe"
      status=0
      "$dir/probe" 2>/dev/null || status=$?
      rm -rf "$dir"
      [ "$status" -eq 126 ] || break
    done
    _quipix_runs_32bit=no
    [ "$status" -ne 42 ] || _quipix_runs_32bit=yes
  fi
  [ "$_quipix_runs_32bit" = yes ]
}

# skip_stage REASON: ends a stage as skipped (exit status 77), saying why; the test
# run's table shows the reason.
skip_stage() {
  echo "SKIP: $*"
  [ -z "${QUIPIX_SKIP_NOTE:-}" ] || echo "$*" >"$QUIPIX_SKIP_NOTE"
  exit 77
}

# The reason every 32-bit part of the suite gives when the host cannot run it.
NO_32BIT_REASON="this host cannot execute 32-bit programs (Exec format error)"

# wine32_installed: the 32-bit Wine is there (scripts/build-windows.sh installs it
# where the host runs 32-bit programs and the package can be had).
wine32_installed() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; }
NO_WINE32_REASON="the 32-bit Wine (wine32:i386) could not be installed from the package lists of this machine"

# require_wine32: skips the stage, saying why, unless 32-bit Windows programs can run.
require_wine32() {
  host_runs_32bit || skip_stage "$NO_32BIT_REASON"
  wine32_installed || skip_stage "$NO_WINE32_REASON"
}
