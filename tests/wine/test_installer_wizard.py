"""The wizard of the real Setup.exe page by page: texts and button states of the welcome,
agreement, destination and ready pages, the way back, the disk grid against Wine's drives,
double-clicks on the grid, a destination on a drive the grid does not list, and leaving: Exit
answered No resets a typed destination, the close box answered Cancel keeps everything,
answered OK ends the program."""

import re
import unittest

import harness
import scenario as sc

TYPED = "D:\\Elsewhere\\Korv"


@harness.both_code_pages
class InstallerWizard:

    def shown(self, state, name):
        return state[name]["visible"]

    def check_welcome(self, s):
        self.assertEqual(sc.Wizard.page_of(s), sc.WELCOME)
        self.assertEqual(s["welcome_title"]["text"], "欢迎使用 " + sc.CAPTION)
        self.assertEqual(s["welcome_text"]["text"],
                         "即将在您的电脑上安装“" + sc.CAPTION + "” 请点击“下一步”按钮继续。")
        self.assertFalse(self.shown(s, "header"))
        self.assertTrue(self.shown(s, "strip"))
        self.assertFalse(s["back"]["enabled"])
        self.assertEqual((s["next"]["text"], s["next"]["enabled"]), ("下一步 >", True))
        self.assertTrue(s["exit"]["enabled"])

    def check_fresh_agreement(self, wizard, s):
        self.assertEqual(sc.Wizard.page_of(s), sc.AGREEMENT)
        agreement = sc.payload_bytes("FileTxt4", "txtname").decode("gbk")
        memo = wizard.text("memo")
        self.assertEqual(memo.replace("\r\n", "\n").rstrip("\n"),
                         agreement.replace("\r\n", "\n").rstrip("\n"))
        self.assertTrue(self.shown(s, "header") and not self.shown(s, "strip"))
        self.assertEqual(s["title"]["text"], "用户授权协议")
        self.assertTrue(self.shown(s, "subtitle"))
        self.assertEqual(s["subtitle"]["text"], "请仔细阅读下面的协议条款")
        self.assertEqual((s["agree"]["checked"], s["disagree"]["checked"]), (False, True))
        self.assertFalse(s["next"]["enabled"])
        self.assertTrue(s["back"]["enabled"])

    def check_grid(self, wizard, selected_root, folder, before):
        """The grid lists the first unbroken run of fixed drives with their sizes, and the
        destination's drive carries the usage and remaining space. `before`: the drives as
        measured just before the step that filled the grid."""
        w = self.wine
        grid = w.listview(wizard.c["grid"])
        drives = w.drives()
        fixed = []
        for root, d in drives.items():
            if d["type"] == 3:
                fixed.append(root)
            elif fixed:
                break
        self.assertEqual(fixed[:2], ["C:\\", "D:\\"])
        self.assertEqual([row[0] for row in grid["items"]], fixed)
        self.assertEqual(grid["columns"], 5)
        self.assertEqual([c["width"] for c in grid["column_info"][:3]], [50, 80, 80])
        for row in grid["items"]:
            d = drives[row[0]]
            self.assertEqual(row[1], sc.gb_text(d["total"] / 1024 ** 3) + " GB", row)
            # Free space moves while other programs write: the program measured it between
            # the two readings of the test, so its text lies between them (with room for
            # rounding and for a space that went down and up again in between).
            m = re.fullmatch(r"(\d+\.\d{1,2}) GB", row[2])
            self.assertIsNotNone(m, row)
            self.assertEqual(len(m.group(1).split(".")[1]),
                             1 if float(m.group(1)) >= 10 else 2, row)
            low, high = sorted((before[row[0]]["free"] / 1024 ** 3, d["free"] / 1024 ** 3))
            self.assertTrue(low - 0.5 <= float(m.group(1)) <= high + 0.5,
                            f"{row}: free space measured {low:.2f} to {high:.2f} GB")
        index = fixed.index(selected_root)
        self.assertEqual(grid["selected"], index)
        for i, row in enumerate(grid["items"]):
            if i == index:
                self.assertEqual(row[3:], [" 15 MB", sc.remaining_text(row[2])])
            else:
                self.assertEqual(row[3:], ["", ""], row)
        self.assertEqual(wizard.text("path"), folder)

    def test_pages_there_and_back(self):
        w = self.wine
        wizard = sc.start_setup(w)
        self.check_welcome(wizard.state())

        s = wizard.next()
        self.check_fresh_agreement(wizard, s)
        wizard.click("agree")
        w.wait_until(lambda: wizard.state()["next"]["enabled"], what="Next enabled")
        wizard.click("disagree")
        w.wait_until(lambda: not wizard.state()["next"]["enabled"], what="Next disabled")
        code, _ = w.driver("click", wizard.c["next"], check=False)
        self.assertEqual(code, 3, "Next cannot be pressed before agreeing")
        wizard.agree()

        before = w.drives()
        s = wizard.next()
        self.assertEqual(s["title"]["text"], "选择安装文件夹")
        self.assertFalse(self.shown(s, "subtitle"))
        self.assertTrue(s["desktop"]["checked"])
        self.assertEqual(s["dest_text"]["text"], "请选择安装路径及文件夹，然后点击“下一步”")
        self.check_grid(wizard, "D:\\", sc.DEFAULT_DIR, before)

        # Back to the agreement: the header keeps the destination's title, the choice stays.
        s = wizard.back()
        self.assertEqual(s["title"]["text"], "选择安装文件夹")
        self.assertFalse(self.shown(s, "subtitle"))
        self.assertEqual((s["agree"]["checked"], s["next"]["enabled"]), (True, True))

        # Forward again; a double-click on the C: row moves the destination there.
        wizard.next()
        before = w.drives()
        w.listview_double_click(wizard.c["grid"], 0)
        w.wait_text(wizard.c["path"], "C:\\Program Files\\Korvn25")
        w.wait_until(lambda: w.listview(wizard.c["grid"])["selected"] == 0, what="C: selected")
        self.check_grid(wizard, "C:\\", "C:\\Program Files\\Korvn25", before)

        s = wizard.next()
        self.assertEqual(s["title"]["text"], "安装确认")
        self.assertEqual(s["ready_text"]["text"], "安装程序已经准备好在您的计算机上安装" + sc.CAPTION)
        self.assertTrue(self.shown(s, "subtitle"))
        self.assertEqual(s["subtitle"]["text"], "点击“下一步”开始安装" + sc.CAPTION)
        self.assertTrue(s["back"]["enabled"] and s["next"]["enabled"] and s["exit"]["enabled"])

        # Back from the ready page: its header stays, the grid is not refreshed.
        s = wizard.back()
        self.assertEqual(s["title"]["text"], "安装确认")
        self.assertTrue(self.shown(s, "subtitle"))
        self.assertEqual(w.listview(wizard.c["grid"])["selected"], 0)
        wizard.back()
        s = wizard.back()
        self.check_welcome(s)

        # Next again reloads the agreement and withdraws the earlier consent.
        s = wizard.next()
        self.check_fresh_agreement(wizard, s)

        # A destination on a drive the grid does not list: the refresh finds no row for it
        # and ends with the grid's error; the typed folder stays, no row shows the usage.
        wizard.agree()
        wizard.next()
        w.set_text(wizard.c["path"], "Q:\\Korvane")
        wizard.back()
        wizard.click("next")
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]), ("VantaSetup", "Grid index out of range."))
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.page(), sc.DESTINATION)
        self.assertEqual(wizard.text("path"), "Q:\\Korvane")
        self.assertEqual([row[3:] for row in w.listview(wizard.c["grid"])["items"]],
                         [["", ""]] * len(w.listview(wizard.c["grid"])["items"]))
        # A double-click on the D: row puts its letter in front of the typed folder.
        before = w.drives()
        w.listview_double_click(wizard.c["grid"], 1)
        w.wait_text(wizard.c["path"], "D:\\Korvane")
        self.check_grid(wizard, "D:\\", "D:\\Korvane", before)
        self.assertEqual(wizard.exit_program(), 0)
        sc.check_scratch_gone(self, w)

    def test_exit_no_and_close_box(self):
        w = self.wine
        wizard = sc.start_setup(w)
        wizard.walk_to(sc.DESTINATION)
        w.set_text(wizard.c["path"], TYPED)
        w.wait_text(wizard.c["path"], TYPED)

        # Exit, answered No: the wizard stays on its page and the destination is reset.
        wizard.click("exit")
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]), ("Confirm", sc.EXIT_QUESTION))
        self.assertEqual(sorted(b["text"] for b in box["buttons"]), ["&No", "&Yes"])
        w.answer("No", pid=wizard.pid)
        w.wait_text(wizard.c["path"], sc.DEFAULT_DIR)
        self.assertEqual(wizard.page(), sc.DESTINATION)
        self.assertTrue(wizard.proc.running())

        # The close box, answered Cancel: nothing changes (no reset this time).
        w.set_text(wizard.c["path"], TYPED)
        w.wait_text(wizard.c["path"], TYPED)
        before = wizard.state()
        w.sysclose(wizard.hwnd)
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]), ("退出安装", sc.EXIT_QUESTION))
        self.assertEqual(sorted(b["id"] for b in box["buttons"]), [1, 2])
        w.answer("Cancel", pid=wizard.pid)
        self.assertEqual(wizard.text("path"), TYPED)
        after = wizard.state()
        self.assertEqual({n: (c["text"], c["visible"], c["enabled"], c["checked"])
                          for n, c in after.items()},
                         {n: (c["text"], c["visible"], c["enabled"], c["checked"])
                          for n, c in before.items()})
        self.assertTrue(wizard.window()["visible"])

        # The close box, answered OK: the program ends and its scratch files go.
        w.sysclose(wizard.hwnd)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)
        self.assertFalse(w.exists(TYPED), "nothing is created before the run")


if __name__ == "__main__":
    unittest.main()
