"""Start-up of the real Setup.exe: the maximised borderless backdrop behind the wizard, the
scratch files, and the single-instance guard (a second copy restores the first and leaves
without a window; the guard is free again once the first copy has ended; a name clash with
another kind of object turns it off)."""

import os
import unittest

import harness
import scenario as sc

OLD = 946684800  # 2000-01-01: scratch files set back to this show whether they were rewritten


@harness.both_code_pages
class InstallerStartup:

    def scratch_stats(self):
        return {name: (os.stat(self.wine.unix_path(sc.SCRATCH + name)).st_mtime_ns,
                       self.wine.read_bytes(sc.SCRATCH + name)) for name in sc.SCRATCH_FILES}

    def test_backdrop_wizard_and_second_copy(self):
        w = self.wine
        wizard = sc.start_setup(w)
        windows = w.windows(pid=wizard.pid, visible_only=True)
        backdrop = sc.backdrop_of(w, wizard.pid)
        # The backdrop: borderless, maximised, covering the 1024 x 768 screen, disabled while
        # the wizard runs modally in front of it.
        self.assertEqual(backdrop["rect"], [0, 0, 1024, 768])
        self.assertTrue(backdrop["maximized"])
        self.assertTrue(backdrop["style"] & sc.WS_POPUP)
        self.assertFalse(backdrop["style"] & (sc.WS_CAPTION | sc.WS_THICKFRAME))
        self.assertFalse(backdrop["enabled"])
        order = [x["hwnd"] for x in windows]
        self.assertLess(order.index(wizard.hwnd), order.index(backdrop["hwnd"]),
                        "the wizard is above the backdrop")
        self.assertEqual(w.foreground()["hwnd"], wizard.hwnd)
        sc.check_scratch_files(self, w)

        # Minimised (through the backdrop, the way its taskbar entry does it), the
        # application takes its windows along.
        for name in sc.SCRATCH_FILES:
            os.utime(w.unix_path(sc.SCRATCH + name), (OLD, OLD))
        before = self.scratch_stats()
        w.minimize(backdrop["hwnd"])
        w.wait_until(lambda: not wizard.window()["visible"], what="the wizard hidden")
        self.assertNotEqual(w.foreground()["hwnd"], wizard.hwnd)

        # A second copy: exit code 0, no window ever shown, scratch files untouched; the
        # first copy is restored with its wizard in front.
        second = w.spawn(harness.cross_file("Setup.exe"), timeout=60)
        self.assertEqual(second["exit_code"], 0)
        self.assertEqual([x for x in second["windows"] if x["shown"]], [])
        self.assertNotEqual(second["pid"], wizard.pid)
        self.assertEqual(self.scratch_stats(), before)
        w.wait_until(lambda: wizard.window()["visible"] and not wizard.window()["minimized"],
                     what="the wizard restored")
        self.assertTrue(sc.backdrop_of(w, wizard.pid)["visible"])
        w.wait_until(lambda: w.foreground()["hwnd"] == wizard.hwnd, timeout=10,
                     what="the wizard in front")
        self.assertEqual(wizard.page(), sc.WELCOME)
        self.assertTrue(wizard.proc.running())

        # Not minimised but behind another program's window: a further copy brings the
        # wizard to the front all the same.
        other = w.start(harness.cross_file("driver_testapp.exe"))
        front = w.wait_window(title="驱动测试")
        w.activate(front["hwnd"])
        w.wait_until(lambda: w.foreground()["hwnd"] == front["hwnd"], what="the other window")
        third = w.spawn(harness.cross_file("Setup.exe"), timeout=60)
        self.assertEqual(third["exit_code"], 0)
        self.assertEqual([x for x in third["windows"] if x["shown"]], [])
        w.wait_until(lambda: w.foreground()["hwnd"] == wizard.hwnd, timeout=10,
                     what="the wizard in front again")
        other.popen.kill()

        # Once the first copy has ended, a new start runs normally.
        self.assertEqual(wizard.exit_program(), 0)
        sc.check_scratch_gone(self, w)
        again = sc.start_setup(w)
        self.assertNotEqual(again.pid, wizard.pid)
        sc.check_scratch_files(self, w)
        self.assertEqual(again.exit_program(), 0)

    def test_name_held_by_another_kind_of_object(self):
        w = self.wine
        holder = w.hold_name(sc.SECTION_NAME, "mutex")
        first = sc.start_setup(w)
        sc.check_scratch_files(self, w)
        # The section cannot be made, so the guard is off: a second copy runs as well. The
        # first copy holds its scratch files against every other writer, so the second cannot
        # make its own: its start-up stops at the first one with the error box, and its
        # backdrop waits without a wizard, as for any scratch file that cannot be written.
        second = w.start(harness.cross_file("Setup.exe"))
        box = w.msgbox(timeout=60)
        self.assertEqual(box["caption"], "VantaSetup")
        self.assertTrue(box["text"].lower().startswith(
            'cannot create file "' + sc.SCRATCH.lower() + 'korvsetup.log". '), box["text"])
        w.answer("OK")
        backdrops = [x for x in w.windows() if x["class"] == "KorvForm" and x["title"] == ""
                     and x["pid"] != first.pid]
        self.assertEqual(len(backdrops), 1)
        self.assertEqual(len(sc.wizard_windows(w)), 1)
        w.sysclose(backdrops[0]["hwnd"])
        self.assertEqual(second.wait(60), 0)
        # The first copy's files were left alone, and it goes on.
        sc.check_scratch_files(self, w)
        self.assertTrue(first.proc.running())
        self.assertEqual(first.exit_program(), 0)
        self.assertTrue(holder.running(), "the name stayed taken throughout")


if __name__ == "__main__":
    unittest.main()
