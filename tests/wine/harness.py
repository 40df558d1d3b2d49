#!/usr/bin/env python3
"""Harness of the Wine end-to-end tests: display, prefixes, programs, driver, teardown.

One test run (one Python process) has:
  * a private Xvfb display (1024x768x24) on a display number that Xvfb picks itself;
  * a template prefix of the host's Wine mode (winehost.py: a 32-bit prefix with the PE32
    programs, or a 64-bit one with their x86-64 twins where no 32-bit code runs), made once
    (or taken ready-made from KORV_WINE_TEMPLATE, which
    the CTest fixture "wine_template" fills once per CTest run);
  * a watchdog process that kills the wineservers and Xvfb of the run if this process dies
    without cleaning up (for instance when CTest kills it on a timeout).

Each scenario gets its own copy of the template (cp -a), its own HOME and its own D: folder,
and runs under one system code page: 936 (zh_CN.UTF-8 from the project's locale folder) or
1252 (C.UTF-8). The code page is checked through the driver before the scenario is handed
out. Tests subclass WineTestCase (see tests/wine/README.md).

Environment:
  KORV_WINE_ARCH       win32 or win64: force a Wine mode (default: what this host runs)
  KORV_CROSS_DIR       the cross build tree (default the mode's: <repo>/build/cross or cross64)
  KORV_WINE_TEMPLATE   a ready template made by "harness.py make-template DIR"
  KORV_WINE_ARTIFACTS  where screenshots of failed tests go (default <tmp>/artifacts)
  KORV_WINE_KEEP=1     keep the scenario folders after the run (for debugging)
  KORV_LOCPATH         folder holding the zh_CN.UTF-8 locale (default /var/cache/korvane-locale)
"""

import atexit
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import winehost

REPO = Path(__file__).resolve().parents[2]
HERE = Path(__file__).resolve().parent
LOCPATH = os.environ.get("KORV_LOCPATH", "/var/cache/korvane-locale")
TEMPLATE_MARK = ".korv-template-ready"

# Locale and the code page Wine derives from it.
LOCALES = {936: {"LC_ALL": "zh_CN.UTF-8", "LOCPATH": LOCPATH},
           1252: {"LC_ALL": "C.UTF-8"}}
OEM_CODECS = {936: "gbk", 1252: "cp437"}


class HarnessError(AssertionError):
    """A fault of the set-up (missing program, Wine or display trouble): a test failure."""


def wine_mode():
    """The host's Wine mode (winehost.py); a host without a usable Wine fails the test."""
    try:
        return winehost.mode()
    except winehost.WineUnavailable as e:
        raise HarnessError(str(e)) from None


def cross_dir():
    return wine_mode().cross_dir


def cross_file(name):
    """A file of the cross build; a missing one fails the test with a clear message."""
    path = cross_dir() / name
    if not path.is_file():
        raise HarnessError(f"{name} is not in the cross build {cross_dir()} "
                           "(build it with scripts/build.sh, or set KORV_CROSS_DIR)")
    return path


def win_path(path):
    """The Windows path of a Linux path, through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def _log(message):
    print(f"[wine] {message}", file=sys.stderr, flush=True)


def _base_env(prefix, home, display, codepage):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_", "LANG")) and k != "LOCPATH"}
    env = wine_mode().env(env)
    env.update({
        "WINEPREFIX": str(prefix), "HOME": str(home),
        # Wine's own errors stay on: a Wine process that ends early without a word of its
        # own then says why in the failure's message.
        "WINEDEBUG": "-all,err+all", "WINEDLLOVERRIDES": "winemenubuilder.exe=d",
        "DISPLAY": display, "LANG": LOCALES[codepage]["LC_ALL"],
    })
    env.update(LOCALES[codepage])
    if codepage == 936 and not Path(LOCPATH, "zh_CN.UTF-8").is_dir():
        raise HarnessError(f"the zh_CN.UTF-8 locale is missing from {LOCPATH} "
                           "(scripts/setup.sh makes it)")
    return env


class _Result:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def _run(cmd, env, timeout=120, check=True, cwd=None):
    """Runs a command to its end. Output goes through temporary files, not pipes: the first
    Wine program of a prefix starts Wine's background processes, which inherit its output
    handles and would keep a pipe open long after the command ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                             stderr=err)
        try:
            p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            raise HarnessError(f"{' '.join(map(str, cmd))} did not finish in {timeout} s")
        out.seek(0)
        err.seek(0)
        r = _Result(p.returncode, out.read(), err.read())
    if check and r.returncode != 0:
        raise HarnessError(f"{' '.join(map(str, cmd))} failed ({r.returncode}): "
                           + r.stderr.decode("utf-8", "replace")[-2000:])
    return r


