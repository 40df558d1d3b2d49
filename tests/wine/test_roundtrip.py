"""Round trips of the whole product under Wine, each in a fresh prefix and under both system
code pages: a listing of the prefix's files and registry is taken before the installer runs and
again when everything is over, and the difference must be exactly what stays by design.

Scenarios: the default installation with the application started from "完毕", the sample
document opened through the shell (`wine start`), then the uninstaller run to "完成"; two
installations into the same folder, a third one over them cancelled while it writes the files,
and one removal; a folder with blanks and Chinese characters; no desktop link; 取消 confirmed
while the files are being written, and a run that fails on one file.

What stays by design after a removal: the install folder itself (empty) and the folders above
it that the installer created, and the registry keys that the installer created only as
parents of its own keys (empty). After a cancelled or failed run: nothing; over an earlier
installation, its files with their old bytes.

Set KORV_ROUNDTRIP_SHOW=1 to print the raw difference of each round trip (before the ignored
entries below are taken out)."""

import os
import stat
import unittest

import harness
import scenario as sc
from test_uninstaller_wizard import CONFIRM_TEXT, DONE, NEXT, TITLE, Page

BATCH = "C:\\_destoryme.bat"
CHINESE_DIR = "D:\\我的 软件\\Korvane"
SAMPLE = "UserFile\\示例文档.Kvx"
DOC_PATH_ID, DOC_NOTE_ID = 1001, 1002

# The product's own registry keys (the uninstaller removes each as a whole tree), as full
# names of the exported registry. HKCR is HKLM\Software\Classes.
PRODUCT_KEYS = (
    "HKEY_LOCAL_MACHINE\\Software\\Korvane",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
    "HKEY_LOCAL_MACHINE\\Software\\Classes\\.Kvx",
    "HKEY_LOCAL_MACHINE\\Software\\Classes\\Software\\KORVX",
    "HKEY_CURRENT_USER\\Software\\KORVX",
)

# Registry keys that Wine itself adds while the programs run, none of them the product's, each
# with the reason. The "before" listing is taken after a GUI program has run (setUp), so the
# keys the graphics driver makes at its first start are in both listings. A key is ignored
# only as named here: with everything below it, or only while it holds no values.
VOLATILE_KEYS = {
    # Wine's console host stores its default settings (colours, font, buffer sizes) when a
    # console program first gets a console window of its own: cmd.exe running the
    # uninstaller's batch file, and Wine's `start`.
    "HKEY_CURRENT_USER\\Console": "tree",
    # Wine's shell creates this key, empty, the first time it reads the explorer view
    # settings: the explorer window that Wine's Program Manager opens on a new group.
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced":
        "empty",
    # Wine's user32 keeps the session's system parameters in this volatile key (never
    # written to disk); the mouse entry appears when a program first asks for a mouse setting.
    "HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters": "tree",
}
# Files Wine itself writes or touches while the programs run: none were seen, so any change of
# a file anywhere in C:, D: or the profile counts.


# ---------------------------------------------------------------------------------------------
# Listings


def _parse_reg_export(data):
    """{key name lower case: (key name, {value line name: data text})} of a `reg export` file
    (UTF-16 with BOM). A value's data keeps its continuation lines."""
    text = data.decode("utf-16")
    keys, current, pending = {}, None, None
    for line in text.splitlines():
        if pending is not None:
            name, parts = pending
            parts.append(line.strip())
            if not line.endswith("\\"):
                current[1][name] = "".join(parts)
                pending = None
            continue
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            current = keys.setdefault(name.lower(), (name, {}))
            continue
        if current is None or not line or line.startswith("Windows Registry Editor"):
            continue
        if line.startswith("@="):
            vname, vdata = "@", line[2:]
        elif line.startswith('"'):
            # "name"="data": the name ends at the first unescaped quote followed by "=".
            i = 1
            while i < len(line) and not (line[i] == '"' and line[i - 1] != "\\"):
                i += 1
            vname, vdata = line[1:i], line[i + 2:]
        else:
            continue
        if vdata.endswith("\\"):
            pending = (vname, [vdata])
        else:
            current[1][vname] = vdata
    return keys


