#!/bin/sh
# Runs a command on a private Xvfb display that it starts and stops itself, so
# tests never share a display and never need the developer's one.
set -u
dir=$(mktemp -d)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${VELMORA_XVFB_SCREEN:-1920x1200x24}" \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
i=0
while [ ! -s "$dir/display" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
if [ ! -s "$dir/display" ]; then
    echo "xvfb-run.sh: Xvfb did not start" >&2
    cat "$dir/xvfb.log" >&2
    kill $xvfb 2>/dev/null
    rm -rf "$dir"
    exit 1
fi
DISPLAY=":$(head -n1 "$dir/display")"
export DISPLAY
"$@"
rc=$?
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
rm -rf "$dir"
exit $rc
