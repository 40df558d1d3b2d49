"""What a standard user could plant or change, given to the real programs: the scratch config
in the Windows folder's Temp changed while the wizard is open, captions in the installed
Setup.ini that hold Program Manager's own syntax, and links in the install folder that lead
out of it. Neither program may write, delete, link, start or send anything outside its
places. Code page 936 only: the rules do not depend on it."""

import re
import unittest

import harness
import install_state as inst
import scenario as sc

SCRATCH_CONFIG = sc.SCRATCH + "korvSetup.ini"


def rewrite_value(path, key, value):
    """Sets one key of an INI file from the Linux side, in place."""
    text = path.read_bytes()
    new, n = re.subn(rb"(?m)^" + re.escape(key.encode()) + rb"=[^\r\n]*",
                     key.encode() + b"=" + value.encode("gbk").replace(b"\\", b"\\\\"), text)
    assert n == 1, f"{key} not found once in {path}"
    path.write_bytes(new)


class HostileScratchConfig(harness.WineTestCase):

    def change_scratch_config(self, key, value):
        """A change past the installer's hold: its share mode binds Windows programs, not a
        Linux process writing the file Wine keeps it in."""
        rewrite_value(self.wine.unix_path(SCRATCH_CONFIG), key, value)

    def test_held_files_and_a_link_name_that_leaves_the_desktop(self):
        w = self.wine
        wizard = sc.start_setup(w)
        # Another program cannot change or delete the files while the installer holds them.
        w.wine("cmd", "/c", "echo [Run]>" + SCRATCH_CONFIG, check=False)
        w.wine("cmd", "/c", "del " + sc.SCRATCH + "SQXY.txt", check=False)
        sc.check_scratch_files(self, w)

        self.change_scratch_config("desKtopLink", "\\..\\..\\..\\windows\\evil.lnk")
        dialog = wizard.start_install()
        wizard.wait_finished()
        sc.check_finished(self, w, wizard, dialog)
        sc.check_files(self, w, sc.DEFAULT_DIR)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [], "no link saved on the desktop")
        self.assertFalse(w.exists("C:\\windows\\evil.lnk"), "no link saved outside it")
        w.check(wizard.c["run"], False)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)
        sc.check_scratch_gone(self, w)

    def test_program_file_name_that_leaves_the_destination(self):
        w = self.wine
        wizard = sc.start_setup(w)
        self.change_scratch_config("FileName", "..\\..\\evil.exe")
        wizard.start_install()
        box = w.msgbox(pid=wizard.pid)
        self.assertEqual((box["caption"], box["text"]),
                         ("VantaSetup", "所要安装的程序正在运行中,请退出后再安装!"))
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)
        self.assertFalse(w.exists("D:\\evil.exe"))
        self.assertEqual(w.files("D:\\"), [],
                         "the destination folder, made before the name was read, is gone again")
        sc.check_no_registration(self, w)
        sc.check_scratch_gone(self, w)


class InstalledProduct(inst.InstalledTestCase):
    """The uninstaller, run on a copy of an installed prefix."""

    def remove(self):
        inst.run_removal(self, self.wine)

    def test_caption_with_command_syntax_stays_one_argument(self):
        w = self.wine
        programs = w.special_folder(inst.CSIDL_PROGRAMS)
        other = w.unix_path(programs) / "Other"
        other.mkdir()
        (other / "keep.txt").write_bytes(b"keep")
        self.assertTrue(self.state.group_folders, "the installation made a group")
        # Unquoted, the text would delete the group "Other" and then make one of its own;
        # quoted, it is one group name, of no group there is.
        rewrite_value(w.unix_path(inst.INSTALL_DIR + "\\Setup.ini"), "Caption",
                      inst.CAPTION + ")][DeleteGroup(Other)][CreateGroup(Evil")

        self.remove()

        # The removal went on; every group is still there and no new one came.
        self.assertEqual(w.files(inst.INSTALL_DIR), [])
        self.assertTrue((other / "keep.txt").exists())
        for group in self.state.group_folders:
            self.assertTrue(w.exists(group), group)
        self.assertFalse(w.exists(programs + "\\Evil"))


    def test_linked_data_folder_is_left_alone(self):
        """A Linux symbolic link inside the install folder, made after the installation: the
        data folder SdbFile leads to a folder outside holding files of the listed names and
        one of someone else's. Wine shows such a link to the program as a folder with the
        reparse-point attribute, so the uninstaller leaves it alone. (A symbolic link
        to a file Wine shows as a plain file, and its DeleteFileW removes the file it leads
        to: the removal cannot tell, so this test places none.)"""
        w = self.wine
        install = w.unix_path(inst.INSTALL_DIR)
        outside = w.unix_path("D:\\") / "Outside"
        outside.mkdir()
        sdb = install / "SdbFile"
        planted = sorted(f.name for f in sdb.iterdir()) + ["someone's.dat"]
        for name in planted:
            (outside / name).write_bytes(b"not the product's")
            if (sdb / name).exists():
                (sdb / name).unlink()
        sdb.rmdir()
        sdb.symlink_to(outside, target_is_directory=True)

        self.remove()

        self.assertEqual(sorted(f.name for f in outside.iterdir()), planted,
                         "nothing outside was deleted")
        for name in planted:
            self.assertEqual((outside / name).read_bytes(), b"not the product's", name)
        self.assertTrue(sdb.is_symlink(), "the linked data folder is left as it is")
        self.assertFalse(w.exists(inst.INSTALL_DIR + "\\UserFile"), "the other one is removed")


if __name__ == "__main__":
    unittest.main()
