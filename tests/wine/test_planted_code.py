"""What a web page or another program of the user can place where the programs run from, given
to the real programs (both run with administrator rights): DLLs of system names beside
Setup.exe and beside Uninstall.exe, Setup.exe renamed and another file put at its name while
the wizard waits, and a ping.bat in the install folder. Nothing placed may run, and every
installed byte is the payload's.

Wine loads its own DLL for a system name even when a file of that name lies beside the
program; Windows searches the program's folder first for every DLL that is not a KnownDLL. So
these tests tell Wine to prefer a DLL on disk for the planted names (native first), as Windows
would. Names that Wine's own DLLs load before a program's first line are left out: they would
test Wine, not the program. A control program that does not restrict its DLL search shows that
the planted DLLs are loaded when searched for. Code page 936 only: the rules do not depend on
it."""

import os
import shutil
import subprocess
import unittest

import harness
import install_state as inst
import scenario as sc

PLANTED = ("uxtheme", "dwmapi", "msimg32", "propsys", "oleacc", "windowscodecs")
NATIVE_FIRST = ",".join(PLANTED) + "=n,b"
UNINSTALL_TITLE = "软件卸载"


def plant_dlls(folder):
    """A DLL under each planted name; one that is loaded leaves "<name>.dll.loaded" beside it
    naming the program that loaded it."""
    for name in PLANTED:
        shutil.copyfile(harness.cross_file("plant.dll"), folder / f"{name}.dll")


def loaded(folder):
    """{marker: program that loaded the DLL} of the planted DLLs in a folder that were loaded."""
    return {p.name: p.read_bytes().decode("utf-16-le", "replace")
            for p in sorted(folder.glob("*.loaded"))}


def native_first(w):
    w.env["WINEDLLOVERRIDES"] = w.env["WINEDLLOVERRIDES"] + ";" + NATIVE_FIRST


def ping_running(w):
    """A process of the system's ping.exe in this scenario's prefix (Wine names each process
    by its Windows program)."""
    prefix = b"WINEPREFIX=" + str(w.prefix).encode() + b"\0"
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if b"ping.exe" not in f.read().lower():
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if prefix in f.read() + b"\0":
                    return True
        except OSError:
            pass
    return False


class PlantedBesideSetup(harness.WineTestCase):
    """Setup.exe run from a downloads folder, D:\\Downloads."""

    def setUp(self):
        super().setUp()
        self.folder = self.wine.drive_d / "Downloads"
        self.folder.mkdir()
        self.setup = self.folder / "Setup.exe"
        shutil.copyfile(harness.cross_file("Setup.exe"), self.setup)

    def finish(self, wizard):
        self.wine.check(wizard.c["run"], False)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)

    def test_dlls_of_system_names_beside_it_are_not_loaded(self):
        w = self.wine
        native_first(w)
        control = w.drive_d / "Control"
        control.mkdir()
        shutil.copyfile(harness.cross_file("driver_testapp.exe"), control / "app.exe")
        plant_dlls(control)
        w.start(control / "app.exe")
        w.wait_until(lambda: loaded(control), 60, what="the control program loading a plant")
        plant_dlls(self.folder)

        wizard = sc.start_setup(w, program=self.setup)
        self.assertEqual(loaded(self.folder), {}, "loaded by the time the wizard shows")
        wizard.start_install()
        wizard.wait_finished()
        sc.check_files(self, w, sc.DEFAULT_DIR)
        self.finish(wizard)
        self.assertEqual(loaded(self.folder), {})

    def test_program_file_replaced_while_the_wizard_waits(self):
        w = self.wine
        wizard = sc.start_setup(w, program=self.setup)
        # Renamed, as Windows allows for a running program, and another file of the same size
        # put at its name: every byte inverted.
        data = self.setup.read_bytes()
        self.setup.rename(self.folder / "Setup.old")
        self.setup.write_bytes(data.translate(bytes(255 - b for b in range(256))))
        wizard.start_install()
        wizard.wait_finished()
        sc.check_files(self, w, sc.DEFAULT_DIR)
        self.finish(wizard)


class PlantedInTheInstallFolder(unittest.TestCase):
    """The uninstaller started from the install folder (its working folder too), on a copy of
    an installed prefix."""

    codepage = 936

    def setUp(self):
        self.wine = inst.installed(self.codepage).scenario()
        self.addCleanup(self.wine.close)

    @classmethod
    def tearDownClass(cls):
        inst.drop(cls.codepage)
        super().tearDownClass()

    def test_no_dll_and_no_ping_of_the_install_folder_runs(self):
        w = self.wine
        folder = w.unix_path(inst.INSTALL_DIR)
        plant_dlls(folder)
        ran = folder / "ping.ran"
        (folder / "ping.bat").write_bytes(
            b'echo ran>"' + inst.INSTALL_DIR.encode() + b'\\ping.ran"\r\n')
        native_first(w)
        # The batch file pauses with ping after each failed attempt at deleting the
        # uninstaller: its file is kept undeletable (root ignores permission bits) until the
        # pause has come, so that it does.
        uninstaller = folder / "Uninstall.exe"
        subprocess.run(["chattr", "+i", str(uninstaller)], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", str(uninstaller)], capture_output=True)

        proc = w.start(inst.UNINSTALLER, cwd=folder)
        win = w.wait_window(title=UNINSTALL_TITLE, cls="KorvForm", timeout=60)
        self.assertEqual(loaded(folder), {}, "loaded by the time the window shows")
        next_button = w.wait_until(
            lambda: next((c["hwnd"] for c in w.controls(win["hwnd"]) if c["text"] == "下一步 >"),
                         None), 30, what="the Next button")
        w.click(next_button)
        w.wait_text(next_button, "完成", timeout=120)
        w.click(next_button)
        self.assertEqual(proc.wait(60), 0)
        w.wait_until(lambda: ran.exists() or ping_running(w), 60, what="the batch file's pause")
        self.assertFalse(ran.exists(), "the ping.bat of the install folder ran")

        subprocess.run(["chattr", "-i", str(uninstaller)], check=True)
        w.wait_until(lambda: not uninstaller.exists() and not w.exists("C:\\_destoryme.bat"),
                     60, what="the batch file deleting the uninstaller and itself")
        self.assertEqual(loaded(folder), {})


if __name__ == "__main__":
    unittest.main()
