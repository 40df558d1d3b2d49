"""The harness and the driver against a known program (driver_testapp.exe): code pages,
drives, windows, controls, clicks, texts, check boxes, list views, message boxes and the
programs' own Confirm window, resources, registry."""

import unittest

import harness

TITLE = "驱动测试"


@harness.both_code_pages
class DriverChecks:
    fresh_prefix_per_test = False

    def start_app(self):
        proc = self.wine.start(self.program("driver_testapp.exe"))
        self.addCleanup(lambda: proc.popen.kill() if proc.running() else None)
        win = self.wine.wait_window(title=TITLE)
        # The controls are made in WM_CREATE, before the window is shown.
        controls = {c["id"]: c for c in self.wine.controls(win["hwnd"])}
        return proc, win, controls

    def result(self, controls):
        return self.wine.get_text(controls[110]["hwnd"])

    def test_prefix_code_page_and_drives(self):
        cps = self.wine.codepages()
        self.assertEqual(cps["acp"], self.codepage)
        self.assertEqual(cps["oemcp"], 936 if self.codepage == 936 else 437)
        drives = self.wine.drives()
        self.assertEqual(drives["C:\\"]["type"], 3)
        self.assertEqual(drives["D:\\"]["type"], 3, "D: is declared a fixed disk")
        self.assertGreater(drives["D:\\"]["total"], 0)
        self.assertEqual(self.wine.reg_value("HKCU\\Software\\Wine\\X11 Driver", "Managed"), "N")
        self.assertEqual(self.wine.reg_value("HKCU\\Software\\Wine\\Fonts\\Replacements", "宋体"),
                         "WenQuanYi Zen Hei")
        self.assertIsNone(self.wine.reg("HKCU\\Software\\NoSuchKeyKorv"))
        parsed = self.wine.reg_query("HKCU\\Software\\Wine\\X11 Driver")
        self.assertEqual(parsed["HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver"]["Managed"],
                         ("REG_SZ", "N"))
        self.assertIsNone(self.wine.reg_query("HKCU\\Software\\NoSuchKeyKorv"))

    def test_windows_controls_texts_and_checks(self):
        proc, win, controls = self.start_app()
        self.assertTrue(win["visible"] and win["enabled"])
        self.assertEqual(win["class"], "KorvDriverTest")
        listed = self.wine.windows(pid=win["pid"], visible_only=True)
        self.assertIn(win["hwnd"], [w["hwnd"] for w in listed])
        self.assertEqual(controls[101]["text"], "&Go")
        self.assertEqual(controls[102]["text"], "选项")
        self.assertIs(controls[102]["checked"], False)
        self.assertIsNone(controls[101]["checked"])
        self.assertFalse(controls[104]["enabled"])
        self.assertEqual(controls[101]["rect"][:2], [10, 10], "client coordinates")

        # A disabled button cannot be pressed, as for a user.
        code, _ = self.wine.driver("click", controls[104]["hwnd"], check=False)
        self.assertEqual(code, 3)
        self.assertEqual(self.result(controls), "ready")

        self.wine.set_text(controls[103]["hwnd"], "你好 abc")
        self.assertEqual(self.wine.get_text(controls[103]["hwnd"]), "你好 abc")
        self.wine.wait_text(controls[110]["hwnd"], "echo:你好 abc")

        self.wine.check(controls[102]["hwnd"], True)
        self.assertIs(self.wine.control(win["hwnd"], id=102)["checked"], True)
        self.wine.check(controls[102]["hwnd"], False)
        self.assertIs(self.wine.control(win["hwnd"], text="选项")["checked"], False)

        self.wine.sysclose(win["hwnd"])
        self.assertEqual(proc.wait(), 5)

    def test_listview_read_and_double_click(self):
        proc, win, controls = self.start_app()
        lv = self.wine.listview(controls[105]["hwnd"])
        self.assertEqual((lv["count"], lv["columns"], lv["selected"]), (2, 3, -1))
        self.assertEqual([c["text"] for c in lv["column_info"]], ["盘符", "大小", "空闲"])
        self.assertEqual(lv["items"], [["C:\\", "10 GB", "5 GB"], ["D:\\", "20 GB", "七 GB"]])
        self.wine.listview_double_click(controls[105]["hwnd"], 1)
        self.wine.wait_text(controls[110]["hwnd"], "dblclick=1")
        self.assertEqual(self.wine.listview(controls[105]["hwnd"])["selected"], 1)

    def test_message_boxes_and_own_confirm_window(self):
        proc, win, controls = self.start_app()
        self.wine.click_text(win["hwnd"], "Go")
        box = self.wine.msgbox()
        self.assertEqual((box["class"], box["caption"], box["text"]),
                         ("#32770", "提示", "中文的问题"))
        self.assertEqual(sorted(b["id"] for b in box["buttons"]), [1, 2])
        self.assertEqual(box["owner"], win["hwnd"])
        # While the box is open its owner is disabled: a click there is refused.
        code, _ = self.wine.driver("click", controls[101]["hwnd"], check=False)
        self.assertEqual(code, 3)
        self.wine.answer("Cancel")
        self.wine.wait_text(controls[110]["hwnd"], "msgbox=2")

        for answer, expected in (("Yes", "confirm=6"), ("&No", "confirm=7")):
            self.wine.click(controls[106]["hwnd"])
            box = self.wine.msgbox()
            self.assertEqual((box["caption"], box["text"]), ("Confirm", "确定要继续吗?"))
            self.assertEqual(sorted(b["text"] for b in box["buttons"]), ["&No", "&Yes"])
            self.wine.answer(answer)
            self.wine.wait_text(controls[110]["hwnd"], expected)
        code, _ = self.wine.driver("msgbox", "--timeout", "300", check=False)
        self.assertEqual(code, 2, "no box is left open")

    def test_resources_and_files_with_chinese_names(self):
        exe = self.program("driver_testapp.exe")
        named = [r for r in self.wine.resources(exe) if not r["type"].startswith("#")]
        self.assertEqual(sorted((r["type"], r["name"], r["lang"], r["size"]) for r in named),
                         [("TESTTYPE", "GREETTEXT", 2052, 8), ("TESTTYPE", "OTHERTEXT", 2052, 5)])
        for name, rtype in (("GreetText", "testtype"), ("GREETTEXT", "TESTTYPE")):
            self.assertEqual(self.wine.dump_resource(exe, name, rtype), b"hello\r\n\0")
        code, _ = self.wine.driver("dump-resource", harness.win_path(exe), "Missing", "TestType",
                                   "D:\\x.bin", check=False)
        self.assertEqual(code, 2)
        # A file written through the W functions with a Chinese name on D:.
        self.wine.driver("dump-resource", harness.win_path(exe), "OtherText", "TestType",
                         "D:\\目录文件.bin")
        self.assertEqual(self.wine.files("D:\\"), ["目录文件.bin"])
        self.assertEqual(self.wine.read_bytes("d:\\目录文件.BIN"), b"other")


if __name__ == "__main__":
    unittest.main()
