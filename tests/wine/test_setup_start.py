"""Start-up and leaving of the real Setup.exe: the scratch files while it runs, the wizard
window, the Exit confirmation, the single-instance guard, and no scratch file left behind."""

import unittest

import harness

CAPTION = "Korvanev2.5（专业版）"
SCRATCH = "C:\\windows\\Temp\\"
SCRATCH_FILES = {"korvSetup.log": "FileTxt5", "korvSetup.ini": "FileTxt6", "SQXY.txt": "FileTxt4"}


@harness.both_code_pages
class SetupStartChecks:

    def start_setup(self):
        setup = self.wine.start(self.program("Setup.exe"))
        wizard = self.wine.wait_window(title=CAPTION, timeout=60)
        return setup, wizard

    def test_scratch_files_wizard_and_exit(self):
        setup, wizard = self.start_setup()
        self.assertEqual(wizard["client"], [526, 352])
        exe = self.program("Setup.exe")
        for name, entry in SCRATCH_FILES.items():
            self.assertEqual(self.wine.read_bytes(SCRATCH + name),
                             self.wine.dump_resource(exe, entry, "txtname"), name)
        texts = [c["text"] for c in self.wine.controls(wizard["hwnd"]) if c["visible"]]
        self.assertIn("欢迎使用 " + CAPTION, texts)

        # Exit, answered No: the wizard stays.
        self.wine.click_text(wizard["hwnd"], "退出")
        box = self.wine.msgbox()
        self.assertEqual((box["caption"], box["text"]), ("Confirm", "确定要退出本程序的安装吗?"))
        self.wine.answer("No")
        self.assertTrue(setup.running())
        self.assertTrue(self.wine.control(wizard["hwnd"], text="退出")["enabled"])

        # Exit, answered Yes: the program ends and takes its scratch files with it.
        self.wine.click_text(wizard["hwnd"], "退出")
        self.wine.answer("Yes")
        self.assertEqual(setup.wait(60), 0)
        for name in SCRATCH_FILES:
            self.assertFalse(self.wine.exists(SCRATCH + name), name)

    def test_second_copy_leaves_the_first_alone(self):
        first, wizard = self.start_setup()
        second = self.wine.start(self.program("Setup.exe"))
        second.wait(60)
        wizards = [w for w in self.wine.windows(visible_only=True) if w["title"] == CAPTION]
        self.assertEqual([w["hwnd"] for w in wizards], [wizard["hwnd"]])
        self.assertTrue(first.running())
        self.wine.click_text(wizard["hwnd"], "退出")
        self.wine.answer("Yes")
        self.assertEqual(first.wait(60), 0)


if __name__ == "__main__":
    unittest.main()
