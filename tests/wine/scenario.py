"""Building blocks of the installer's end-to-end scenarios: the wizard's controls by name,
walking its pages, whole installations, and the checks of what an installation leaves on the
machine (files, registry, desktop link, Program Manager group).

Also a screenshot tour (no test of its own): with a display it saves PNGs of the backdrop with
the welcome page, every wizard page, the progress dialog during the run and the finished page.

    KORV_CROSS_DIR=build/cross python3 scenario.py screenshots [936|1252]

writes them into $KORV_SCREENSHOT_DIR (default ./screenshots)."""

import os
import re
import stat
import subprocess
import sys
import time
from decimal import ROUND_HALF_UP, Decimal
from pathlib import Path

import harness
from test_payload import generated_entries, manifest_lines, parse

CAPTION = "Korvanev2.5（专业版）"
VERSION = "2.5（专业版）"
DEFAULT_DIR = "D:\\Program Files\\Korvn25"
PROGRAM = "KVRN.exe"
SCRATCH = "C:\\windows\\Temp\\"
SCRATCH_FILES = {"korvSetup.log": ("FileTxt5", "txtname"),
                 "korvSetup.ini": ("FileTxt6", "txtname"),
                 "SQXY.txt": ("FileTxt4", "txtname")}
SECTION_NAME = "{CAF49BBB-AF40-4FDE-8757-51D5AEB5BBBF}"
PUBLIC_DESKTOP = "C:\\users\\Public\\Desktop"
LINK_NAME = "Korvanev2.5(专业版).lnk"
CSIDL_PROGRAMS = 2
UNINSTALL_KEY = "HKCU\\software\\microsoft\\windows\\currentversion\\uninstall\\Korvane"
APP_CLASS = "KorvaneAppWindow"
EXIT_QUESTION = "确定要退出本程序的安装吗?"

WS_CAPTION, WS_THICKFRAME, WS_POPUP = 0x00C00000, 0x00040000, 0x80000000
ES_MULTILINE = 0x0004
PBM_GETPOS = 0x0408
PROGRESS_CLASS = "KorvProgress"  # the progress bar, which answers PBM_GETPOS

WELCOME, AGREEMENT, DESTINATION, READY, WORKING, FINISHED = range(6)

# Controls of the wizard, found by the design texts they carry when it opens.
_BY_TEXT = {
    "< 返回": "back", "下一步 >": "next", "退出": "exit",
    "许可协议": "title", "请仔细阅读下面的协议条款": "subtitle",
    "我同意以上条款": "agree", "我不同意以上条款": "disagree",
    "请选择安装路径及文件夹，然后点击“下一步”": "dest_text", "浏览": "browse",
    "磁盘空间(双击鼠标选择)": "disk_label", "创建桌面快捷方式": "desktop",
    "... 安装完毕": "done_title", "请点击“完毕”按钮退出安装程序。": "done_text",
    "运行软件": "run",
}
_BY_PREFIX = {"欢迎使用 ": "welcome_title", "即将在您的电脑上安装“": "welcome_text",
              "安装程序已经准备好在您的计算机上安装": "ready_text"}


# ---------------------------------------------------------------------------------------------
# The wizard


class _Named(dict):
    """Controls by name; a name not yet seen makes the wizard look again, since the controls
    of a page come into being when the page is first shown."""

    def __init__(self, wizard):
        super().__init__()
        self.wizard = wizard

    def __missing__(self, name):
        self.wizard.state()
        if name not in self:
            raise harness.HarnessError(f"wizard control {name} not found")
        return dict.__getitem__(self, name)


