"""Whole installations with the real Setup.exe, driven through its wizard: every file byte for
byte, every registry value, the desktop link, the Program Manager group, the finished page and
the start of the installed program; installing again into the same folder, into a folder with
blanks and Chinese characters, without the desktop link; and a new run refused while the
installed program is running."""

import unittest

import harness
import scenario as sc

CHINESE_DIR = "D:\\我的 软件\\Korvane"


@harness.both_code_pages
class InstallerInstall:

    def check_installation(self, folder, link):
        w = self.wine
        sc.check_files(self, w, folder)
        sc.check_registry(self, w, folder)
        if link:
            sc.check_desktop_link(self, w, folder, self.codepage)
        else:
            self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [], "no desktop link")
        sc.check_group(self, w, folder, self.codepage)
        sc.check_scratch_files(self, w)

    def finish(self, wizard, run):
        w = self.wine
        w.check(wizard.c["run"], run)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)

    def test_install_twice_then_refused_while_running(self):
        w = self.wine
        folder = sc.DEFAULT_DIR

        # First run: defaults, but without the desktop link; nothing started at the end.
        wizard, dialog = sc.install(w, desktop_link=False)
        sc.check_finished(self, w, wizard, dialog)
        self.check_installation(folder, link=False)
        self.finish(wizard, run=False)
        with self.assertRaises(harness.HarnessError, msg="no program is started"):
            w.wait_window(cls=sc.APP_CLASS, timeout=3)

        # Damage the installation a little: the second run writes everything again.
        w.unix_path(folder + "\\Readme.txt").write_bytes(b"changed")
        w.unix_path(folder + "\\SdbFile\\Words3.txt").unlink()
        w.wine("reg", "add", sc.UNINSTALL_KEY, "/v", "displayname", "/d", "old", "/f")
        w.wine("reg", "add", "HKCU\\Software\\KORVX\\Shell\\Version", "/v", "Version", "/d",
               "1.0", "/f")
        w.wine("reg", "add", "HKCR\\Software\\KORVX\\Shell\\Open\\Command", "/ve", "/d", "x",
               "/f")

        wizard, dialog = sc.install(w)
        sc.check_finished(self, w, wizard, dialog)
        self.check_installation(folder, link=True)
        self.finish(wizard, run=True)
        app = w.wait_window(cls=sc.APP_CLASS, title="Korvane", timeout=30)
        note = w.control(app["hwnd"], id=1002)
        self.assertEqual(note["text"], "未指定文档：程序启动时没有给出要打开的文档。")

        # Third run while the installed program runs: its file cannot be replaced.
        program = w.read_bytes(folder + "\\" + sc.PROGRAM)
        wizard = sc.start_setup(w)
        wizard.start_install()
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]),
                         ("VantaSetup", "所要安装的程序正在运行中,请退出后再安装!"))
        self.assertEqual([b["id"] for b in box["buttons"]], [1])
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)
        self.assertTrue(w.windows(pid=app["pid"], visible_only=True), "the program runs on")
        self.assertEqual(w.read_bytes(folder + "\\" + sc.PROGRAM), program)
        sc.check_registry(self, w, folder)

    def test_folder_with_blanks_and_chinese(self):
        w = self.wine
        wizard, dialog = sc.install(w, folder=CHINESE_DIR)
        sc.check_finished(self, w, wizard, dialog)
        self.check_installation(CHINESE_DIR, link=True)
        self.assertFalse(w.exists(sc.DEFAULT_DIR), "nothing in the default folder")

        # The close box on the finished page asks nothing, ends the program and, unlike
        # "完毕" with "运行软件" checked, starts nothing.
        w.sysclose(wizard.hwnd)
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)
        with self.assertRaises(harness.HarnessError, msg="no program is started"):
            w.wait_window(cls=sc.APP_CLASS, timeout=3)


if __name__ == "__main__":
    unittest.main()
