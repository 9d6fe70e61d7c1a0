#!/usr/bin/env bash
# The run command: installs what is missing, builds the program (x86-64 unless
# TIERMO_ARCH=i686) and starts it under Wine in a 1024x768 virtual desktop,
# with Wine's notepad beside it as a window to drop on. On the current X
# display when there is one; otherwise on a private Xvfb, saving a screenshot
# once the main window is up and then ending everything.
#   TIERMO_BUILD_DIR   build root (default: build/ in the source tree)
#   TIERMO_ARCH        x86_64 (default) or i686
#   TIERMO_JOBS        parallel build jobs (default: the number of cores)
set -uo pipefail

# shellcheck source=lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/build.sh"
arch=${TIERMO_ARCH:-${tiermo_arches[0]}}
if [[ " ${tiermo_arches[*]} " != *" $arch "* ]]; then
    echo "TIERMO_ARCH must be one of ${tiermo_arches[*]}, not '$arch'"
    exit 2
fi
tree="$tiermo_build/$arch"
exe=${TIERMO_RUN_EXE:-$tree/app/Tiermo.exe}
arrange="$tree/tests/helpers/tiermo_arrange.exe"
screenshot="$tiermo_build/screenshot.png"
main_caption=$(tiermo_app_name)
window_timeout_ms=30000

echo "== dependencies"
bash "$tiermo_root/scripts/deps.sh" || exit 1

if [[ $arch == i686 ]]; then
    why=$(rig_wine32_unavailable)
    if [[ -n $why ]]; then
        echo "cannot run the i686 program here: $why"
        exit 1
    fi
fi

echo "== build $arch ($tree)"
targets=(tiermo_arrange)
[[ -z ${TIERMO_RUN_EXE:-} ]] && targets+=(Tiermo)
tiermo_configure_and_build "$tree" "$arch" "${targets[@]}" || exit 1

rig_wine_env "$tiermo_build/run-prefix"
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
    headless=0
    rig_end_on_exit
    rig_stop_wineserver
    rig_ensure_prefix || exit 1
else
    headless=1
    unset DISPLAY
    # shellcheck disable=SC2119 # no exit hook of its own
    rig_start_session || exit 1
fi

echo "== running $exe"
(cd "$(dirname "$exe")" && rig_wine "$exe") &
app=$!
rig_wine notepad >/dev/null 2>&1 &
rig_wine "$arrange" "$main_caption" Notepad "$window_timeout_ms" >"$tiermo_build/run-arrange.log" 2>&1 &
arranger=$!

if [[ $headless -eq 0 ]]; then
    echo "on display $DISPLAY; close $main_caption to end"
    wait "$app"
    exit 0
fi

wait "$arranger"
arranged=$?
if [[ $arranged -eq 1 ]]; then
    echo "no window \"$main_caption\" appeared within $((window_timeout_ms / 1000)) s"
    exit 1
fi
# Wine draws the windows where they were put after arrange has ended: the
# picture is taken once two pictures of the screen in a row are the same (at
# most 10 s; a blinking caret may keep changing it).
previous=$tiermo_build/screen.previous.ppm current=$tiermo_build/screen.ppm
rm -f "$previous"
for ((i = 0; i < 40; i++)); do
    import -window root "ppm:$current" 2>/dev/null || break
    cmp -s "$current" "$previous" && break
    mv "$current" "$previous"
    sleep 0.25
done
rm -f "$current" "$previous"
if ! import -window root "$screenshot" 2>/dev/null; then
    echo "could not take the screenshot"
    exit 1
fi
sed 's/\r$//' "$tiermo_build/run-arrange.log"
echo "screenshot of the running program: $screenshot"
