#!/usr/bin/env bash
# Runs every test under Wine: a sandboxed scratch prefix, a private X server, a primed wineserver.
set -euo pipefail
ILATCH_BUILD=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/wine-env.sh"

ilatch_make_prefix

# Windows appear on a private X display.
xvfb_pid=""
displayfile=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$displayfile" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$displayfile")"
rm -f "$displayfile"

cleanup() {
  ilatch_stop_session
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

ilatch_start_session
# The built programs and tests (drive B:) and the scratch folders the tests copy programs into.
ilatch_allow_test_switches 'B:' 'C:\iltest'

# No test may reach the internet: downloads from any outside host go to a local port where nothing
# listens, unless a test serves them from its own local web folder.
export ILATCH_WEB_ROOT=127.0.0.1:47139

cd "$ILATCH_BUILD/x64"
# Under load Wine now and then fails to start a program at all (it ends at once with no output);
# such a test gets one more run. A test that fails for real fails both times.
ctest --output-on-failure --timeout 180 -j "$(nproc)" --no-tests=error --repeat until-pass:2 "${@:2}"
