"""The real programs on a messy machine: a destination disk that fills up during the install
(a 1 MiB tmpfs behind D:), a read-only Options.ini left by an earlier install, a Setup.log
deleted before uninstalling, and an installer killed in the middle of its run and started
again. Each must end with its message or its sound behaviour, and touch nothing else.

Runs under code page 936 only: what is tested here does not depend on the code page (the
other modules run the same flows under 1252)."""

import os
import subprocess
import unittest

import harness
import scenario as sc

GENERIC_TITLE = "VantaSetup"
CANCEL_QUESTION = "安装程序进行中,确定要退出安装吗?"
UNINSTALL_TITLE = "软件卸载"
BATCH = "C:\\_destoryme.bat"


class Robustness(harness.WineTestCase):

    # -- helpers ---------------------------------------------------------------------------

    def leave_with_cancel(self, wizard, dialog):
        """The run has stopped: 取消 on the dialog, confirmed; the program ends with 0."""
        w = self.wine
        w.click_text(dialog["hwnd"], "取消")
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual(box["text"], CANCEL_QUESTION)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)

    def stopped_with_error_box(self, wizard, path):
        """The generic error box for a file that cannot be written; returns its text."""
        w = self.wine
        box = w.msgbox(timeout=60, pid=wizard.pid)
        self.assertEqual(box["caption"], GENERIC_TITLE)
        self.assertTrue(box["text"].startswith(f'Cannot create file "{path}". '), box["text"])
        self.assertEqual([b["id"] for b in box["buttons"]], [1])  # IDOK alone
        w.answer("OK", pid=wizard.pid)
        # The run has stopped: the wizard does not come back and the program waits.
        self.assertTrue(wizard.proc.running())
        self.assertFalse(wizard.window()["visible"])
        return box["text"]

    def check_nothing_registered(self):
        w = self.wine
        sc.check_no_registration(self, w)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [])
        self.assertFalse(w.exists(sc.group_folder(w, self.codepage)), "no program group")
        sc.check_scratch_gone(self, w)

    def finish(self, wizard):
        """完毕 on the finished page without starting the program; waits for the end."""
        self.wine.check(wizard.c["run"], False)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)

    # -- the tests ---------------------------------------------------------------------------

    def test_destination_disk_fills_up(self):
        w = self.wine
        ddir = str(w.drive_d)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", ddir],
                           capture_output=True, text=True)
        if r.returncode != 0:
            self.skipTest(f"cannot mount a tmpfs here ({r.stderr.strip()}); "
                          "the full disk needs mount privileges")
        # Lazily, after the scenario's wineserver is gone (cleanups run last-in first-out).
        self.addCleanup(subprocess.run, ["umount", "-l", ddir], capture_output=True)
        self.assertEqual(w.drives()["D:\\"]["total"], 1 << 20)

        # KVRN.exe and Uninstall.exe fit; Help.chm (1 MB) does not.
        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        target = sc.DEFAULT_DIR + "\\Help.chm"
        text = self.stopped_with_error_box(wizard, target)
        # Wine's text for ERROR_DISK_FULL (112), in the system's language.
        harness._log(f"full disk: {text}")
        self.assertNotIn("denied", text.lower())
        self.leave_with_cancel(wizard, dialog)

        # After the error box the run was taken back: nothing is left on the full disk.
        self.check_nothing_registered()
        self.assertEqual(os.listdir(ddir), [])

    def test_read_only_options_from_an_earlier_install(self):
        w = self.wine
        options = sc.unwritable_earlier_file(self, w, sc.DEFAULT_DIR + "\\Options.ini",
                                             b"[Old]\r\nKept=1\r\n")

        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        self.stopped_with_error_box(wizard, sc.DEFAULT_DIR + "\\Options.ini")
        self.leave_with_cancel(wizard, dialog)

        # The run was taken back; the earlier file is as it was.
        self.assertEqual(options.read_bytes(), b"[Old]\r\nKept=1\r\n")
        self.assertEqual(w.files(sc.DEFAULT_DIR), ["Options.ini"])
        self.check_nothing_registered()

    def test_manifest_deleted_before_uninstalling(self):
        w = self.wine
        wizard, _ = sc.install(w)
        self.finish(wizard)
        w.unix_path(sc.DEFAULT_DIR + "\\Setup.log").unlink()
        before = w.files(sc.DEFAULT_DIR)

        proc = w.start(sc.DEFAULT_DIR + "\\Uninstall.exe")
        window = w.wait_window(title=UNINSTALL_TITLE, cls="KorvForm", timeout=60)
        w.click_text(window["hwnd"], "下一步 >")
        # No message, nothing removed: the window closes and the program ends.
        self.assertEqual(proc.wait(60), 0)
        self.assertEqual(w.files(sc.DEFAULT_DIR), before)
        sc.check_registry(self, w, sc.DEFAULT_DIR)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [sc.LINK_NAME])
        self.assertTrue(w.exists(sc.group_folder(w, self.codepage)))
        self.assertFalse(w.exists(BATCH))

    def test_killed_mid_run_then_installed_again(self):
        w = self.wine
        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        bar = w.control(dialog["hwnd"], cls=sc.PROGRESS_CLASS)["hwnd"]
        w.wait_until(lambda: w.send(bar, sc.PBM_GETPOS) >= 10, what="the run under way")
        wizard.proc.popen.kill()
        wizard.proc.wait(30)
        w.wait_until(lambda: not w.windows(pid=wizard.pid), what="the killed program's windows")

        # The scratch files stay behind; spoil them, as an older installer might have.
        sc.check_scratch_files(self, w)
        for name in sc.SCRATCH_FILES:
            w.unix_path(sc.SCRATCH + name).write_bytes(b"stale " * 1000)
        written = w.files(sc.DEFAULT_DIR)
        self.assertLess(set(written), set(sc.expected_tree()), "killed before the end")

        # The next start overwrites the scratch files and installs completely.
        wizard = sc.start_setup(w)
        sc.check_scratch_files(self, w)
        wizard.start_install()
        wizard.wait_finished()
        self.finish(wizard)
        sc.check_files(self, w, sc.DEFAULT_DIR)
        sc.check_registry(self, w, sc.DEFAULT_DIR)
        sc.check_desktop_link(self, w, sc.DEFAULT_DIR, self.codepage)
        sc.check_group(self, w, sc.DEFAULT_DIR, self.codepage)
        sc.check_scratch_gone(self, w)


if __name__ == "__main__":
    unittest.main()
