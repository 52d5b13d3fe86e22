#!/usr/bin/env bash
# Installs Ironlatch into a scratch Wine prefix, applies the default protection silently from the
# command line and shows what it wrote: the policy rules, the settings and the debug log.
set -euo pipefail
ILATCH_BUILD=$(cd "${1:-build}" && pwd)
ILATCH_PREFIX=$ILATCH_BUILD/wine/demo
source "$(dirname "$0")/wine-env.sh"

ilatch_make_prefix
ilatch_start_session
ilatch_allow_test_switches 'C:\Program Files\Ironlatch'
trap ilatch_stop_session EXIT

install_dir="$WINEPREFIX/drive_c/Program Files/Ironlatch"
mkdir -p "$install_dir"
cp "$ILATCH_BUILD/bin/Ironlatch.exe" "$install_dir/"
rm -f "$install_dir/Ironlatch.log"

# The default protection set of the first-run road, applied silently without a policy refresh.
switches="/apply /appdata /fakeexts /userprofile /syskey /appdatadeep /appdatalocal /bin /cipher /vssadmin /programdata /startup /silent /nogpupdate /debug"
echo "Running: \"C:\\Program Files\\Ironlatch\\Ironlatch.exe\" $switches"
ILATCH_PROMPT_LOG='C:\Program Files\Ironlatch\prompts.log' \
  "$ILATCH_WINE64" "C:\\Program Files\\Ironlatch\\Ironlatch.exe" $switches </dev/null >/dev/null 2>&1 || true

query() { "$ILATCH_WINE64" reg query "$1" /s 2>/dev/null </dev/null | tr -d '\r' || true; }
python3 "$(dirname "$0")/show-results.py" \
  <(query 'HKLM\SOFTWARE\Policies\Microsoft\Windows\safer\codeidentifiers') \
  <(query 'HKLM\Software\Merrowind IT\Ironlatch') \
  "$install_dir/Ironlatch.log" "$install_dir/prompts.log"
