"""The Win32 platform against Wine: platform_check.exe of the cross build, run by run.sh under
code pages 936 and 1252."""

from pathlib import Path
import unittest

import harness

HERE = Path(__file__).resolve().parent


class PlatformCheck(unittest.TestCase):
    def test_every_platform_operation(self):
        harness.run_self_check(
            self, "platform_check.exe", HERE / "run.sh", "platform",
            {"KORV_PLAT_WORK": lambda work, run: str(work),
             "KORV_PLAT_DISPLAY": lambda work, run: run.display.name.lstrip(":"),
             "LOCPATH": harness.LOCPATH}, timeout=900)


if __name__ == "__main__":
    unittest.main()