class Listing:
    """The prefix's files (drive C:, the profile folders Wine links into HOME, drive D:) and
    its registry (HKLM and HKCU as `wine reg export` writes them, live from the server)."""

    def __init__(self, w, name):
        self.files = {}
        for label, root in (("C:", w.drive_c), ("D:", w.drive_d), ("HOME:", w.home)):
            self._walk(label, root)
        self.keys = {}
        for root in ("HKLM", "HKCU"):
            out = w.dir / f"{name}-{root}.reg"
            w.wine("reg", "export", root, harness.win_path(out), "/y")
            self.keys.update(_parse_reg_export(out.read_bytes()))
            out.unlink()

    def _walk(self, label, root):
        for dirpath, dirnames, filenames in os.walk(root):
            rel = os.path.relpath(dirpath, root)
            base = label + ("\\" if rel == "." else "\\" + rel.replace("/", "\\") + "\\")
            for n in dirnames:
                self.files[base + n + "\\"] = None
            for n in filenames:
                st = os.lstat(os.path.join(dirpath, n))
                self.files[base + n] = (stat.S_IFMT(st.st_mode), st.st_size, st.st_mtime_ns)


def _under(path, prefixes):
    p = path.lower()
    return any(p == x.lower() or p.startswith(x.lower().rstrip("\\") + "\\") for x in prefixes)


class Difference:
    """What changed between two listings: files and folders added, removed and changed (size,
    kind or time of a file); registry keys added and removed, and values added, removed or
    changed in keys present in both."""

    def __init__(self, before, after):
        self.files_added = sorted(set(after.files) - set(before.files))
        self.files_removed = sorted(set(before.files) - set(after.files))
        self.files_changed = sorted(p for p in set(before.files) & set(after.files)
                                    if before.files[p] != after.files[p])
        self.keys_added = sorted(after.keys[k][0] for k in set(after.keys) - set(before.keys))
        self.keys_removed = sorted(before.keys[k][0] for k in set(before.keys) - set(after.keys))
        self.values_changed = []
        for k in sorted(set(before.keys) & set(after.keys)):
            name, old = before.keys[k]
            new = after.keys[k][1]
            for v in sorted(set(old) | set(new)):
                if old.get(v) != new.get(v):
                    self.values_changed.append((name, v, old.get(v), new.get(v)))
        self.after = after

    def show(self, title):
        lines = [f"--- {title}"]
        for what in ("files_added", "files_removed", "files_changed", "keys_added",
                     "keys_removed", "values_changed"):
            for item in getattr(self, what):
                values = self.after.keys[item.lower()][1] if what == "keys_added" else ""
                lines.append(f"{what}: {item!r} {values or ''}")
        print("\n".join(lines), flush=True)

    def without_volatile(self):
        """The same difference less the registry keys Wine itself adds (VOLATILE_KEYS)."""
        def volatile(key):
            for name, how in VOLATILE_KEYS.items():
                if how == "tree" and _under(key, [name]):
                    return True
                if how == "empty" and key.lower() == name.lower():
                    return not self.after.keys.get(key.lower(), (key, {}))[1]
            return False
        self.keys_added = [k for k in self.keys_added if not volatile(k)]
        self.keys_removed = [k for k in self.keys_removed if not volatile(k)]
        self.values_changed = [c for c in self.values_changed if not volatile(c[0])]
        return self


def created_parents(before, paths):
    """The ancestors of `paths` (full key names or Windows folders ending in "\\") that the
    listing `before` does not hold: what a creation "with its missing parents" adds."""
    out = set()
    for path in paths:
        parts = path.rstrip("\\").split("\\")
        for i in range(1, len(parts)):
            parent = "\\".join(parts[:i])
            folder = parent + "\\"
            if ":" in parts[0] and i > 1 and folder not in before.files:
                out.add(folder)
            elif ":" not in parts[0] and parent.lower() not in before.keys:
                out.add(parent)
    return out


# ---------------------------------------------------------------------------------------------
# The scenarios


