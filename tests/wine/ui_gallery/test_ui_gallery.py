"""The Win32 ui backend against Wine: ui_gallery.exe of the cross build, run by run.sh, shows
every control kind on real windows and checks them itself."""

from pathlib import Path
import unittest

import harness

HERE = Path(__file__).resolve().parent


class UiGallery(unittest.TestCase):
    def test_every_control_kind(self):
        harness.run_self_check(
            self, "ui_gallery.exe", HERE / "run.sh", "gallery",
            {"UI_GALLERY_DIR": lambda work, run: str(work),
             "DISPLAY": lambda work, run: run.display.name}, timeout=300)


if __name__ == "__main__":
    unittest.main()
