# Sourced by the build scripts: a sandboxed Wine session under build/wine.
# Nothing here may reach the real home folder or the machine's root: the program under test
# deletes and re-permissions folders.
ILATCH_ROOT=${ILATCH_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
ILATCH_BUILD=${ILATCH_BUILD:-$ILATCH_ROOT/build}
ILATCH_WINE_DIR=$ILATCH_BUILD/wine

export HOME=$ILATCH_WINE_DIR/home
export WINEPREFIX=${ILATCH_PREFIX:-$ILATCH_WINE_DIR/prefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_CACHE_HOME=$HOME/.cache XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
unset XDG_RUNTIME_DIR || true

ILATCH_WINE64=$(command -v /usr/lib/wine/wine64 || command -v wine64 || true)

# Runs a Wine program with every standard stream detached from the caller: the services that the
# first program of a session starts inherit them, and a reader of those pipes would wait for ever.
wine_quiet() { "$ILATCH_WINE64" "$@" </dev/null >/dev/null 2>&1; }

# For the benchmarks: runs a Wine command line with its prompts recorded to the file given (a
# Windows path) and prints how long it took, in milliseconds.
ilatch_run_ms() {
  local log=$1 start end
  shift
  start=$(date +%s%N)
  ILATCH_PROMPT_LOG=$log "$ILATCH_WINE64" "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e6 }'
}

# Makes the prefix once: wineboot, then profile links replaced by real folders and the drives
# limited to C: and B: (the build folder, where the tests and programs are).
ilatch_make_prefix() {
  [ -f "$WINEPREFIX/.ilatch-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$HOME" "$(dirname "$WINEPREFIX")"
  wineboot --init </dev/null >/dev/null 2>&1
  wineserver -w
  local users="$WINEPREFIX/drive_c/users"
  for d in "$users"/*/; do
    for link in "$d"*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  rm -f "$WINEPREFIX/dosdevices/z:"
  ln -sfn "$ILATCH_BUILD" "$WINEPREFIX/dosdevices/b:"
  touch "$WINEPREFIX/.ilatch-ready"
}

# Starts a persistent wineserver with its streams detached, and the first program that brings up
# the session's services.
ilatch_start_session() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine_quiet cmd /c exit
}

# Lets the programs under the given folders take the ILATCH_* test switches (see
# platform/TestSwitches.h): one value per folder under an administrators' key of the prefix.
ilatch_allow_test_switches() {
  local i=0 folder
  for folder in "$@"; do
    i=$((i + 1))
    wine_quiet reg add 'HKLM\Software\Ironlatch Test Runs' /v "folder$i" /t REG_SZ /d "$folder" /f
  done
}

# Wine reports its one account as the owner of every file, where Windows shows Administrators for
# what an elevated program made: the data folder's check is told to trust that account too.
export ILATCH_TRUSTED_OWNER=S-1-5-21-0-0-0-1000

ilatch_stop_session() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
}
