#!/usr/bin/env bash
# Screenshots of every page of both programs, from one real installation and removal under
# Wine (code page 936, a fresh prefix, a private Xvfb display), written as small PNGs into
# docs/screenshots/ (or the folder given as the first argument):
#
#   setup-1-backdrop.png     the full-screen backdrop with the wizard's welcome page (halved)
#   setup-2-welcome.png ... setup-5-ready.png, setup-7-finished.png   the wizard's pages
#   setup-6-progress.png     the progress dialog while it writes the files
#   uninstall-1-confirm.png, uninstall-2-working.png, uninstall-3-done.png
#
# Uses the programs of $KORV_CROSS_DIR (default build/cross); builds that tree first when
# Setup.exe is not there. Each picture is cropped to its window and reduced to a palette.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
out=$(realpath -m "${1:-docs/screenshots}")
cross="${KORV_CROSS_DIR:-$repo/build/cross}"
if [ ! -f "$cross/Setup.exe" ]; then
  bash scripts/setup.sh
  cmake --preset cross -G Ninja >/dev/null
  cmake --build build/cross -j "$(nproc)"
  cross="$repo/build/cross"
fi
mkdir -p "$out"
export KORV_CROSS_DIR="$cross" PYTHONDONTWRITEBYTECODE=1
cd tests/wine
exec python3 - "$out" <<'EOF'
import subprocess
import sys
import time
from pathlib import Path

import harness
import scenario as sc
from test_uninstaller_wizard import CONFIRM_TEXT, DONE, NEXT, TITLE, Page

out = Path(sys.argv[1])
w = harness.Scenario(936)


def grab(name, rect=None, scale=None):
    """The display (or the rectangle left, top, right, bottom of it) as a palette PNG."""
    raw = out / f".{name}.raw.png"
    subprocess.run(["import", "-display", w.run.display.name, "-window", "root", str(raw)],
                   check=True, capture_output=True, timeout=60)
    args = ["convert", str(raw)]
    if rect:
        left, top, right, bottom = max(rect[0], 0), max(rect[1], 0), min(rect[2], 1024), \
            min(rect[3], 768)
        args += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    if scale:
        args += ["-resize", scale]
    path = out / f"{name}.png"
    subprocess.run(args + ["-strip", "-colors", "256", f"PNG8:{path}"],
                   check=True, timeout=60)
    raw.unlink()
    print(f"{path.name}: {path.stat().st_size // 1024} KB", flush=True)


def settle():
    time.sleep(0.5)  # let the page paint before the picture is taken


try:
    # The installer: backdrop with the welcome page, then each page of the wizard.
    wizard = sc.start_setup(w)
    rect = wizard.window()["rect"]
    settle()
    grab("setup-1-backdrop", scale="50%")
    grab("setup-2-welcome", rect)
    wizard.next()
    settle()
    grab("setup-3-agreement", rect)
    wizard.agree()
    wizard.next()
    settle()
    grab("setup-4-destination", rect)
    wizard.next()
    settle()
    grab("setup-5-ready", rect)
    wizard.click("next")
    dialog = w.wait_window(title="安装", cls="KorvForm", pid=wizard.pid)
    bar = w.control(dialog["hwnd"], cls=sc.PROGRESS_CLASS)["hwnd"]
    w.wait_until(lambda: w.send(bar, sc.PBM_GETPOS) >= 15, what="the run under way")
    grab("setup-6-progress", dialog["rect"])
    wizard.wait_finished()
    settle()
    grab("setup-7-finished", rect)
    w.check(wizard.c["run"], False)
    wizard.click("next")
    wizard.proc.wait(60)

    # The uninstaller: confirm, working (caught while the files go), done.
    uninstaller = sc.DEFAULT_DIR + "\\Uninstall.exe"
    proc = w.start(uninstaller)
    win = w.wait_window(title=TITLE, cls="KorvForm", timeout=60)
    page = w.wait_until(lambda: (p := Page(w, win["hwnd"])).shown.get(CONFIRM_TEXT) and p, 30,
                        what="the confirm page")
    settle()
    grab("uninstall-1-confirm", win["rect"])
    w.click(page.button(NEXT)["hwnd"])
    # Taken by time: the removal takes 2 s, and the uninstaller answers another program's
    # messages only between its steps, one message at each, so reading its controls to
    # find the bar would last most of the removal.
    time.sleep(0.6)
    grab("uninstall-2-working", win["rect"])
    done = w.wait_until(lambda: (p := Page(w, win["hwnd"])).button(DONE) and p, 60,
                        what="the done page")
    settle()
    grab("uninstall-3-done", win["rect"])
    w.click(done.button(DONE)["hwnd"])
    proc.wait(30)
finally:
    w.close()
EOF
