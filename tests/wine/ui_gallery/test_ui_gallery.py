"""The Win32 ui backend against Wine: ui_gallery.exe of the cross build, run by run.sh, shows
every control kind on real windows and checks them itself."""

import os
from pathlib import Path
import unittest

import harness

HERE = Path(__file__).resolve().parent


class UiGallery(unittest.TestCase):
    def test_every_control_kind(self):
        run = harness.Run.get()
        exe = harness.cross_file("ui_gallery.exe")
        work = run.tmp / "gallery"
        run.remember(f"prefix {work / 'prefix'}")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "LC_", "LANG")) and k != "LOCPATH"}
        env.update(UI_GALLERY_DIR=str(work), DISPLAY=run.display.name)
        r = harness._run([str(HERE / "run.sh"), str(exe)], env, timeout=300, check=False)
        out = r.stdout.decode("utf-8", "replace")
        print(out)
        self.assertEqual(r.returncode, 0, out[-3000:] + r.stderr.decode("utf-8", "replace"))
        self.assertRegex(out, r"\n[1-9]\d* passed, 0 failed\r?\n")


if __name__ == "__main__":
    unittest.main()