class Wizard:
    """The wizard window of a running Setup.exe, its controls by name. A control is named by
    the design text it carries when it first appears (the welcome page's at once, the other
    pages' when they are first shown) and keeps its handle, so it stays valid when texts
    change."""

    # Controls that exist as soon as the wizard opens: the common ones, the six pages and
    # the welcome page's.
    AT_OPEN = {"back", "next", "exit", "title", "subtitle", "strip", "welcome_title",
               "welcome_text"} | {f"page{i}" for i in range(1, 7)}

    def __init__(self, wine, proc, window):
        self.wine, self.proc = wine, proc
        self.hwnd, self.pid = window["hwnd"], window["pid"]
        self.c = _Named(self)
        self.state()
        missing = self.AT_OPEN - set(self.c)
        if missing:
            raise harness.HarnessError(f"wizard controls not found: {sorted(missing)}")

    def _take_names(self, controls):
        known = set(self.c.values())
        for c in controls:
            if c["hwnd"] in known:
                continue
            name = _BY_TEXT.get(c["text"])
            name = name or next((n for p, n in _BY_PREFIX.items() if c["text"].startswith(p)),
                                None)
            if re.fullmatch(r"page[1-6]", c["text"]) and c["class"] == "KorvPanel":
                name = c["text"]
            if c["class"] == "Edit":
                name = "memo" if c["style"] & ES_MULTILINE else "path"
            if c["class"] == "SysListView32":
                name = "grid"
            if c["class"] == "KorvPaint" and c["parent"] == self.hwnd:
                name = "strip"
            if name:
                if name in self.c:
                    raise harness.HarnessError(f"two wizard controls are taken for {name}")
                self.c[name] = c["hwnd"]
        if "title" in self.c and "header" not in self.c:
            by_hwnd = {c["hwnd"]: c for c in controls}
            self.c["header"] = by_hwnd[self.c["title"]]["parent"]

    def state(self):
        """{name: control} of the named controls, read in one driver call."""
        controls = self.wine.controls(self.hwnd)
        self._take_names(controls)
        names = {h: n for n, h in self.c.items()}
        return {names[c["hwnd"]]: c for c in controls if c["hwnd"] in names}

    @staticmethod
    def page_of(state):
        shown = [i for i in range(6) if state[f"page{i + 1}"]["visible"]]
        return shown[0] if len(shown) == 1 else None

    def page(self):
        return self.page_of(self.state())

    def text(self, name):
        return self.wine.get_text(self.c[name])

    def window(self):
        return next((w for w in self.wine.windows(pid=self.pid) if w["hwnd"] == self.hwnd), None)

    def click(self, name):
        self.wine.click(self.c[name])

    def wait_page(self, index, timeout=30):
        self.wine.wait_until(lambda: self.page() == index, timeout, what=f"wizard page {index}")
        # Read again: a page's controls come into being just before it first shows, so a
        # reading that saw the page appear may have listed the windows before they existed.
        return self.state()

    def next(self):
        """Next from page p (0 to 2): waits for page p + 1 and returns its state."""
        current = self.page()
        self.click("next")
        return self.wait_page(current + 1)

    def back(self):
        current = self.page()
        self.click("back")
        return self.wait_page(current - 1)

    def agree(self):
        self.click("agree")
        self.wine.wait_until(lambda: self.state()["next"]["enabled"], what="Next enabled")

    def walk_to(self, page):
        """From the welcome page on to `page` (1 to 3), agreeing on the way."""
        state = self.state()
        while self.page_of(state) < page:
            if self.page_of(state) == AGREEMENT:
                self.agree()
            state = self.next()
        return state

    def start_install(self, folder=None, desktop_link=True):
        """From the welcome page to the ready page's Next; returns the progress dialog
        window as soon as it shows."""
        self.walk_to(DESTINATION)
        if folder is not None:
            self.wine.set_text(self.c["path"], folder)
            self.wine.wait_text(self.c["path"], folder)
        self.wine.check(self.c["desktop"], desktop_link)
        self.next()
        self.click("next")
        return self.wine.wait_window(title="安装", cls="KorvForm", pid=self.pid, timeout=30)

    def wait_finished(self, timeout=60):
        """Waits until the finished page is shown again after the run; returns its state."""
        def done():
            s = self.state()
            return s if (s["next"]["visible"] and s["next"]["text"] == "完毕"
                         and self.page_of(s) == FINISHED) else None
        return self.wine.wait_until(done, timeout, what="the finished page")

    def exit_program(self):
        """Exit, answered Yes; waits for the program to end and returns its exit code."""
        self.click("exit")
        self.wine.answer("Yes", pid=self.pid)
        return self.proc.wait(60)


def wizard_windows(wine):
    """The visible wizard windows of every running copy."""
    return [x for x in wine.windows(visible_only=True)
            if x["class"] == "KorvForm" and x["title"] == CAPTION]


