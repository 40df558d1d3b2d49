"""The real Uninstall.exe after a real installation (Setup.exe driven through its wizard once
per code page, its prefix copied for each scenario): the three pages, the whole removal and
the self-deleting batch file, the title-bar close on the done page, a data folder that cannot
be emptied, a missing manifest, and Cancel.

With KORV_SCREENSHOT_DIR set, the full removal also saves the window on each of its three
pages there (uninstall-cp<N>-p1.png, -p2.png, -p3.png)."""

import os
import re
import subprocess
import time
import unittest
from pathlib import Path

import harness
import install_state as inst
from install_state import CAPTION, INSTALL_DIR, UNINSTALLER

TITLE = "软件卸载"
BATCH = "c:\\_destoryme.bat"
NEXT, CANCEL, DONE = "下一步 >", "取消", "完成"
CONFIRM_TEXT = "即将从您的电脑中卸载 " + CAPTION
DONE_TEXT = CAPTION + " 卸载完毕."
DONE_HINT = "请点击“完成”按钮退出本程序"
HEADER_TEXT = "正在卸载" + CAPTION
STEP_TEXTS = {"正在卸载......", "删除文件...", "删除文件夹", "清除注册表信息...",
              "删除桌面程序图标...", "删除[开始]菜单程序群组...", "删除批处理文件..."}


class Page:
    """What the uninstaller's window shows at one moment, read through the driver."""

    def __init__(self, w, hwnd):
        self.controls = w.controls(hwnd)
        self.shown = {c["text"]: c for c in self.controls if c["visible"] and c["text"]}
        # The left picture strip: the 156-pixel column directly on the window.
        strips = [c for c in self.controls if c["parent"] == hwnd and c["class"] == "KorvPaint"
                  and c["rect"][2] - c["rect"][0] == 156]
        self.left_picture = bool(strips) and strips[0]["visible"]
        self.header = HEADER_TEXT in self.shown

    def button(self, text):
        return self.shown.get(text)

    def status(self):
        """The working page's status line (the one shown text that is a status)."""
        found = [t for t in self.shown if t in STEP_TEXTS or t.startswith("删除文件: ")]
        return found[0] if len(found) == 1 else None


