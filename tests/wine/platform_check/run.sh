#!/usr/bin/env bash
# Runs platform_check.exe under Wine with system code page 936 and then 1252, and checks from
# the Linux side what it left: UTF-8 file names, the registry as `wine reg` sees it, the
# Program Manager group folder under the prefix's Start Menu.
#
#   run.sh <platform_check.exe>
# Environment: KORV_PLAT_WORK (work folder, default /tmp/plat; the prefix is its "prefix"),
# KORV_PLAT_DISPLAY (X display number, default 53; an Xvfb is started when none runs there),
# LOCPATH (where the zh_CN.UTF-8 locale lives, default /var/cache/korvane-locale).
set -uo pipefail

exe="$(readlink -f "${1:?usage: run.sh platform_check.exe}")"
work="${KORV_PLAT_WORK:-/tmp/plat}"
display_num="${KORV_PLAT_DISPLAY:-53}"
export LOCPATH="${LOCPATH:-/var/cache/korvane-locale}"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# The Wine of this host's mode (WINEARCH, loader, server); fails with the cause when none runs.
wine_env=$(python3 "$(dirname "$0")/../winehost.py" env) || exit 1
eval "$wine_env"
export WINEDLLOVERRIDES=winemenubuilder.exe=d HOME="$work/home" DISPLAY=":$display_num"

passed=0
failed=0
check() {  # check "<name>" <command...>
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok - $name"
  else
    failed=$((failed + 1))
    echo "FAIL - $name"
  fi
}

if [ ! -d "$LOCPATH/zh_CN.UTF-8" ]; then
  echo "the zh_CN.UTF-8 locale is missing in $LOCPATH (scripts/setup.sh makes it)" >&2
  exit 2
fi
mkdir -p "$work" "$HOME"

xvfb_pid=""
full_mounted=""
cleanup() {
  wineserver -k 2>/dev/null
  if [ -n "$full_mounted" ]; then
    rm -f "$WINEPREFIX/dosdevices/e:"
    umount "$work/full" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT

if [ ! -e "/tmp/.X11-unix/X$display_num" ]; then
  Xvfb ":$display_num" -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display_num" ] && break; sleep 0.1; done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

# A drive of 1 MiB for the disk-full case, when this user may mount one.
mkdir -p "$work/full"
if mountpoint -q "$work/full" || mount -t tmpfs -o size=1m tmpfs "$work/full" 2>/dev/null; then
  full_mounted=1
  ln -sfn "$work/full" "$WINEPREFIX/dosdevices/e:"
  export KORV_FULL_DRIVE=E:
fi

start_menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
[ -d "$start_menu" ] || start_menu="$(find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs' \
                                      -not -path '*/Public/*' | head -n1)"
witness="$WINEPREFIX/drive_c/korvplat/witness"

# Adds the counts of one platform_check run to the totals.
run_exe() {  # run_exe <expected code page> [mode]
  local out
  out="$(wine "$exe" "${@:2}" 2>/dev/null | tr -d '\r')"
  echo "$out"
  local p f
  p="$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1/p' <<<"$out")"
  f="$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\2/p' <<<"$out")"
  if [ -z "$p" ]; then
    failed=$((failed + 1))
    echo "FAIL - platform_check ${2:-} did not finish"
    return
  fi
  passed=$((passed + p))
  failed=$((failed + f))
  check "the system code page is $1" grep -qx "system code page $1" <<<"$out"
}

gbk_text() { iconv -f GBK -t UTF-8 "$1" 2>/dev/null; }
reg_export() {  # the key as a UTF-8 .reg text
  rm -f "$work/export.reg"
  wine reg export "$1" "$work/export.reg" /y >/dev/null 2>&1 && iconv -f UTF-16 -t UTF-8 "$work/export.reg"
}

for pair in "zh_CN.UTF-8 936" "C.UTF-8 1252"; do
  read -r locale codepage <<<"$pair"
  export LC_ALL="$locale"
  echo "=== LC_ALL=$locale"
  # A new session, so that Wine's desktop process (the Program Manager server) has this code
  # page too.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  run_exe "$codepage"
  run_exe "$codepage" witness-create

  # Wine's shell reads the group name in its own code page: right under 936, and under 1252
  # the GBK bytes read as 1252 characters.
  group="平台见证组"
  item="见证项"
  if [ "$codepage" != 936 ]; then
    group="$(printf '%s' "$group" | iconv -f UTF-8 -t GBK | iconv -f CP1252 -t UTF-8)"
    item="$(printf '%s' "$item" | iconv -f UTF-8 -t GBK | iconv -f CP1252 -t UTF-8)"
  fi
  check "the Chinese file has its UTF-8 name on Linux and its GBK content" \
    test "$(gbk_text "$witness/见证目录/见证文件.txt")" = "见证"
  export_text="$(reg_export 'HKCU\Software\KorvPlatWitness')"
  check "wine reg export shows the Chinese key and value" \
    grep -q '^"名称"="见证值"' <<<"$(grep -A1 -F '[HKEY_CURRENT_USER\Software\KorvPlatWitness\见证键]' <<<"$export_text")"
  check "wine reg query finds the Chinese value" \
    wine reg query 'HKCU\Software\KorvPlatWitness\见证键' /v 名称 >/dev/null 2>&1
  check "the group folder has the expected UTF-8 name, with its link" \
    test -f "$start_menu/$group/$item.lnk"

  run_exe "$codepage" witness-delete
  check "the Chinese file and folder are gone" test ! -e "$witness"
  wine reg query 'HKCU\Software\KorvPlatWitness' >/dev/null 2>&1
  check "wine reg query no longer finds the key" test $? -eq 1
  check "the group folder is gone" test ! -e "$start_menu/$group"
done
wineserver -k 2>/dev/null

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