def start_setup(wine, timeout=60, program=None):
    """Starts Setup.exe (the build's, or the copy at `program`) and returns its Wizard once a
    new wizard window shows (one that was not there before, so that an earlier copy's is never
    taken)."""
    earlier = {x["hwnd"] for x in wizard_windows(wine)}
    proc = wine.start(program or harness.cross_file("Setup.exe"))
    fresh = wine.wait_until(
        lambda: [x for x in wizard_windows(wine) if x["hwnd"] not in earlier], timeout,
        what="a new wizard window")
    return Wizard(wine, proc, fresh[0])


def install(wine, folder=None, desktop_link=True):
    """A whole installation through the wizard; returns the Wizard on the finished page and
    the progress dialog window."""
    wizard = start_setup(wine)
    dialog = wizard.start_install(folder, desktop_link)
    wizard.wait_finished()
    return wizard, dialog


def backdrop_of(wine, pid):
    found = [w for w in wine.windows(pid=pid) if w["class"] == "KorvForm" and w["title"] == ""]
    if len(found) != 1:
        raise harness.HarnessError(f"{len(found)} backdrop windows in process {pid}")
    return found[0]


# ---------------------------------------------------------------------------------------------
# What the installer writes


def gb_text(value):
    """The disk grid's GB notation: one decimal from 10 on, two below, halves away from 0."""
    d = Decimal(repr(value))
    places = Decimal("0.1") if value >= 10 else Decimal("0.01")
    return str(d.quantize(places, rounding=ROUND_HALF_UP))


def remaining_text(free_cell):
    """The remaining-space cell for a free-space cell such as "72.5 GB"."""
    v = Decimal(free_cell.split(" ")[0]) - Decimal("0.019")
    places = Decimal("0.1") if v >= 10 else Decimal("0.01")
    return " " + str(v.quantize(places, rounding=ROUND_HALF_UP)) + " GB"


def payload_manifest():
    """[(resource name, type, relative path)] of the install manifest in the build."""
    entries = generated_entries()
    return [parse(line) for line in manifest_lines(entries[("FILETXT5", "TXTNAME")].read_bytes())]


def payload_bytes(name, rtype):
    return generated_entries()[(name.upper(), rtype.upper())].read_bytes()


def unwritable_earlier_file(test, wine, path, data):
    """A file left by an earlier installation that no write can replace: `data` at the
    Windows path `path`, without write bits (Wine reports FILE_ATTRIBUTE_READONLY) and, since
    the tests run as root, whom Linux lets write such a file anyway, immutable: then a write
    is refused as Windows refuses it for a read-only file. Skips the test where files cannot
    be made immutable. Returns the Linux path."""
    unix = wine.unix_path(path)
    unix.parent.mkdir(parents=True, exist_ok=True)
    unix.write_bytes(data)
    unix.chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    r = subprocess.run(["chattr", "+i", str(unix)], capture_output=True, text=True)
    if r.returncode != 0:
        test.skipTest(f"cannot make a file immutable here ({r.stderr.strip()})")
    test.addCleanup(subprocess.run, ["chattr", "-i", str(unix)], capture_output=True)
    return unix


def expected_tree():
    """{relative path: bytes} of every file an installation writes, folders ending in "\\"
    mapped to None: the program file and every manifest entry; the uninstaller is the built
    one."""
    tree = {PROGRAM: payload_bytes("FileExe", "exename")}
    for name, rtype, rel in payload_manifest():
        tree[rel] = payload_bytes(name, rtype)
        folder = rel.rpartition("\\")[0]
        if folder:
            tree[folder + "\\"] = None
    tree["Uninstall.exe"] = harness.cross_file("Uninstall.exe").read_bytes()
    return tree


def check_files(test, wine, folder):
    """Every file below the install folder is the payload's, byte for byte, and nothing else
    is there."""
    tree = expected_tree()
    test.assertEqual(len([p for p in tree if not p.endswith("\\")]), 32)
    test.assertEqual(wine.files(folder), sorted(tree))
    for rel, data in tree.items():
        if data is not None:
            test.assertEqual(wine.read_bytes(folder + "\\" + rel), data, rel)
    test.assertEqual(wine.read_bytes(folder + "\\Uninstall.exe"),
                     harness.cross_file("Uninstall.exe").read_bytes())


