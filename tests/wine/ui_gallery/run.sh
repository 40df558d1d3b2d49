#!/usr/bin/env bash
# Runs the ui gallery under Wine and passes on its verdict (exit 0 only when every check
# passed). Usage: run.sh path/to/ui_gallery.exe
#
# Environment: UI_GALLERY_DIR (scratch folder, default a fresh temporary one), DISPLAY (an X
# display to use; without it a private Xvfb is started), GALLERY_SHOTS (a folder: a screenshot
# of the whole screen is taken at each of the gallery's SNAP points, which then pause).
set -u
exe=$(readlink -f "$1")
own_work=
if [ -n "${UI_GALLERY_DIR:-}" ]; then
  work=$UI_GALLERY_DIR
else
  work=$(mktemp -d /tmp/ui_gallery.XXXXXX)
  own_work=1
fi
mkdir -p "$work/home"
export WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
# The Wine of this host's mode (WINEARCH, loader, server); fails with the cause when none runs.
wine_env=$(python3 "$(dirname "$0")/../winehost.py" env) || exit 1
eval "$wine_env"
export HOME="$work/home" WINEPREFIX="$work/prefix"

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep 1
    break
  done
fi
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$own_work" ] && rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# Chinese through an installed CJK font; message boxes that close at once.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

log="$work/ui_gallery.log"
rm -f "$log"
export GALLERY_LOG="$(winepath -w "$log" 2>/dev/null)"
shots=${GALLERY_SHOTS:-}
ack="$work/ui_gallery.ack"
rm -f "$ack"
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  export GALLERY_ACK="$(winepath -w "$ack" 2>/dev/null)"
fi

wine "$exe" &
pid=$!
taken=0
while kill -0 "$pid" 2>/dev/null; do
  if [ -n "$shots" ] && [ -f "$log" ]; then
    mapfile -t snaps < <(grep '^SNAP ' "$log" | cut -d' ' -f2 | tr -d '\r')
    while [ "$taken" -lt "${#snaps[@]}" ]; do
      sleep 0.3  # let the windows paint
      import -window root "$shots/${snaps[$taken]}.png"
      echo "${snaps[$taken]}" >"$ack"
      taken=$((taken + 1))
    done
  fi
  sleep 0.2
done
wait "$pid"
rc=$?
cat "$log" 2>/dev/null
exit $rc
