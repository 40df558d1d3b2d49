"""Runs of the real Setup.exe that do not complete: a destination folder that cannot be
created (on a drive that does not exist), and 取消 pressed on the progress dialog while the
files are being written (confirmed, which takes the run back; and withdrawn, after which the
run completes). A run
refused because the installed program is running is part of test_installer_install."""

import unittest

import harness
import scenario as sc

MISSING_DRIVE_DIR = "Q:\\Korvane"
CANCEL_QUESTION = "安装程序进行中,确定要退出安装吗?"


@harness.both_code_pages
class InstallerFailures:

    def cancel_and_end(self, wizard, dialog):
        """取消 on the progress dialog, confirmed with OK: the program ends."""
        w = self.wine
        w.click_text(dialog["hwnd"], "取消")
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]), ("退出安装", CANCEL_QUESTION))
        self.assertEqual(sorted(b["id"] for b in box["buttons"]), [1, 2])
        return box

    def check_nothing_registered(self):
        w = self.wine
        sc.check_no_registration(self, w)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [])
        self.assertFalse(w.exists(sc.group_folder(w, self.codepage)), "no program group")

    def test_destination_cannot_be_created(self):
        w = self.wine
        wizard = sc.start_setup(w)
        dialog = wizard.start_install(folder=MISSING_DRIVE_DIR)
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]),
                         ("Error", "创建主文件夹\\" + MISSING_DRIVE_DIR + " 失败"))
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        w.answer("OK", pid=wizard.pid)

        # The dialog stays with the failed step's status and progress; the wizard does not
        # come back, and the program waits for the user.
        status = w.control(dialog["hwnd"], cls="Static")
        self.assertEqual((status["text"], status["visible"]), ("安装主程序文件", True))
        bar = w.control(dialog["hwnd"], cls=sc.PROGRESS_CLASS)["hwnd"]
        self.assertEqual(w.send(bar, sc.PBM_GETPOS), 1)
        self.assertTrue(wizard.proc.running())
        self.assertFalse(wizard.window()["visible"])
        self.assertTrue(w.wait_window(title="安装", cls="KorvForm", pid=wizard.pid,
                                      timeout=5)["enabled"])
        sc.check_scratch_files(self, w)

        self.cancel_and_end(wizard, dialog)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)
        self.check_nothing_registered()
        self.assertEqual(w.files("D:\\"), [], "nothing written anywhere")

    def test_cancel_answered_cancel_goes_on(self):
        w = self.wine
        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        self.cancel_and_end(wizard, dialog)
        w.answer("Cancel", pid=wizard.pid)
        # The dialog comes back to the front without starting its run a second time; the
        # run goes on to the finished page and a complete installation.
        wizard.wait_finished()
        sc.check_finished(self, w, wizard, dialog)
        sc.check_files(self, w, sc.DEFAULT_DIR)
        sc.check_registry(self, w, sc.DEFAULT_DIR)
        sc.check_desktop_link(self, w, sc.DEFAULT_DIR, self.codepage)
        w.check(wizard.c["run"], False)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)

    def test_cancel_while_writing(self):
        w = self.wine
        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        self.cancel_and_end(wizard, dialog)
        # While the question is open the run waits; the OK takes back what it has written.
        written = w.files(sc.DEFAULT_DIR)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)

        self.assertLess(set(written), set(sc.expected_tree()), "the run stopped before its end")
        self.assertEqual(w.files("D:\\"), [], "nothing left of the run")
        self.check_nothing_registered()
        sc.check_scratch_gone(self, w)


if __name__ == "__main__":
    unittest.main()