# ---------------------------------------------------------------------------------------------
# Display and watchdog


class Display:
    """A private Xvfb; the display number is chosen by Xvfb (-displayfd), so runs never
    collide."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        os.set_blocking(read_end, False)
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            try:
                chunk = os.read(read_end, 16)
            except BlockingIOError:
                chunk = None
            if chunk == b"":
                break
            if chunk:
                number += chunk
            elif self.proc.poll() is not None:
                break
            else:
                time.sleep(0.05)
        os.close(read_end)
        if not number.strip().isdigit():
            self.stop()
            raise HarnessError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


_WATCHDOG = r"""
import os, shutil, subprocess, sys, time
parent, state = int(sys.argv[1]), sys.argv[2]
while True:
    try:
        os.kill(parent, 0)
    except OSError:
        break
    if not os.path.exists(state):
        sys.exit(0)
    time.sleep(1)
try:
    lines = open(state).read().splitlines()
except OSError:
    sys.exit(0)
for line in lines:
    kind, _, arg = line.partition(" ")
    try:
        if kind == "prefix":
            env = dict(os.environ, WINEPREFIX=arg)
            subprocess.run(["wineserver", "-k"], env=env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elif kind == "pid":
            os.kill(int(arg), 9)
    except Exception:
        pass
for line in lines:
    kind, _, arg = line.partition(" ")
    if kind == "rmtree":
        shutil.rmtree(arg, ignore_errors=True)
"""


class Run:
    """What one test process shares: temporary folder, display, template, watchdog."""

    _instance = None

    @classmethod
    def get(cls):
        if cls._instance is None:
            cls._instance = Run()
            atexit.register(cls._instance.close)
        return cls._instance

    def __init__(self):
        self.keep = os.environ.get("KORV_WINE_KEEP") == "1"
        self.tmp = Path(tempfile.mkdtemp(prefix="korv-wine-"))
        self.state = self.tmp / "watchdog.state"
        self.state.write_text("" if self.keep else f"rmtree {self.tmp}\n")
        self.watchdog = subprocess.Popen(
            [sys.executable, "-c", _WATCHDOG, str(os.getpid()), str(self.state)],
            env=wine_mode().env(), start_new_session=True, stdin=subprocess.DEVNULL)
        self.display = Display()
        self.remember(f"pid {self.display.proc.pid}")
        self.artifacts = Path(os.environ.get("KORV_WINE_ARTIFACTS", self.tmp / "artifacts"))
        self._template = None
        self._count = 0
        _log(f"run folder {self.tmp}, display {self.display.name}")

    def remember(self, line):
        with open(self.state, "a") as f:
            f.write(line + "\n")

    def template(self):
        if self._template is None:
            ready = os.environ.get("KORV_WINE_TEMPLATE")
            if ready and template_arch(ready) == wine_mode().arch:
                self._template = Path(ready)
            else:
                self._template = self.tmp / "template"
                make_template(self._template, self.display.name, self)
        return self._template

    def next_dir(self):
        self._count += 1
        return self.tmp / f"scenario-{self._count}"

    def close(self):
        # Whatever a scenario left running (one that failed while being set up, say).
        for line in self.state.read_text().splitlines() if self.state.exists() else []:
            kind, _, arg = line.partition(" ")
            if kind == "prefix" and Path(arg).is_dir():
                env = wine_mode().env(dict(os.environ, WINEPREFIX=arg))
                subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        self.display.stop()
        if not self.keep:
            shutil.rmtree(self.tmp, ignore_errors=True)
        else:
            _log(f"kept {self.tmp}")
        try:
            self.state.unlink()
        except OSError:
            pass
        if self.watchdog.poll() is None:
            self.watchdog.kill()
            self.watchdog.wait()


# ---------------------------------------------------------------------------------------------
# Prefixes

_TEMPLATE_REG = """Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"SimSun"="WenQuanYi Zen Hei"
"\u5b8b\u4f53"="WenQuanYi Zen Hei"

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]
"d:"="hd"
"""


def template_arch(dest):
    """The Wine mode (win32, win64) of a finished template, None when there is none."""
    try:
        return Path(dest, TEMPLATE_MARK).read_text().split()[0]
    except (OSError, IndexError):
        return None


def make_template(dest, display, run=None):
    """A fresh prefix of the host's Wine mode with the settings every scenario needs, in
    dest/prefix, with dest/home as its HOME and dest/d as its D: drive (both re-pointed in
    each copy)."""
    dest = Path(dest)
    started = time.monotonic()
    if dest.exists():
        shutil.rmtree(dest)
    prefix, home, ddir = dest / "prefix", dest / "home", dest / "d"
    for d in (home, ddir):
        d.mkdir(parents=True)
    if run:
        run.remember(f"prefix {prefix}")
    env = _base_env(prefix, home, display, 1252)
    _run(["wineboot", "-i"], env, timeout=300)
    _run(["wineserver", "-w"], env, timeout=300)
    reg = dest / "template.reg"
    reg.write_bytes(b"\xff\xfe" + _TEMPLATE_REG.replace("\n", "\r\n").encode("utf-16-le"))
    _run(["wine", "reg", "import", win_path(reg)], env)
    os.symlink(ddir, prefix / "dosdevices" / "d:")
    # Wine draws the caption buttons with Marlett; this Wine finds it only in the prefix.
    marlett = Path("/usr/share/wine/fonts/marlett.ttf")
    if marlett.exists():
        shutil.copy(marlett, prefix / "drive_c" / "windows" / "Fonts" / "marlett.ttf")
    _run(["wineserver", "-k"], env, check=False)
    _run(["wineserver", "-w"], env, timeout=120)
    arch = wine_mode().arch
    (dest / TEMPLATE_MARK).write_text(f"{arch} {time.monotonic() - started:.1f} s\n")
    _log(f"{arch} template prefix ready in {time.monotonic() - started:.1f} s")
    return dest


def _repoint_links(root, old, new):
    """Symbolic links below `root` that point into `old` are made to point into `new`."""
    for dirpath, dirnames, filenames in os.walk(root):
        for n in dirnames + filenames:
            p = Path(dirpath, n)
            if not p.is_symlink():
                continue
            target = os.readlink(p)
            if target == str(old) or target.startswith(str(old) + "/"):
                fresh = str(new) + target[len(str(old)):]
                Path(fresh).mkdir(parents=True, exist_ok=True)
                p.unlink()
                os.symlink(fresh, p)


class Proc:
    """A program started under Wine; the exit code is the Windows exit code."""

    def __init__(self, popen, name, log):
        self.popen, self.name, self.log = popen, name, log

    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout=60):
        """Waits for the program to end and returns its exit code; fails if it does not."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.name} still runs after {timeout} s")

    @property
    def exit_code(self):
        return self.popen.poll()

    def output(self):
        """stdout and stderr of the program so far."""
        return tuple(Path(f"{self.log}.{k}").read_bytes().decode("utf-8", "replace")
                     for k in ("out", "err"))