@harness.both_code_pages
class RoundTrip:

    def setUp(self):
        super().setUp()
        # Wine's graphics driver sets up its display keys (volatile ones among them) when the
        # first program with a window starts; a known GUI program started and closed first
        # makes the "before" listing one of a prefix that has shown windows.
        w = self.wine
        app = w.start(harness.cross_file("driver_testapp.exe"))
        w.sysclose(w.wait_window(title="驱动测试")["hwnd"])
        app.wait(30)

    def listing(self, name):
        return Listing(self.wine, name)

    def difference(self, before, title):
        diff = Difference(before, self.listing("after"))
        if os.environ.get("KORV_ROUNDTRIP_SHOW") == "1":
            diff.show(f"{self.id()}: {title}")
        return diff.without_volatile()

    def finish(self, wizard, run):
        w = self.wine
        w.check(wizard.c["run"], run)
        wizard.click("next")
        self.assertEqual(wizard.proc.wait(60), 0)

    def uninstall(self, folder):
        """Uninstall.exe from its folder through its three pages, ended with "完成"; returns
        once the batch file has deleted itself, its last line, after deleting the uninstaller
        (whether that worked shows in the listing)."""
        w = self.wine
        uninstaller = folder + "\\Uninstall.exe"
        proc = w.start(uninstaller)
        win = w.wait_window(title=TITLE, cls="KorvForm", timeout=60)
        page = w.wait_until(lambda: (p := Page(w, win["hwnd"])).shown.get(CONFIRM_TEXT) and p,
                            30, what="the confirm page")
        w.click(page.button(NEXT)["hwnd"])
        done = w.wait_until(lambda: (p := Page(w, win["hwnd"])).button(DONE) and p, 60,
                            what="the done page")
        w.click(done.button(DONE)["hwnd"])
        self.assertEqual(proc.wait(30), 0)
        w.wait_until(lambda: not w.exists(BATCH), 60, what="the batch file to delete itself")

    def install_and_cancel(self, wizard):
        """The run started from the ready page, and 取消 on its progress dialog once it has
        written its first files, confirmed: the run is taken back and the program ends. The
        click comes from a driver waiting beforehand; while the question is open the run
        waits, so the bar read then shows where it stopped."""
        w = self.wine
        clicker = w.click_at_progress("安装", "KorvForm", wizard.pid, "取消", sc.PROGRESS_CLASS,
                                      8)
        dialog = wizard.start_install()
        self.assertEqual(clicker.wait(60), 0)
        w.msgbox(pid=wizard.pid)
        position = w.send(w.control(dialog["hwnd"], cls=sc.PROGRESS_CLASS)["hwnd"], sc.PBM_GETPOS)
        self.assertTrue(8 <= position < 87, f"asked at {position}, not while writing the files")
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)

    def assert_registry_unchanged(self, diff):
        self.assertEqual((diff.keys_added, diff.keys_removed, diff.values_changed), ([], [], []),
                         "the registry changed")

    def assert_only_by_design(self, before, diff, folder):
        """After a removal: added are only the install folder and the folders above it that
        did not exist, and the parent keys of the product's keys that did not exist (all of
        them empty); nothing was removed or changed."""
        folders = created_parents(before, [folder + "\\x"])
        self.assertEqual(set(diff.files_added), folders, "files and folders left behind")
        self.assertEqual(diff.files_removed, [], "files and folders removed")
        self.assertEqual(diff.files_changed, [], "files changed")
        parents = created_parents(before, PRODUCT_KEYS)
        self.assertEqual({k.lower() for k in diff.keys_added}, {k.lower() for k in parents},
                         "registry keys left behind")
        for key in diff.keys_added:
            self.assertEqual(diff.after.keys[key.lower()][1], {}, f"{key} holds values")
        self.assertEqual(diff.keys_removed, [], "registry keys removed")
        self.assertEqual(diff.values_changed, [], "registry values changed")

    # -- round trips ---------------------------------------------------------------------------

    def test_defaults_run_open_document_uninstall(self):
        w = self.wine
        before = self.listing("before")
        folder = sc.DEFAULT_DIR
        wizard, _ = sc.install(w)
        sc.check_desktop_link(self, w, folder, self.codepage)

        # "完毕" with "运行软件" checked starts the application without a document.
        self.finish(wizard, run=True)
        app = w.wait_window(cls=sc.APP_CLASS, title="Korvane", timeout=30)
        self.assertEqual(w.control(app["hwnd"], id=DOC_PATH_ID)["text"], "")
        w.click_text(app["hwnd"], "关闭")
        w.wait_gone(app["hwnd"])

        # The sample document opened through the shell: Wine's `start` follows the file type
        # to the open command, which starts the program with the document's full path.
        document = folder + "\\" + SAMPLE
        starter = w.start("start", document)
        app = w.wait_window(cls=sc.APP_CLASS, timeout=30)
        self.assertEqual(app["title"], "示例文档.Kvx - Korvane")
        self.assertEqual(w.control(app["hwnd"], id=DOC_PATH_ID)["text"], document)
        self.assertEqual(w.control(app["hwnd"], id=DOC_NOTE_ID)["text"], "已打开此文档。")
        self.assertEqual(starter.wait(30), 0)
        w.click_text(app["hwnd"], "关闭")
        w.wait_gone(app["hwnd"])

        self.uninstall(folder)
        self.assert_only_by_design(before, self.difference(before, "defaults"), folder)

    def test_twice_into_one_folder_then_one_removal(self):
        w = self.wine
        before = self.listing("before")
        for link in (False, True):
            wizard, _ = sc.install(w, desktop_link=link)
            self.finish(wizard, run=False)
        sc.check_files(self, w, sc.DEFAULT_DIR)

        # A third run over them, cancelled while writing the files: the files it replaced are
        # back with their old bytes (some made different from the payload's first), and nothing
        # was added or removed anywhere.
        folder = sc.DEFAULT_DIR
        for rel in (sc.PROGRAM, "Options.ini", "History.txt"):
            w.unix_path(folder + "\\" + rel).write_bytes(b"old " + rel.encode())
        installed = self.listing("installed")
        old = {rel: w.read_bytes(folder + "\\" + rel) for rel in w.files(folder)
               if not rel.endswith("\\")}
        self.install_and_cancel(sc.start_setup(w))
        diff = self.difference(installed, "cancelled over an installation")
        self.assertEqual((diff.files_added, diff.files_removed), ([], []))
        self.assertEqual({rel: w.read_bytes(folder + "\\" + rel) for rel in old}, old)
        self.assert_registry_unchanged(diff)

        self.uninstall(sc.DEFAULT_DIR)
        self.assert_only_by_design(before, self.difference(before, "twice"), sc.DEFAULT_DIR)

    def test_folder_with_blanks_and_chinese(self):
        w = self.wine
        before = self.listing("before")
        wizard, _ = sc.install(w, folder=CHINESE_DIR)
        self.finish(wizard, run=False)
        sc.check_files(self, w, CHINESE_DIR)
        self.uninstall(CHINESE_DIR)
        self.assert_only_by_design(before, self.difference(before, "chinese"), CHINESE_DIR)

    def test_without_desktop_link(self):
        w = self.wine
        before = self.listing("before")
        wizard, _ = sc.install(w, desktop_link=False)
        self.finish(wizard, run=False)
        self.assertEqual(w.files(sc.PUBLIC_DESKTOP), [], "no desktop link")
        self.uninstall(sc.DEFAULT_DIR)
        self.assert_only_by_design(before, self.difference(before, "no link"), sc.DEFAULT_DIR)

    def test_cancel_while_writing_and_a_failed_file(self):
        w = self.wine
        folder = sc.DEFAULT_DIR
        before = self.listing("before")
        self.install_and_cancel(sc.start_setup(w))
        diff = self.difference(before, "cancel")
        self.assertEqual((diff.files_added, diff.files_removed, diff.files_changed), ([], [], []),
                         "files left or changed")
        self.assert_registry_unchanged(diff)

        # A file of an earlier installation that cannot be replaced: read-only, and immutable
        # since root writes read-only files anyway. The run stops at it with the error box,
        # says on its status line that it has been taken back, and the user leaves.
        sc.unwritable_earlier_file(self, w, folder + "\\Options.ini", b"[Old]\r\nKept=1\r\n")
        before = self.listing("before-failure")
        wizard = sc.start_setup(w)
        dialog = wizard.start_install()
        box = w.msgbox(timeout=60, pid=wizard.pid)
        self.assertTrue(box["text"].startswith(f'Cannot create file "{folder}\\Options.ini". '),
                        box["text"])
        w.answer("OK", pid=wizard.pid)
        w.wait_text(w.control(dialog["hwnd"], cls="Static")["hwnd"], "安装已撤销")
        w.click_text(dialog["hwnd"], "取消")
        w.msgbox(pid=wizard.pid)
        w.answer("OK", pid=wizard.pid)
        self.assertEqual(wizard.proc.wait(60), 0)
        diff = self.difference(before, "failed file")
        self.assertEqual((diff.files_added, diff.files_removed, diff.files_changed), ([], [], []),
                         "files left or changed")
        self.assert_registry_unchanged(diff)

if __name__ == "__main__":
    unittest.main()
