"""The Win32 platform against Wine: platform_check.exe of the cross build, run by run.sh under
code pages 936 and 1252, with the Linux-side checks of what it leaves behind."""

import os
from pathlib import Path
import unittest

import harness

HERE = Path(__file__).resolve().parent


class PlatformCheck(unittest.TestCase):
    def test_every_platform_operation(self):
        run = harness.Run.get()
        exe = harness.cross_file("platform_check.exe")
        work = run.tmp / "platform"
        run.remember(f"prefix {work / 'prefix'}")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "LC_", "LANG")) and k != "LOCPATH"}
        env.update(KORV_PLAT_WORK=str(work), KORV_PLAT_DISPLAY=run.display.name.lstrip(":"),
                   LOCPATH=harness.LOCPATH)
        r = harness._run([str(HERE / "run.sh"), str(exe)], env, timeout=900, check=False)
        out = r.stdout.decode("utf-8", "replace")
        print(out)
        self.assertEqual(r.returncode, 0, "\n".join(
            line for line in out.splitlines() if line.startswith("FAIL")))
        self.assertRegex(out, r"\n\d+ passed, 0 failed\n")


if __name__ == "__main__":
    unittest.main()