class Scenario:
    """One copy of the template prefix, its wineserver and the programs started in it."""

    def __init__(self, codepage=936, run=None):
        if codepage not in LOCALES:
            raise ValueError(f"code page {codepage} is not one the harness can set up")
        self.run = run or Run.get()
        self.codepage = codepage
        self.dir = self.run.next_dir()
        template = self.run.template()
        self.dir.mkdir(parents=True)
        self.prefix, self.home, self.d_dir = self.dir / "prefix", self.dir / "home", self.dir / "d"
        self.run.remember(f"prefix {self.prefix}")
        _run(["cp", "-a", str(template / "prefix"), str(self.prefix)], None, timeout=300)
        self.home.mkdir()
        self.d_dir.mkdir()
        _repoint_links(self.prefix / "drive_c", template / "home", self.home)
        dlink = self.prefix / "dosdevices" / "d:"
        dlink.unlink()
        os.symlink(self.d_dir, dlink)
        self.env = _base_env(self.prefix, self.home, self.run.display.name, codepage)
        self.procs = []
        self._started = 0
        self.closed = False
        # The server stays up between the many short driver runs (persistent mode); its
        # output is not captured, as it would keep the pipes open.
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        try:
            found = self.codepages()
        except Exception:
            self.close()
            raise
        if found["acp"] != codepage:
            self.close()
            raise HarnessError(f"asked for code page {codepage}, Wine runs with {found}")

    # -- paths -----------------------------------------------------------------------------

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    @property
    def drive_d(self):
        return self.d_dir

    def unix_path(self, windows_path):
        """The Linux path of a C:, D: or Z: path, matching each part without regard to case
        as Wine does; parts that do not exist are kept as written."""
        m = re.match(r"^([A-Za-z]):\\?(.*)$", windows_path)
        if not m:
            raise ValueError(f"not an absolute Windows path: {windows_path}")
        drive, rest = m.group(1).lower(), m.group(2)
        base = {"c": self.drive_c, "d": self.drive_d, "z": Path("/")}.get(drive)
        if base is None:
            raise ValueError(f"drive {drive}: is not set up")
        path = base
        for part in [p for p in rest.split("\\") if p]:
            exact = path / part
            if not exact.exists() and path.is_dir():
                for entry in os.listdir(path):
                    if entry.lower() == part.lower():
                        exact = path / entry
                        break
            path = exact
        return path

    def exists(self, windows_path):
        return self.unix_path(windows_path).exists()

    def read_bytes(self, windows_path):
        return self.unix_path(windows_path).read_bytes()

    def files(self, windows_path):
        """Sorted paths (relative, "\\"-separated, as Linux names them) of the files and
        folders below a folder; folders end in "\\". Empty when the folder is missing."""
        root = self.unix_path(windows_path)
        out = []
        if not root.is_dir():
            return out
        for dirpath, dirnames, filenames in os.walk(root):
            rel = Path(dirpath).relative_to(root)
            for n in dirnames:
                out.append(str(rel / n).replace("/", "\\") + "\\")
            for n in filenames:
                out.append(str(rel / n).replace("/", "\\"))
        return sorted(p[2:] if p.startswith(".\\") else p for p in out)

    # -- programs ----------------------------------------------------------------------------

    def start(self, program, *args, cwd=None):
        """Starts a program (a Linux path, or a Windows path inside the prefix) with
        `wine`; returns a Proc."""
        name = Path(str(program).replace("\\", "/")).name
        self._started += 1
        log = self.dir / f"{self._started}-{name}"
        with open(f"{log}.out", "wb") as out, open(f"{log}.err", "wb") as err:
            popen = subprocess.Popen(["wine", str(program), *map(str, args)], env=self.env,
                                     cwd=str(cwd or self.dir), stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
        self.run.remember(f"pid {popen.pid}")
        proc = Proc(popen, name, log)
        self.procs.append(proc)
        return proc

    def wine(self, *args, timeout=120, check=True):
        """Runs a Wine command line (wine ARGS) to its end; returns (exit code, stdout)."""
        r = _run(["wine", *map(str, args)], self.env, timeout=timeout, check=check,
                 cwd=str(self.dir))
        return r.returncode, r.stdout.decode(OEM_CODECS[self.codepage], "replace")

    def driver(self, *args, timeout=None, check=True):
        """Runs driver.exe with ARGS; returns (exit code, stdout as text). With check, a
        non-zero exit fails the test with the driver's message."""
        wait = 60 if timeout is None else timeout + 60
        r = _run(["wine", str(cross_file("driver.exe")), *map(str, args)], self.env,
                 timeout=wait, check=False, cwd=str(self.dir))
        out = r.stdout.decode("utf-8", "replace")
        if check and r.returncode != 0:
            raise HarnessError(f"driver {' '.join(map(str, args))}: exit {r.returncode}: "
                               + r.stderr.decode("utf-8", "replace").strip())
        return r.returncode, out

    def driver_json(self, *args, **kw):
        _, out = self.driver(*args, **kw)
        return json.loads(out)

    # -- windows -----------------------------------------------------------------------------

    def codepages(self):
        return self.driver_json("codepage")

    def windows(self, pid=None, visible_only=False):
        args = ["windows"] + (["--pid", pid] if pid else []) + (["--visible"] if visible_only
                                                                   else [])
        return self.driver_json(*args)

    def wait_window(self, title=None, cls=None, timeout=30, visible=True, pid=None):
        """The first top-level window with that title and/or class; fails after timeout."""
        args = ["wait-window", "--timeout", int(timeout * 1000)]
        if title is not None:
            args += ["--title", title]
        if cls is not None:
            args += ["--class", cls]
        if visible:
            args.append("--visible")
        if pid:
            args += ["--pid", pid]
        return self.driver_json(*args, timeout=timeout)

    def wait_gone(self, hwnd, timeout=30):
        self.driver("wait-gone", hwnd, "--timeout", int(timeout * 1000), timeout=timeout)

    def controls(self, window):
        return self.driver_json("controls", window)

    def control(self, window, text=None, cls=None, id=None, visible=None):
        """The one control of a window with the given text (ampersands ignored), class
        and/or id; fails when none or several match."""
        def plain(s):
            return s.replace("&", "").lower()
        found = [c for c in self.controls(window)
                 if (text is None or plain(c["text"]) == plain(text))
                 and (cls is None or c["class"].lower() == cls.lower())
                 and (id is None or c["id"] == id)
                 and (visible is None or c["visible"] == visible)]
        if len(found) != 1:
            raise HarnessError(f"{len(found)} controls match text={text!r} class={cls!r} "
                               f"id={id!r} in window {window}")
        return found[0]

    def click(self, hwnd, force=False):
        self.driver("click", hwnd, *(["--force"] if force else []))

    def click_text(self, window, text, force=False):
        self.driver("click", "--window", window, "--text", text, *(["--force"] if force else []))

    def set_text(self, hwnd, text):
        self.driver("set-text", hwnd, text)

    def get_text(self, hwnd):
        return self.driver("get-text", hwnd)[1].rstrip("\n")

    def check(self, hwnd, on):
        self.driver("check", hwnd, "on" if on else "off")

    def listview(self, hwnd):
        return self.driver_json("listview", hwnd)

    def listview_double_click(self, hwnd, row):
        self.driver("lv-dblclick", hwnd, row)

    def msgbox(self, timeout=30, pid=None):
        """The open message box (system or the programs' own Confirm/Error window)."""
        args = ["msgbox", "--timeout", int(timeout * 1000)] + (["--pid", pid] if pid else [])
        return self.driver_json(*args, timeout=timeout)

    def answer(self, button, timeout=30, pid=None):
        """Presses a button of the open message box: OK, Cancel, Yes, No, an id or a caption;
        waits until that box has gone."""
        args = ["answer", button, "--timeout", int(timeout * 1000)] + (["--pid", pid] if pid
                                                                        else [])
        self.driver(*args, timeout=2 * timeout)

    def sysclose(self, hwnd):
        self.driver("sysclose", hwnd)

    def activate(self, hwnd):
        self.driver("activate", hwnd)

    def minimize(self, hwnd):
        self.driver("minimize", hwnd)

    def restore(self, hwnd):
        self.driver("restore", hwnd)

    def foreground(self):
        return self.driver_json("foreground")

    def focus(self, window):
        """The keyboard focus of a window's thread as other programs see it
        (GetGUIThreadInfo): {"active": hwnd, "control": the focused control as controls()
        lists it, or None, "name": its screen-reader name, "cues_hidden": its UISF_ flags}."""
        return self.driver_json("focus", window)

    def keys(self, *keys):
        """Presses keys as a keyboard does: through the X server (xdotool, XTEST) to the
        window that has the input focus. Names as xdotool takes them: Tab, shift+Tab, Return,
        Escape, space, Up, Down."""
        env = dict(os.environ, DISPLAY=self.run.display.name)
        for key in keys:
            r = subprocess.run(["xdotool", "key", key], env=env, capture_output=True, timeout=30)
            if r.returncode != 0:
                raise HarnessError(f"xdotool key {key}: {r.stderr.decode(errors='replace')}")

    def click_at_progress(self, title, cls, pid, text, bar_class, position):
        """Starts a driver that waits for the window (`title`, `cls`, `pid`) and clicks its
        button `text` at the program's first look at its messages once the progress bar (the
        child of class `bar_class`) shows at least `position`. Returns when the driver waits;
        its Proc's first output line after "waiting" is the position it saw."""
        proc = self.start(cross_file("driver.exe"), "click-at-progress", "--title", title,
                          "--class", cls, "--pid", pid, "--text", text, "--bar", bar_class,
                          position)
        self.wait_until(lambda: "waiting" in proc.output()[0] or not proc.running(), 60,
                        what="the driver to wait")
        return proc

    def send(self, hwnd, msg, wparam=0, lparam=0):
        """SendMessage with number arguments; returns the result as an integer."""
        return int(self.driver("send", hwnd, msg, wparam, lparam)[1].strip())

    def link(self, windows_path):
        """A .lnk read through IShellLinkW: {"target" (from its item ID list), "path" (its
        path string), "workdir", "args"}; None when it cannot be loaded."""
        code, out = self.driver("link", windows_path, check=False)
        if code == 2:
            return None
        if code != 0:
            raise HarnessError(f"driver link {windows_path}: exit {code}")
        return json.loads(out)

    def special_folder(self, csidl):
        """The Windows path of a special folder (a CSIDL number)."""
        return self.driver("special-folder", csidl)[1].rstrip("\n")

    def spawn(self, program, *args, timeout=60):
        """Starts a program through the driver and watches it to its end: {"pid", "ended",
        "exit_code", "windows": [{"hwnd", "class", "title", "shown"}]} (every top-level
        window it had). Fails when it still runs after timeout."""
        path = program if re.match(r"^[A-Za-z]:", str(program)) else win_path(program)
        return self.driver_json("spawn", path, *args, "--timeout", int(timeout * 1000),
                                timeout=timeout)

    def hold_name(self, name, kind="mutex"):
        """Starts a driver that creates a named mutex, event or semaphore and keeps it until
        the scenario ends (or the returned Proc is killed); returns once the object exists."""
        proc = self.start(cross_file("driver.exe"), "hold-name", name, kind)
        out = Path(f"{proc.log}.out")
        self.wait_until(lambda: out.read_bytes().strip() or not proc.running(), timeout=30,
                        what=f"the {kind} {name}")
        if not proc.running():
            raise HarnessError(f"hold-name {name} {kind} ended: {proc.output()}")
        return proc

    def drives(self):
        """{"C:\\": {"type": GetDriveType, "free": bytes, "total": bytes}, ...}"""
        return {d["root"]: d for d in self.driver_json("drives")}

    def resources(self, exe):
        return self.driver_json("resources", win_path(exe))

    def dump_resource(self, exe, name, rtype):
        """The bytes of a resource of an executable, looked up as FindResource does."""
        out = self.dir / f"resource-{os.getpid()}.bin"
        self.driver("dump-resource", win_path(exe), name, rtype, win_path(out))
        data = out.read_bytes()
        out.unlink()
        return data

    def ini(self, file_path, section, key):
        """Wine's GetPrivateProfileStringA of one value, as GBK bytes."""
        path = file_path if re.match(r"^[A-Za-z]:", str(file_path)) else win_path(file_path)
        return bytes.fromhex(self.driver_json("ini", path, section, key)["hex"])

    def reg(self, key):
        """A registry key read through the W functions: None when missing, else
        {"values": {name: data}, "types": {name: type}, "subkeys": [...]}."""
        r = self.driver_json("reg", key)
        if not r["exists"]:
            return None
        return {"values": {v["name"]: v["data"] for v in r["values"]},
                "types": {v["name"]: v["type"] for v in r["values"]},
                "subkeys": r["subkeys"]}

    def reg_value(self, key, name=""):
        """One value ("" for the default value), or None when the key or value is missing."""
        k = self.reg(key)
        return None if k is None else k["values"].get(name)

    def reg_query(self, key, recurse=False):
        """`wine reg query KEY [/s]` parsed into {key path: {value name: (type, data)}};
        None when the key is missing. The text comes through the OEM code page, so use reg()
        for Chinese values under 1252."""
        rc, out = self.wine("reg", "query", key, *(["/s"] if recurse else []), check=False)
        if rc != 0:
            return None
        result, current = {}, None
        for line in out.splitlines():
            if not line.strip():
                continue
            if not line.startswith(" "):
                current = result.setdefault(line.strip(), {})
                continue
            # "    NAME    TYPE    DATA": the fields are separated by four blanks.
            m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line)
            if m and current is not None:
                name = "" if m.group(1) == "(Default)" else m.group(1)
                current[name] = (m.group(2), m.group(3) or "")
        return result

    # -- waiting -----------------------------------------------------------------------------

    def wait_until(self, probe, timeout=30, interval=0.2, what="condition"):
        """Calls probe() until it returns a true value, which is returned; fails after timeout
        with the last value seen. Never asserts a duration."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            try:
                last = probe()
            except HarnessError as e:
                last = e
            else:
                if last:
                    return last
            if time.monotonic() >= deadline:
                raise HarnessError(f"timed out waiting for {what}; last seen: {last!r}")
            time.sleep(interval)

    def wait_text(self, hwnd, text, timeout=30):
        return self.wait_until(lambda: self.get_text(hwnd) == text, timeout,
                               what=f"text {text!r} in {hwnd}")

    def screenshot(self, name):
        """A PNG of the whole display in the artifacts folder; returns its path or None."""
        self.run.artifacts.mkdir(parents=True, exist_ok=True)
        out = self.run.artifacts / f"{re.sub(r'[^A-Za-z0-9_.-]', '_', name)}.png"
        r = subprocess.run(["import", "-display", self.run.display.name, "-window", "root",
                            str(out)], capture_output=True, timeout=60)
        return out if r.returncode == 0 else None

    # -- teardown ----------------------------------------------------------------------------

    def close(self):
        if self.closed:
            return
        self.closed = True
        _run(["wineserver", "-k"], self.env, check=False, timeout=60)
        try:
            _run(["wineserver", "-w"], self.env, check=False, timeout=60)
        except HarnessError:
            pass
        for p in self.procs:
            if p.running():
                p.popen.kill()
            p.popen.wait()
        if not self.run.keep:
            shutil.rmtree(self.dir, ignore_errors=True)


# ---------------------------------------------------------------------------------------------
# unittest glue


class WineTestCase(unittest.TestCase):
    """Base of the Wine tests: self.wine is a Scenario under self.codepage. By default each
    test gets a fresh prefix; set fresh_prefix_per_test = False to share one per class."""

    codepage = 936
    fresh_prefix_per_test = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.shared = None
        if not cls.fresh_prefix_per_test:
            cls.shared = Scenario(cls.codepage)

    @classmethod
    def tearDownClass(cls):
        if cls.shared:
            cls.shared.close()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        if self.shared:
            self.wine = self.shared
        else:
            self.wine = Scenario(self.codepage)
            self.addCleanup(self.wine.close)
        self.addCleanup(self._screenshot_on_failure)

    def _screenshot_on_failure(self):
        outcome = getattr(self, "_outcome", None)
        if outcome is not None and not getattr(outcome, "success", True):
            shot = self.wine.screenshot(self.id())
            if shot:
                _log(f"screenshot of the failure: {shot}")

    def program(self, name):
        """A program of the cross build (a missing one fails the test)."""
        return cross_file(name)


def run_self_check(test, program, script, work_name, extra_env, timeout):
    """Runs a self-checking test program of the cross build (by name) through its run.sh, in a
    work folder of its own under this run, and asserts that it passed every check: it prints
    one line per check and ends with "<N> passed, 0 failed"."""
    run = Run.get()
    work = run.tmp / work_name
    run.remember(f"prefix {work / 'prefix'}")
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_", "LANG")) and k != "LOCPATH"}
    env.update({k: v(work, run) if callable(v) else v for k, v in extra_env.items()})
    r = _run([str(script), str(cross_file(program))], env, timeout=timeout, check=False)
    out = r.stdout.decode("utf-8", "replace")
    print(out)
    failed = "\n".join(line for line in out.splitlines() if line.startswith("FAIL"))
    test.assertEqual(r.returncode, 0,
                     failed or out[-3000:] + r.stderr.decode("utf-8", "replace"))
    test.assertRegex(out, r"\n[1-9]\d* passed, 0 failed\r?\n")


def both_code_pages(cls):
    """Class decorator for a mixin of test methods: makes <Name>_cp936 and <Name>_cp1252,
    WineTestCase classes that run the same tests under each system code page."""
    module = sys.modules[cls.__module__]
    for cp in (936, 1252):
        name = f"{cls.__name__}_cp{cp}"
        sub = type(name, (cls, WineTestCase), {"codepage": cp, "__module__": cls.__module__,
                                               "__qualname__": name})
        setattr(module, name, sub)
    return cls


# ---------------------------------------------------------------------------------------------
# Command line: the CTest fixture and scripts/run.sh use these.


def _cmd_make_template(dest):
    display = Display()
    try:
        make_template(dest, display.name)
    finally:
        display.stop()


def _cmd_run(program, prefix_dir):
    """Runs a program of the mode's cross build (by name) under Wine in a persistent prefix
    (made like a template when missing), on $DISPLAY or on a private Xvfb; waits until it
    ends."""
    program = cross_file(program)
    print(f"run: {program}: {wine_mode().reason}", flush=True)
    if wine_mode().arch == "win64":
        print("run: the x86-64 programs are test twins; the shipped product is the PE32 "
              "programs in build/cross", flush=True)
    prefix_dir = Path(prefix_dir)
    display = None
    name = os.environ.get("DISPLAY")
    if not name:
        display = Display()
        name = display.name
        print(f"run: no $DISPLAY; started a private Xvfb on {name} "
              f"(look at it with: DISPLAY={name} import -window root shot.png)", flush=True)
    else:
        print(f"run: using the display {name}", flush=True)
    try:
        if template_arch(prefix_dir) != wine_mode().arch:
            print(f"run: making a {wine_mode().arch} Wine prefix in {prefix_dir / 'prefix'} "
                  f"(D: is {prefix_dir / 'd'})", flush=True)
            make_template(prefix_dir, name)
        codepage = 936 if Path(LOCPATH, "zh_CN.UTF-8").is_dir() else 1252
        env = _base_env(prefix_dir / "prefix", prefix_dir / "home", name, codepage)
        print(f"run: wine {program} (system code page {codepage}); waiting until it ends",
              flush=True)
        code = subprocess.call(["wine", str(program)], env=env, stdin=subprocess.DEVNULL)
        print(f"run: {Path(program).name} ended with exit code {code}", flush=True)
        subprocess.call(["wineserver", "-w"], env=env)
        return code
    finally:
        if display:
            display.stop()


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make-template":
        _cmd_make_template(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "run":
        sys.exit(_cmd_run(sys.argv[2], sys.argv[3]))
    else:
        print("usage: harness.py make-template DIR | run PROGRAM.exe PREFIX_DIR",
              file=sys.stderr)
        sys.exit(2)
