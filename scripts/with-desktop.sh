#!/usr/bin/env bash
# Runs a command inside a private desktop: Xvfb, the openbox window manager, a D-Bus session
# bus and the accessibility bus. Desktop tests see VELMORA_DESKTOP=1 and fail, not skip, when
# something here is missing.
#   scripts/with-desktop.sh <command> [args...]
set -euo pipefail
if [ "${VELMORA_INSIDE_DESKTOP:-}" = 1 ]; then exec "$@"; fi

runtime=$(mktemp -d /tmp/velmora-desktop.XXXXXX)
chmod 700 "$runtime"
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

# Xvfb picks a free display number itself, so desktops started side by side never collide.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$runtime/display" >"$runtime/xvfb.log" 2>&1 &
x_pid=$!
display=""
for _ in $(seq 100); do
  display=$(tr -dc 0-9 <"$runtime/display" 2>/dev/null || true)
  [ -n "$display" ] && [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
export DISPLAY=":$display"
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start:"; cat "$runtime/xvfb.log"; exit 1; }

export XDG_RUNTIME_DIR="$runtime"
export VELMORA_DESKTOP=1 VELMORA_INSIDE_DESKTOP=1
# Qt and GTK programs expose their widgets on the accessibility bus.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0

# Not exec: the trap above must still stop Xvfb and the window manager afterwards.
status=0
dbus-run-session -- bash -c '
  set -euo pipefail
  openbox --sm-disable >"$XDG_RUNTIME_DIR/openbox.log" 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null || true" EXIT
  # The window manager owns the screen once it has set the supporting-WM property.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  # Start the accessibility bus and say it is on, as a desktop with assistive tools does.
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
  "$@"
' velmora-desktop "$@" || status=$?
exit "$status"
