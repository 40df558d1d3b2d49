"""A whole installation and removal with the keyboard alone: keys go through the X server
(xdotool) to the window that has the input focus, as a keyboard sends them. At every page the
control that has the focus is read from outside (GetGUIThreadInfo) and must be visible and
enabled, and named for a screen reader. Every key is followed by a wait for what it must
change, so the walk never races the program.

Under code page 936 only: the keys and the focus do not depend on the system code page, which
the other modules cover.

Two screenshots of pages with the focus rectangle showing (the disk table, the finished page's
check box) go to the artifacts folder as keys-destination.png and keys-finished.png."""

import unittest

import harness
import scenario as sc
from test_uninstaller_wizard import BATCH, TITLE

ES_MULTILINE = 0x0004


class KeyboardOnly(harness.WineTestCase):

    def focus_on(self, window, text, cls="Button"):
        """Waits until the control with this text (or, for an edit or the table, of this
        class) has the focus of `window`'s thread; checks that it can be used and is named."""
        w = self.wine

        def probe():
            f = w.focus(window)
            c = f["control"]
            if c and c["class"] == cls and (text is None or c["text"] == text):
                return f
            return None

        f = w.wait_until(probe, what=f"the focus on {cls} {text!r}")
        c = f["control"]
        self.assertTrue(c["visible"] and c["enabled"], c)
        if not (c["class"] == "Edit" and c["style"] & ES_MULTILINE):
            self.assertTrue(f["name"], f"no screen-reader name: {c}")
        return f

    def test_install_and_remove_with_keys_only(self):
        w = self.wine
        wizard = sc.start_setup(w)
        hwnd = wizard.hwnd

        # Welcome: Next has the focus. Esc asks as 退出 does; Esc in that box answers No.
        self.focus_on(hwnd, "下一步 >")
        w.keys("Escape")
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]), ("Confirm", sc.EXIT_QUESTION))
        self.focus_on(box["hwnd"], "&Yes")  # the key must reach the box, not the wizard
        w.keys("Escape")
        w.wait_gone(box["hwnd"])
        self.focus_on(hwnd, "下一步 >")
        w.keys("Return")
        wizard.wait_page(sc.AGREEMENT)

        # Agreement: Next is disabled, so the focus is on the text; the two choices are one
        # tab stop, and the arrow chooses.
        self.focus_on(hwnd, None, "Edit")
        w.keys("Tab")
        self.focus_on(hwnd, "我不同意以上条款")
        w.keys("Up")
        self.focus_on(hwnd, "我同意以上条款")
        w.wait_until(lambda: wizard.state()["next"]["enabled"], what="Next enabled")
        self.assertTrue(wizard.state()["agree"]["checked"])
        w.keys("Return")
        wizard.wait_page(sc.DESTINATION)

        # Destination: Tab visits every control in visual order, round to Next again.
        names = {}
        self.focus_on(hwnd, "下一步 >")
        w.keys("Tab")
        self.focus_on(hwnd, "退出")
        w.keys("Tab")
        names["edit"] = self.focus_on(hwnd, None, "Edit")["name"]
        w.keys("Tab")
        self.focus_on(hwnd, "浏览")
        w.keys("Tab")
        names["table"] = self.focus_on(hwnd, None, "SysListView32")["name"]
        self.assertEqual(names, {"edit": "请选择安装路径及文件夹，然后点击“下一步”",
                                 "table": "磁盘空间(双击鼠标选择)"})
        # In the table the arrows move the selection and Enter does what a double-click does.
        grid = wizard.c["grid"]
        rows = w.listview(grid)
        self.assertEqual([r[0] for r in rows["items"]][:2], ["C:\\", "D:\\"])
        self.assertEqual(rows["selected"], 1)
        w.keys("Up")
        w.wait_until(lambda: w.listview(grid)["selected"] == 0, what="row C: selected")
        w.keys("Return")
        w.wait_text(wizard.c["path"], "C:\\Program Files\\Korvn25")
        w.keys("Down")
        w.wait_until(lambda: w.listview(grid)["selected"] == 1, what="row D: selected")
        w.keys("Return")
        w.wait_text(wizard.c["path"], sc.DEFAULT_DIR)
        # The rows carry their cells' text as item text, though the program draws them.
        self.assertEqual(w.listview(grid)["items"][1][3], " 15 MB")
        w.screenshot("keys-destination")
        w.keys("Tab")
        self.focus_on(hwnd, "创建桌面快捷方式")
        w.keys("space")
        w.wait_until(lambda: not wizard.state()["desktop"]["checked"], what="box cleared")
        w.keys("Tab")
        self.focus_on(hwnd, "< 返回")
        w.keys("Tab")
        self.focus_on(hwnd, "下一步 >")
        w.keys("shift+Tab")
        self.focus_on(hwnd, "< 返回")
        w.keys("Tab")
        self.focus_on(hwnd, "下一步 >")
        w.keys("Return")
        wizard.wait_page(sc.READY)

        # Ready; then the run, and the finished page.
        self.focus_on(hwnd, "下一步 >")
        w.keys("Return")
        wizard.wait_finished()
        # Wine's Program Manager opens an explorer window on the new group, and that window
        # takes the foreground from the installer whenever it shows (before or after the
        # finished page): it is closed, and the wizard brought back as Alt+Tab would with a
        # window manager. The progress dialog's focus is left to the unit tests for the same
        # reason: the group window may take the foreground while the dialog is up.
        group = w.wait_window(cls="ExplorerWClass", title=sc.CAPTION)
        w.sysclose(group["hwnd"])
        w.wait_gone(group["hwnd"])
        w.activate(hwnd)
        w.wait_until(lambda: w.foreground()["hwnd"] == hwnd, what="the wizard in front")
        self.focus_on(hwnd, "完毕")
        w.keys("Tab")
        self.focus_on(hwnd, "运行软件")
        self.assertEqual(w.focus(hwnd)["cues_hidden"], 0, "the focus rectangle shows")
        w.keys("space")
        w.wait_until(lambda: not wizard.state()["run"]["checked"], what="运行软件 cleared")
        w.screenshot("keys-finished")
        w.keys("Return")
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_files(self, w, sc.DEFAULT_DIR)
        sc.check_registry(self, w, sc.DEFAULT_DIR)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [], "the desktop link was turned off")
        self.assertEqual([x for x in w.windows() if x["class"] == sc.APP_CLASS], [],
                         "the application was not to be started")

        # The removal: Enter on the confirmation page runs it, Enter on the done page ends.
        proc = w.start(sc.DEFAULT_DIR + "\\Uninstall.exe")
        win = w.wait_window(title=TITLE, cls="KorvForm", timeout=60)
        self.focus_on(win["hwnd"], "下一步 >")
        w.keys("Return")
        self.focus_on(win["hwnd"], "完成")
        w.keys("Return")
        self.assertEqual(proc.wait(60), 0)
        w.wait_until(lambda: not w.exists(BATCH), 60, what="the batch file to delete itself")
        self.assertEqual(w.files(sc.DEFAULT_DIR), [])
        sc.check_no_registration(self, w)


if __name__ == "__main__":
    unittest.main()