def expected_registry(folder):
    program = folder + "\\" + PROGRAM
    return {
        UNINSTALL_KEY: {"displayname": "Korvane卸载",
                        "uninstallstring": f'"{folder}\\Uninstall.exe"'},
        "HKCR\\.Kvx": {"": "Software\\KORVX"},
        "HKCR\\Software\\KORVX": {"": CAPTION},
        "HKCR\\Software\\KORVX\\DefaultIcon": {"": program + ",0"},
        "HKCR\\Software\\KORVX\\Shell\\Open": {"": "&Open"},
        "HKCR\\Software\\KORVX\\Shell\\Open\\Command": {"": f'"{program}" "%1"'},
        "HKCU\\Software\\KORVX\\Shell\\PathName": {"Path": folder + "\\"},
        "HKCU\\Software\\KORVX\\Shell\\Version": {"Version": VERSION},
    }


def check_registry(test, wine, folder):
    """Each key holds exactly its values, all strings, with their exact names and data."""
    for key, values in expected_registry(folder).items():
        found = wine.reg(key)
        test.assertIsNotNone(found, key)
        test.assertEqual(found["values"], values, key)
        test.assertEqual(set(found["types"].values()), {1}, f"{key}: REG_SZ only")


def check_no_registration(test, wine):
    """None of the installer's registry keys exists."""
    for key in (UNINSTALL_KEY, "HKCR\\.Kvx", "HKCR\\Software\\KORVX", "HKCU\\Software\\KORVX"):
        test.assertIsNone(wine.reg(key), key)


def check_desktop_link(test, wine, folder, codepage):
    """The all-users desktop holds the one link, to the program, working in its folder.
    Wine keeps a link's path string in the system code page (under 1252 each Chinese
    character reads back as "?"); the item ID list keeps the exact target."""
    link = wine.link(PUBLIC_DESKTOP + "\\" + LINK_NAME)
    test.assertIsNotNone(link, "the desktop link")
    target = folder + "\\" + PROGRAM
    test.assertEqual((link["target"], link["workdir"], link["args"]), (target, folder + "\\", ""))
    test.assertEqual(link["path"], target if codepage == 936 else
                     target.encode("cp1252", "replace").decode("cp1252"))
    test.assertEqual(wine.files(PUBLIC_DESKTOP), [LINK_NAME])


def wine_ansi(text, codepage):
    """How Wine's Program Manager (the desktop process) reads the GBK bytes of a command:
    in its system code page. Under 936 that is the text itself; under 1252 every byte
    becomes one character (Wine maps the five bytes that 1252 leaves undefined to U+0081,
    U+008D, U+008F, U+0090 and U+009D)."""
    data = text.encode("gbk")
    if codepage == 936:
        return text
    out = []
    for b in data:
        try:
            out.append(bytes([b]).decode("cp1252"))
        except UnicodeDecodeError:
            out.append(chr(b))
    return "".join(out)


def expected_group(folder, codepage):
    """{link file name: target} of the Program Manager group as Wine files it.

    Under 936 the group and its three items carry their exact Chinese names. Under 1252 the
    desktop process reads the commands in code page 1252: the group and item names come out
    as the GBK bytes read one by one (see wine_ansi), and an item whose target path is not
    plain ASCII is not made at all, because Wine then cannot find the (garbled) target file.
    That is Wine's doing, not the installer's: the installer sends the same bytes either way."""
    items = {CAPTION: folder + "\\" + PROGRAM,
             "卸载" + CAPTION: folder + "\\Uninstall.exe",
             "用户授权协议": folder + "\\用户授权协议.txt"}
    return {wine_ansi(name, codepage) + ".lnk": target for name, target in items.items()
            if codepage == 936 or target.isascii()}


def group_folder(wine, codepage):
    return wine.special_folder(CSIDL_PROGRAMS) + "\\" + wine_ansi(CAPTION, codepage)


def read_group(wine, codepage):
    """{link file name: target} of the files in the group's folder; None without folder."""
    group = group_folder(wine, codepage)
    if not wine.exists(group):
        return None
    out = {}
    for name in wine.files(group):
        link = wine.link(group + "\\" + name)
        out[name] = link["target"] if link else None
    return out


def check_group(test, wine, folder, codepage):
    expected = expected_group(folder, codepage)
    # The commands are sent without waiting for the server to carry them out.
    try:
        wine.wait_until(lambda: read_group(wine, codepage) == expected, timeout=15,
                        what="the Program Manager group")
    except harness.HarnessError:
        pass  # the comparison below shows what is there
    test.assertEqual(read_group(wine, codepage), expected)


