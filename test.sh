#!/bin/sh
# Builds Fotobatch and runs every test under a virtual X display (xvfb-run): the Winelib
# tests, the Windows cross build, the Windows release under 32-bit Wine and the Linux
# install. Ends with one summary line; exits non-zero on any failure.
set -eu
cd "$(dirname "$0")"
tools/setup.sh test
. tools/wine-env.sh
mkdir -p build
build_winelib
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'cd build && ctest --output-on-failure' >build/ctest.log 2>&1 || status=$?
grep -v '^\[ *\(RUN\|OK\) ' build/ctest.log | grep -v '^$' || true
passed=$(grep -c 'Test *#[0-9]*: .* Passed' build/ctest.log || true)
failed=$(grep -c 'Test *#[0-9]*: .*\*\*\*\(Failed\|Timeout\|Exception\)\|Not Run' build/ctest.log || true)
if [ "$status" != 0 ] && [ "$failed" = 0 ]; then failed=1; fi
echo "$passed passed, $failed failed"
[ "$status" = 0 ] && [ "$failed" = 0 ]
