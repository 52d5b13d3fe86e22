#!/usr/bin/env bash
# Runs one test program under Wine for CTest. Under load Wine now and then ends a program at once,
# with no output; CTest's repeat covers that for a test, but not for the listing of a program's
# cases that CTest takes before it starts, so a listing that comes back empty is taken again.
set -u
wine64=$(command -v /usr/lib/wine/wine64 || command -v wine64)

listing=0
for arg in "$@"; do [ "$arg" = "--gtest_list_tests" ] && listing=1; done
[ "$listing" = 1 ] || exec "$wine64" "$@"

rc=1
for attempt in 1 2 3; do
  out=$("$wine64" "$@")
  rc=$?
  if [ "$rc" -eq 0 ] && [ -n "$out" ]; then
    printf '%s\n' "$out"
    exit 0
  fi
  echo "wine-test-run: listing attempt $attempt ended with $rc and ${#out} bytes" >&2
  sleep 1
done
printf '%s\n' "$out"
exit "$rc"