def program_groups(wine):
    """The folders of the user's Start Menu\\Programs (the stock ones included)."""
    return [p for p in wine.files(wine.special_folder(CSIDL_PROGRAMS))
            if p.endswith("\\") and p.count("\\") == 1]


def check_finished(test, w, wizard, dialog):
    """The finished page as the run leaves it, the progress dialog still open beneath."""
    s = wizard.state()
    test.assertEqual(Wizard.page_of(s), FINISHED)
    test.assertTrue(wizard.window()["visible"])
    test.assertTrue(s["header"]["visible"] and not s["strip"]["visible"])
    test.assertFalse(s["title"]["visible"])
    test.assertEqual(s["subtitle"]["text"], CAPTION + " 已经成功安装在您的电脑中")
    test.assertEqual(s["subtitle"]["rect"][0], 32, "the subtitle moved 16 pixels right")
    test.assertEqual(s["done_title"]["text"], CAPTION + " 安装完毕.")
    test.assertEqual(s["done_text"]["text"], "请点击“完毕”按钮退出安装程序。")
    test.assertTrue(s["run"]["checked"] and s["run"]["enabled"])
    test.assertEqual((s["next"]["text"], s["next"]["enabled"]), ("完毕", True))
    test.assertFalse(s["back"]["enabled"] or s["exit"]["enabled"])
    # The progress dialog stays open beneath, its run complete.
    still = [x for x in w.windows(pid=wizard.pid) if x["hwnd"] == dialog["hwnd"]]
    test.assertTrue(still and still[0]["visible"])
    bar = w.control(dialog["hwnd"], cls=PROGRESS_CLASS)["hwnd"]
    test.assertEqual(w.send(bar, PBM_GETPOS), 100)
    status = w.control(dialog["hwnd"], cls="Static")
    test.assertEqual((status["text"], status["visible"]), ("", False))


def check_scratch_gone(test, wine):
    for name in SCRATCH_FILES:
        test.assertFalse(wine.exists(SCRATCH + name), name)


def check_scratch_files(test, wine):
    for name, (entry, rtype) in SCRATCH_FILES.items():
        test.assertEqual(wine.read_bytes(SCRATCH + name), payload_bytes(entry, rtype), name)


# ---------------------------------------------------------------------------------------------
# Screenshot tour


def save_screenshots(wine, folder):
    """Walks one installation and saves PNGs of the whole display into `folder`: welcome (with
    the backdrop), agreement, destination, ready, the progress dialog during the run and the
    finished page. Returns the paths in that order."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    shots = []

    def shot(name):
        out = folder / f"{len(shots) + 1}-{name}.png"
        r = subprocess.run(["import", "-display", wine.run.display.name, "-window", "root",
                            str(out)], capture_output=True, timeout=60)
        if r.returncode != 0:
            raise harness.HarnessError(f"screenshot {out} failed: {r.stderr!r}")
        shots.append(out)

    def settle():
        time.sleep(0.4)  # let the page paint before the picture is taken

    wizard = start_setup(wine)
    settle()
    shot("welcome")
    wizard.next()
    settle()
    shot("agreement")
    wizard.agree()
    wizard.next()
    settle()
    shot("destination")
    wizard.next()
    settle()
    shot("ready")
    wizard.click("next")
    dialog = wine.wait_window(title="安装", cls="KorvForm", pid=wizard.pid)
    bar = wine.control(dialog["hwnd"], cls=PROGRESS_CLASS)["hwnd"]
    wine.wait_until(lambda: wine.send(bar, PBM_GETPOS) >= 10, what="the run under way")
    shot("progress")
    wizard.wait_finished()
    settle()
    shot("finished")
    wizard.wine.check(wizard.c["run"], False)
    wizard.click("next")
    wizard.proc.wait(60)
    return shots


def _main(argv):
    if len(argv) >= 2 and argv[1] == "screenshots":
        codepage = int(argv[2]) if len(argv) > 2 else 936
        out = os.environ.get("KORV_SCREENSHOT_DIR", "screenshots")
        wine = harness.Scenario(codepage)
        try:
            for path in save_screenshots(wine, out):
                print(path)
        finally:
            wine.close()
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_main(sys.argv))
