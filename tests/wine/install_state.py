"""Prefixes in the "installed" state: Setup.exe driven through its whole wizard once per test
process and code page, then copied for every scenario that needs an installed product.

    state = install_state.installed(self.codepage)   # installs on the first call
    w = state.scenario()                              # a fresh copy: prefix, HOME and D:

The installing prefix is stopped (its wineserver writes the registry to disk when it exits)
and kept as the template of the copies; the copies are ordinary harness Scenarios whose D:
folder and HOME start as the installed ones.
"""

import shutil
import subprocess
import unittest

import harness
import scenario

CAPTION = scenario.CAPTION
INSTALL_DIR = scenario.DEFAULT_DIR
UNINSTALLER = INSTALL_DIR + "\\Uninstall.exe"
DESKTOP_LINK = scenario.PUBLIC_DESKTOP + "\\" + scenario.LINK_NAME
UNINSTALL_KEY = scenario.UNINSTALL_KEY
# The keys the product leaves in the registry (HKLM\software\Korvane is the application's own).
PRODUCT_KEYS = ("HKLM\\software\\Korvane", UNINSTALL_KEY, "HKCR\\.Kvx", "HKCR\\software\\KORVX",
                "HKCU\\software\\KORVX")

CSIDL_PROGRAMS = 2      # the user's start-menu programs, where Wine files Program Manager groups
UNINSTALL_TITLE = "软件卸载"
MESSAGE_BOX = "#32770"


def run_removal(test, w, uninstaller=UNINSTALLER, on_box=None):
    """Runs the uninstaller's whole removal and its finish; returns when the batch file has
    deleted the uninstaller, which comes after anything the shell was sent. Without `on_box`
    the removal must show no message box; with it, each box of the removal is handed to
    `on_box(box)` and then answered OK."""
    proc = w.start(uninstaller)
    win = w.wait_window(title=UNINSTALL_TITLE, cls="KorvForm", timeout=60)
    pid = win["pid"]
    next_button = w.wait_until(
        lambda: next((c["hwnd"] for c in w.controls(win["hwnd"]) if c["text"] == "下一步 >"),
                     None), 30, what="the Next button")
    w.click(next_button)

    def settled():
        if on_box and any(x["class"] == MESSAGE_BOX
                          for x in w.windows(pid=pid, visible_only=True)):
            on_box(w.msgbox(pid=pid))
            w.answer("OK", pid=pid)
            return None
        return w.get_text(next_button) == "完成" or None

    w.wait_until(settled, 120, what="the removal's end")
    test.assertEqual([x["title"] for x in w.windows(pid=pid, visible_only=True)
                      if x["class"] == MESSAGE_BOX], [], "no message box")
    w.click(next_button)
    test.assertEqual(proc.wait(60), 0)
    w.wait_until(lambda: not w.exists(uninstaller), 60, what="the batch file")


def install_through_wizard(w):
    """A whole installation with the default choices (the installer scenarios' wizard walk),
    finished without starting the application; returns when Setup.exe has ended."""
    wizard, _ = scenario.install(w)
    w.check(wizard.c["run"], False)
    wizard.click("next")
    code = wizard.proc.wait(60)
    if code != 0:
        raise harness.HarnessError(f"Setup.exe ended with exit code {code}")


def _folders(w, windows_path):
    root = w.unix_path(windows_path)
    return sorted(p.name for p in root.iterdir() if p.is_dir()) if root.is_dir() else []


class _TemplateRun:
    """The harness Run of this process, with another template prefix to copy from."""

    def __init__(self, run, template):
        self._run, self._template = run, template

    def template(self):
        return self._template

    def __getattr__(self, name):
        return getattr(self._run, name)


class _InstallingScenario(harness.Scenario):
    """The scenario that installs; its folder outlives it as the template of the copies (the
    test run's folder, which holds it, is removed at the end of the run)."""

    def close(self):
        keep = self.run.keep
        self.run.keep = True
        try:
            super().close()
        finally:
            self.run.keep = keep


class InstalledState:
    def __init__(self, codepage):
        self.codepage = codepage
        w = _InstallingScenario(codepage)
        try:
            programs = w.special_folder(CSIDL_PROGRAMS)
            before = set(_folders(w, programs))
            install_through_wizard(w)
            # The group folders the installation made (by name as Wine filed them).
            self.group_folders = [programs + "\\" + n for n in _folders(w, programs)
                                  if n not in before]
            self.group_folder = programs + "\\" + CAPTION     # what it should be named
            # The application's own machine-wide settings, with a sub-key, as the program
            # leaves them after its first run: the uninstaller removes them as a tree.
            w.wine("reg", "add", "HKLM\\software\\Korvane\\Options", "/v", "Skin", "/d", "Blue",
                   "/f")
            self.manifest = w.read_bytes(INSTALL_DIR + "\\Setup.log")
            self.config = w.read_bytes(INSTALL_DIR + "\\Setup.ini")
            self.installed_files = w.files(INSTALL_DIR)
            self.registry = {k: w.reg(k) for k in PRODUCT_KEYS}
        finally:
            w.close()     # the wineserver exits and writes the registry files
        self.template = w.dir

    def scenario(self):
        """A fresh Scenario in the installed state (its D: and HOME copied too)."""
        w = harness.Scenario(self.codepage, run=_TemplateRun(harness.Run.get(), self.template))
        try:
            for part, dest in (("d", w.d_dir), ("home", w.home)):
                src = self.template / part
                subprocess.run(["cp", "-a", f"{src}/.", str(dest)], check=True, timeout=300)
        except Exception:
            w.close()
            raise
        return w

    def manifest_paths(self):
        """The RelPath fields of the installed manifest, as text (GBK decoded)."""
        lines = self.manifest.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")
        paths = []
        for line in lines:
            name, _, rest = line.partition(b" ")
            _, _, rel = rest.partition(b" ")
            if rel:
                paths.append(rel.decode("gbk"))
        return paths


_states = {}


def installed(codepage):
    """The installed state of this process under one code page (made on the first call)."""
    if codepage not in _states:
        _states[codepage] = InstalledState(codepage)
    return _states[codepage]


def drop(codepage):
    """Removes the installed template of one code page (the copies are independent of it)."""
    state = _states.pop(codepage, None)
    if state:
        shutil.rmtree(state.template, ignore_errors=True)


class InstalledTestCase(unittest.TestCase):
    """Tests of the uninstaller, each on a fresh copy of the installed prefix of its code page
    (936 unless the class says otherwise)."""

    codepage = 936

    def setUp(self):
        self.state = installed(self.codepage)
        self.wine = self.state.scenario()
        self.addCleanup(self.wine.close)

    @classmethod
    def tearDownClass(cls):
        drop(cls.codepage)
        super().tearDownClass()
