#!/usr/bin/env bash
# pexo-cli.exe under Wine flashes the Linux simulator through COM7, mapped to the simulator's
# pseudo-terminal: a normal end with the device's memory byte for byte what the Linux pexo-cli
# leaves in a device from the same archive, the erase failure's exit status and lines, and
# Ctrl-C ending a run with 130.
# Usage: windows-cli-download.sh PEXO_CLI_EXE LINUX_BIN_DIR SOURCE_DIR
set -euo pipefail
exe=$1
linux=$2
source=$3
wine_run=$source/scripts/wine-run
build=$(cd "$(dirname "$exe")/.." && pwd)
ports=${PEXO_WINEPREFIX:-$build/wine}/pexo-ports

work=$(mktemp -d)
devsim_pid=""
cleanup() {
    [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid" 2>/dev/null
    rm -rf "$work"
    return 0
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$linux/pexo-sample-archive" --size 8192 "$work/image.lzh" >/dev/null
cp "$source/packaging/PexoUDef.INI" "$work/settings.ini"
# 8N1: a pseudo-terminal has no parity, and Wine refuses to set one on it.
run=(--tx-wait 1 --baud 115200 --parity none --data-bits 8 --stop-bits 1 --flow none
     --erase-first 0 --erase-sectors 8 --write-first 0 --write-last 1FFF
     --timeout-write 2000 --timeout-sector 2000 --timeout-erase 2000 --timeout-checksum 2000)

# Starts the simulator on a link; waits for the link (the simulator prints its terminal).
start_device() {
    local link=$1
    shift
    rm -f "$link"
    "$linux/pexo-devsim" --link "$link" --sessions 1 "$@" >"$work/devsim.out" 2>&1 &
    devsim_pid=$!
    for _ in $(seq 1 500); do
        [[ -e $link ]] && return 0
        kill -0 "$devsim_pid" 2>/dev/null || fail "pexo-devsim ended: $(cat "$work/devsim.out")"
        sleep 0.01
    done
    fail "no terminal from pexo-devsim"
}
end_device() {
    wait "$devsim_pid" || true
    devsim_pid=""
}

# The reference: the Linux program, same archive, same settings.
start_device "$work/linux-pty" --dump "$work/linux.bin"
"$linux/pexo-cli" --settings "$work/settings.ini" "${run[@]}" --quiet --port "$work/linux-pty" \
    "$work/image.lzh" >"$work/linux.out" || fail "the Linux reference run: $(cat "$work/linux.out")"
end_device

# Wine prepares its prefix and COM mapping at its first run.
"$wine_run" "$exe" --version >/dev/null || fail "pexo-cli.exe --version"

# Paths as a Windows program names them: drive Z: is the Linux root under Wine.
start_device "$ports/com7" --dump "$work/windows.bin"
status=0
"$wine_run" "$exe" --settings "Z:$work/settings.ini" "${run[@]}" --quiet --port COM7 \
    "Z:$work/image.lzh" >"$work/windows.out" 2>"$work/windows.err" || status=$?
end_device
[[ $status -eq 0 ]] || fail "exit $status: $(cat "$work/windows.out" "$work/windows.err")"
grep -qx 'normal end.' <(tr -d '\r' <"$work/windows.out") || fail "no normal end: $(cat "$work/windows.out")"
cmp "$work/linux.bin" "$work/windows.bin" || fail "the device's memory differs from the Linux run's"
diff <(tr -d '\r' <"$work/windows.out" | grep Checksum) <(grep Checksum "$work/linux.out") \
    || fail "the checksum lines differ from the Linux run's"

# An erase failure: exit 6 and its lines, as on Linux.
start_device "$ports/com7" --fail erase
status=0
"$wine_run" "$exe" --settings "Z:$work/settings.ini" "${run[@]}" --quiet --port '\\.\COM7' \
    "Z:$work/image.lzh" >"$work/erase.out" 2>"$work/erase.err" || status=$?
end_device
[[ $status -eq 6 ]] || fail "erase failure: exit $status, not 6: $(cat "$work/erase.out" "$work/erase.err")"
grep -qx 'Erase Error.' <(tr -d '\r' <"$work/erase.out") || fail "no \"Erase Error.\": $(cat "$work/erase.out")"

# Ctrl-C: Wine turns SIGINT into the console's CTRL_C_EVENT. The run stops while it polls a
# device that never answers, closes the port and ends with 130, as on Linux.
start_device "$ports/com7" --silent connect
WINEPREFIX=${PEXO_WINEPREFIX:-$build/wine} WINEDEBUG=-all wine "$exe" --settings "Z:$work/settings.ini" \
    "${run[@]}" --port COM7 "Z:$work/image.lzh" >"$work/stop.out" 2>"$work/stop.err" &
cli_pid=$!
for _ in $(seq 1 3000); do
    grep -q 'polling' "$work/stop.err" 2>/dev/null && break
    kill -0 "$cli_pid" 2>/dev/null || break
    sleep 0.01
done
grep -q 'polling' "$work/stop.err" || fail "pexo-cli.exe did not poll: $(cat "$work/stop.err")"
kill -INT "$cli_pid"
status=0
wait "$cli_pid" || status=$?
kill "$devsim_pid" 2>/dev/null || true
end_device
[[ $status -eq 130 ]] || fail "Ctrl-C: exit $status, not 130: $(tr -d '\r' <"$work/stop.err" | grep -v '^ *0x' | head -n 20)"
grep -q '^Interrupted: ' "$work/stop.err" || fail "Ctrl-C: no \"Interrupted\" line"

echo "pexo-cli.exe: normal end with the Linux run's memory image; erase failure exit 6; Ctrl-C exit 130"