@harness.both_code_pages
class UninstallerChecks:

    # Every test starts from a copy of the installed prefix, not from the bare template.
    def setUp(self):
        unittest.TestCase.setUp(self)
        self.state = inst.installed(self.codepage)
        self.wine = self.state.scenario()
        self.addCleanup(self.wine.close)
        self.addCleanup(self._screenshot_on_failure)

    @classmethod
    def tearDownClass(cls):
        inst.drop(cls.codepage)
        super().tearDownClass()

    # -- helpers -------------------------------------------------------------------------------

    def start_uninstaller(self):
        proc = self.wine.start(UNINSTALLER)
        win = self.wine.wait_window(title=TITLE, cls="KorvForm", timeout=60)
        page = self.wine.wait_until(lambda: (p := Page(self.wine, win["hwnd"]))
                                    .shown.get(CONFIRM_TEXT) and p, 30, what="the confirm page")
        return proc, win, page

    def wait_done_page(self, hwnd, timeout=60):
        # The done page's own text as well as the button: the page's controls come into being
        # as it is first shown, and a reading taken across that moment can see the page
        # without them.
        return self.wine.wait_until(
            lambda: ((p := Page(self.wine, hwnd)).button(DONE) and DONE_HINT in p.shown
                     and p), timeout, what="the done page")

    def assert_installed(self, except_files=()):
        """Nothing of the installation is gone (but the listed files)."""
        w = self.wine
        expected = [f for f in self.state.installed_files if f not in except_files]
        self.assertEqual(w.files(INSTALL_DIR), expected)
        for key in inst.PRODUCT_KEYS:
            self.assertEqual(w.reg(key), self.state.registry[key], key)
        self.assertTrue(w.exists(inst.DESKTOP_LINK))
        for group in self.state.group_folders:
            self.assertTrue(w.exists(group), group)
        self.assertFalse(w.exists(BATCH))

    def assert_working_page(self, seen, status):
        """The working page: header shown, picture strip hidden, both buttons disabled, the
        status line across the full width below the header."""
        self.assertTrue(seen.header, seen.shown)
        self.assertFalse(seen.left_picture)
        self.assertFalse(seen.button(NEXT)["enabled"] or seen.button(CANCEL)["enabled"])
        self.assertEqual(seen.status(), status)
        self.assertEqual(seen.shown[status]["rect"], [60, 57 + 44, 60 + 353, 57 + 44 + 13])
        self.assertNotIn(CONFIRM_TEXT, seen.shown)
        self.assertNotIn(DONE_TEXT, seen.shown)

    def status_ranks(self):
        """The status texts of the removal, each with its place in the sequence."""
        texts = ["正在卸载......", "删除文件..."]
        texts += ["删除文件: " + p for p in self.state.manifest_paths()]
        texts += ["删除文件夹", "清除注册表信息...", "删除桌面程序图标...", "删除[开始]菜单程序群组...",
                  "删除批处理文件..."]
        return {t: i for i, t in enumerate(texts)}

    def shot_working_page(self, win):
        """Pictures of the window while the removal runs; the last one that shows the working
        page (the only page without the blue picture strip on the left) is kept as p2, so
        that the bar has moved a little."""
        folder = Path(os.environ["KORV_SCREENSHOT_DIR"])
        kept, working = None, 0
        for i in range(40):
            shot = self.shot(f"p2-{i}", win)
            pixel = subprocess.run(["convert", str(shot), "-format", "%[pixel:p{40,200}]",
                                    "info:"], capture_output=True, text=True, timeout=60)
            rgb = [int(v) for v in re.findall(r"\d+", pixel.stdout)[:3]]
            if len(rgb) == 3 and max(rgb) - min(rgb) < 30:
                working += 1
                if kept:
                    kept.unlink()
                kept = shot
                if working == 4:
                    break
            else:
                shot.unlink()
                if working:
                    break
        if kept:
            return kept.rename(folder / f"uninstall-cp{self.codepage}-p2.png")
        harness._log("no picture of the working page was caught")
        return None

    def wine_uninstaller_entries(self):
        """The entries that Wine's own uninstaller lists (key name first on each line)."""
        _, out = self.wine.wine("uninstaller", "--list")
        return [line.split("|||")[0] for line in out.splitlines() if "|||" in line]

    def shot(self, name, win):
        """The window's rectangle of the display, saved into KORV_SCREENSHOT_DIR."""
        folder = os.environ.get("KORV_SCREENSHOT_DIR")
        if not folder:
            return None
        Path(folder).mkdir(parents=True, exist_ok=True)
        left, top, right, bottom = win["rect"]
        out = Path(folder, f"uninstall-cp{self.codepage}-{name}.png")
        subprocess.run(["import", "-display", self.wine.run.display.name, "-window", "root",
                        "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        str(out)], check=True, timeout=60, capture_output=True)
        return out

    # -- scenarios -----------------------------------------------------------------------------

    def test_full_removal_and_self_deleting_batch(self):
        w = self.wine
        self.assert_installed()
        self.assertTrue(self.state.group_folders, "the installation made a group")
        if self.codepage == 936:
            self.assertEqual(self.state.group_folders, [self.state.group_folder])
        self.assertIn("Korvane", self.wine_uninstaller_entries(),
                      "Wine's uninstaller lists the per-user entry")
        proc, win, page = self.start_uninstaller()
        hwnd = win["hwnd"]
        self.assertEqual(win["client"], [502, 335])
        owner = [x for x in w.windows(pid=win["pid"]) if x["hwnd"] == win["owner"]]
        self.assertEqual([x["title"] for x in owner], [TITLE], "the application's title")
        self.assertTrue(page.left_picture)
        self.assertFalse(page.header)
        self.assertFalse(page.button("< 返回")["enabled"])
        self.assertTrue(page.button(NEXT)["enabled"] and page.button(CANCEL)["enabled"])
        self.shot("p1", win)

        # One Next runs the whole removal and lands on the done page. The status line is
        # read alone while it runs (one control at a time gives a consistent reading): every
        # text seen is a step's text, in the order of the steps. It comes into being with its
        # page, the working page, once the removal has begun.
        next_button = page.button(NEXT)["hwnd"]
        w.click(next_button)
        if os.environ.get("KORV_SCREENSHOT_DIR"):
            self.shot_working_page(win)
        ranks = self.status_ranks()
        lblinfo = w.wait_until(
            lambda: next((c["hwnd"] for c in w.controls(hwnd) if c["text"] in ranks), None),
            30, what="the status line of the working page")
        seen = []
        deadline = time.monotonic() + 120
        while w.get_text(next_button) != DONE:
            status = w.get_text(lblinfo)
            if not seen or seen[-1] != status:
                seen.append(status)
            self.assertTrue(proc.running(), "the uninstaller ended during the removal")
            if time.monotonic() > deadline:
                raise harness.HarnessError(f"no done page; status texts seen: {seen}")
        seen.append(w.get_text(lblinfo))
        harness._log(f"status texts seen: {seen}")
        self.assertTrue(all(t in ranks for t in seen), seen)
        self.assertEqual(seen, sorted(seen, key=ranks.get), "steps out of order")
        self.assertEqual(seen[-1], "删除批处理文件...")
        done = self.wait_done_page(hwnd)
        self.assertIn(DONE_TEXT, done.shown)
        self.assertIn(DONE_HINT, done.shown)
        self.assertTrue(done.button(DONE)["enabled"])
        self.assertFalse(done.button(CANCEL)["enabled"])
        self.assertTrue(done.left_picture)
        self.assertFalse(done.header)
        self.shot("p3", win)

        # Before the finish: everything is gone but the running uninstaller, and the batch
        # file is waiting.
        self.assertEqual(w.files(INSTALL_DIR), ["Uninstall.exe"])
        for key in inst.PRODUCT_KEYS:
            self.assertIsNone(w.reg(key), key)
        self.assertFalse(w.exists(inst.DESKTOP_LINK))
        w.wait_until(lambda: not any(w.exists(g) for g in self.state.group_folders), 30,
                     what="the Program Manager group to go")
        self.assertTrue(w.exists(BATCH))
        self.assertNotIn("Korvane", self.wine_uninstaller_entries())

        w.click(done.button(DONE)["hwnd"])
        self.assertEqual(proc.wait(30), 0)
        w.wait_until(lambda: not w.exists(UNINSTALLER) and not w.exists(BATCH), 60,
                     what="the batch file to delete the uninstaller and itself")
        self.assertTrue(w.unix_path(INSTALL_DIR).is_dir(), "the install folder stays")
        self.assertEqual(w.files(INSTALL_DIR), [])
        for name in self.state.manifest_paths():
            self.assertFalse(w.exists(INSTALL_DIR + "\\" + name), name)

    def test_title_bar_close_on_done_page_keeps_uninstaller_and_batch(self):
        w = self.wine
        proc, win, page = self.start_uninstaller()
        w.click(page.button(NEXT)["hwnd"])
        self.wait_done_page(win["hwnd"])
        w.sysclose(win["hwnd"])
        self.assertEqual(proc.wait(30), 0)
        # Nobody started the batch file: it and the uninstaller stay (the batch file, had it
        # run, removes the uninstaller well within this pause).
        w.wait_until(lambda: w.exists(UNINSTALLER) and w.exists(BATCH), 5)
        time.sleep(3)
        self.assertEqual(w.files(INSTALL_DIR), ["Uninstall.exe"])
        self.assertTrue(w.exists(BATCH))

    def test_title_bar_close_during_removal_waits_for_its_end(self):
        w = self.wine
        proc, win, page = self.start_uninstaller()
        # Both land in the program's queue in this order: the close request is handled at the
        # removal's first pause for messages.
        w.click(page.button(NEXT)["hwnd"])
        w.sysclose(win["hwnd"])
        left = len(w.files(INSTALL_DIR))
        harness._log(f"{left} files and folders were left when the close request was sent")
        self.assertEqual(proc.wait(60), 0)
        # The removal ran to its end (the batch file is its last step) but nobody started
        # the batch file.
        self.assertTrue(w.exists(BATCH))
        for key in inst.PRODUCT_KEYS:
            self.assertIsNone(w.reg(key), key)
        self.assertFalse(w.exists(inst.DESKTOP_LINK))
        time.sleep(3)
        self.assertEqual(w.files(INSTALL_DIR), ["Uninstall.exe"])
        self.assertTrue(w.exists(BATCH))

    def test_read_only_file_keeps_data_folder_with_two_messages(self):
        w = self.wine
        sdb = INSTALL_DIR + "\\SdbFile\\"
        w.unix_path(sdb + "Locked.dat").write_bytes(b"kept")
        w.wine("cmd", "/c", "attrib", "+r", sdb + "Locked.dat")
        proc, win, page = self.start_uninstaller()
        w.click(page.button(NEXT)["hwnd"])
        box = w.msgbox(timeout=60)
        # The message holds the removal on the working page.
        self.assert_working_page(Page(w, win["hwnd"]), "删除文件夹")
        self.assertEqual((box["caption"], box["text"]), (TITLE, f"删除 {sdb}Locked.dat 文件失败!"))
        self.assertEqual([b["id"] for b in box["buttons"]], [1], "one OK button")
        self.assertEqual(box["owner"], win["hwnd"])
        w.answer("OK")
        box = w.msgbox(timeout=30)
        self.assertEqual((box["caption"], box["text"]), (TITLE, f"删除 \\{sdb} 文件夹失败! "))
        w.answer("OK")
        # The removal goes on: the other data folder, the registry and the rest.
        done = self.wait_done_page(win["hwnd"])
        self.assertIn(DONE_TEXT, done.shown)
        self.assertEqual(w.files(INSTALL_DIR),
                         ["SdbFile\\", "SdbFile\\Locked.dat", "Uninstall.exe"])
        for key in inst.PRODUCT_KEYS:
            self.assertIsNone(w.reg(key), key)
        self.assertFalse(w.exists(inst.DESKTOP_LINK))
        w.click(done.button(DONE)["hwnd"])
        self.assertEqual(proc.wait(30), 0)
        w.wait_until(lambda: not w.exists(UNINSTALLER) and not w.exists(BATCH), 60,
                     what="the batch file to delete the uninstaller and itself")
        self.assertEqual(w.read_bytes(sdb + "Locked.dat"), b"kept")

    def test_missing_manifest_ends_without_removing(self):
        w = self.wine
        w.unix_path(INSTALL_DIR + "\\Setup.log").unlink()
        proc, win, page = self.start_uninstaller()
        w.click(page.button(NEXT)["hwnd"])
        # A message box would hold the program open; it ends on its own.
        self.assertEqual(proc.wait(30), 0)
        self.assert_installed(except_files=("Setup.log",))

    def test_cancel_on_confirm_page_removes_nothing(self):
        w = self.wine
        proc, win, page = self.start_uninstaller()
        w.click(page.button(CANCEL)["hwnd"])
        self.assertEqual(proc.wait(30), 0)
        self.assert_installed()


if __name__ == "__main__":
    unittest.main()
