"""Links and names around the install folder, given to the real programs: a data folder made
beforehand as a link to a folder elsewhere, a data folder swapped for a link while the
removal's message box waits, and a destination whose path holds Program Manager's own syntax
("Program Files (x86)"). Nothing may be written or deleted through a link, and the group must
be made and removed with its arguments quoted.

Code page 936 only: the rules do not depend on it (under 1252 Wine's Program Manager cannot
make the items whose names are Chinese, see scenario.expected_group).

Wine shows a Linux symbolic link to a folder as a folder with the reparse-point attribute,
but only by name: a handle opened on it has the folder it leads to. So the programs' check
by name is what is seen here; removing a linked data folder as the link itself (what a
handle on the link does on Windows) cannot be shown, and the link stays."""

import stat
import unittest

import harness
import install_state as inst
import scenario as sc

GENERIC_TITLE = "VantaSetup"
CANCEL_QUESTION = "安装程序进行中,确定要退出安装吗?"


def outside_folder(w, names):
    """D:\\Outside with files of these names and one of someone else's; {name: bytes}."""
    outside = w.unix_path("D:\\") / "Outside"
    outside.mkdir()
    content = {n: b"not the product's " + n.encode() for n in names + ["someone's.dat"]}
    for name, data in content.items():
        (outside / name).write_bytes(data)
    return outside, content


def folder_content(folder):
    return {p.name: p.read_bytes() for p in folder.iterdir()}


class InstallIntoLinks(harness.WineTestCase):

    def test_data_folder_planted_as_a_link_gets_nothing(self):
        w = self.wine
        outside, content = outside_folder(w, ["词库.dat"])
        sdb = w.unix_path(sc.DEFAULT_DIR + "\\SdbFile")
        sdb.parent.mkdir(parents=True)
        sdb.symlink_to(outside, target_is_directory=True)

        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        box = w.msgbox(timeout=60, pid=wizard.pid)
        self.assertEqual(box["caption"], GENERIC_TITLE)
        self.assertTrue(box["text"].startswith(f'Cannot create file "{sc.DEFAULT_DIR}\\SdbFile\\'),
                        box["text"])
        w.answer("OK", pid=wizard.pid)
        # The run has ended there: the wizard does not come back; the user leaves with 取消.
        self.assertTrue(wizard.proc.running())
        self.assertFalse(wizard.window()["visible"])
        w.click_text(dialog["hwnd"], "取消")
        self.assertEqual(w.msgbox(pid=wizard.pid)["text"], CANCEL_QUESTION)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)

        self.assertEqual(folder_content(outside), content, "nothing written where it leads")
        self.assertTrue(sdb.is_symlink())
        sc.check_no_registration(self, w)
        sc.check_scratch_gone(self, w)


class RemoveAroundLinks(inst.InstalledTestCase):
    """The uninstaller, run on a copy of an installed prefix."""

    def test_link_swapped_in_while_the_removals_box_waits(self):
        """Two read-only files in SdbFile that the removal cannot delete: the first gives a
        box, and while it waits the folder is renamed and a link to a folder elsewhere, with
        deletable files of the same names, put in its place. What the removal does after the
        box must not reach through the link. (Wine refuses to delete a file without write
        bits, whoever asks: the tests run as root.)"""
        w = self.wine
        install = w.unix_path(inst.INSTALL_DIR)
        sdb, moved = install / "SdbFile", install / "SdbFile.old"
        names = ["planted1.dat", "planted2.dat"]
        outside, content = outside_folder(w, names)
        for name in names:
            (sdb / name).write_bytes(b"stays")
            (sdb / name).chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        boxes = []

        def on_box(box):
            boxes.append(box["text"])
            if len(boxes) == 1:
                self.assertTrue(box["text"].startswith("删除 D:\\Program Files\\Korvn25\\SdbFile\\"),
                                box["text"])
                sdb.rename(moved)
                sdb.symlink_to(outside, target_is_directory=True)

        inst.run_removal(self, w, on_box=on_box)

        self.assertEqual(folder_content(outside), content, "nothing deleted where it leads")
        self.assertEqual(sorted(p.name for p in moved.iterdir()), names)
        self.assertFalse(w.exists(inst.INSTALL_DIR + "\\UserFile"))


class X86Destination(harness.WineTestCase):

    def test_group_made_and_removed(self):
        w = self.wine
        folder = "D:\\Program Files (x86)\\Korvn25"
        wizard, _ = sc.install(w, folder)
        sc.check_group(self, w, folder, self.codepage)
        w.check(wizard.c["run"], False)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)

        inst.run_removal(self, w, folder + "\\Uninstall.exe")
        group = sc.group_folder(w, self.codepage)
        w.wait_until(lambda: not w.exists(group), 30, what="the group's removal")
        self.assertEqual(w.files(folder), [])


if __name__ == "__main__":
    unittest.main()
