# Shared by the build scripts (sourced): every compiler runs through ccache, so that
# the suite compiles each file once: the program's build, the test build, the Windows
# builds, the package build and the fuzz build all reuse what an earlier run made,
# in this clone or another one on the machine. Sets CCACHE_LAUNCHER to the CMake
# options that ask for it.
_quipix_ccache_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Paths inside the tree are hashed relative to it, so a fresh clone elsewhere hits.
export CCACHE_BASEDIR="$_quipix_ccache_root"
export CCACHE_NOHASHDIR=1
# The test build turns warnings into errors; that changes no object file, so it does
# not count for the cache. A cached compile replays its warnings, and the test run
# fails on any warning it sees (scripts/test.sh).
export CCACHE_IGNOREOPTIONS="-Werror"
CCACHE_LAUNCHER=()
if command -v ccache >/dev/null; then
  CCACHE_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
