#!/usr/bin/env python3
"""How Wine runs our programs on this host: the one place that decides.

Two modes, named by the prefix architecture Wine gets:
  win32  the shipped PE32 programs (build/cross) in a 32-bit prefix, run by the 32-bit loader;
  win64  their x86-64 twins (build/cross64) in a 64-bit prefix, run by the 64-bit loader and
         server. This is for hosts whose kernel runs no 32-bit code, where the 32-bit loader
         fails with "Exec format error".

The mode is win32 when the 32-bit loader runs, else win64. KORV_WINE_ARCH=win32|win64 forces
one (a host that runs both can so exercise both). When the mode cannot run, the caller gets
an error that names the cause; nothing is ever skipped.

Debian's `wine` wrapper takes the 32-bit loader whenever it is installed, even where it cannot
run, so the programs are not started through it: the shims in bin/ beside this file (`wine`,
`wineboot`, `wineserver`, `winepath`) call the loader and server this module names in
WINELOADER and WINESERVER, the variables Wine itself reads.

Command line, for the shell scripts:
  winehost.py env       shell `export` lines for the mode (eval them)
  winehost.py describe  one line: which mode, which programs, and why
  winehost.py arch      win32 or win64 (the mode of this host, KORV_WINE_ARCH included)
"""

import os
import shlex
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
SHIMS = HERE / "bin"

LOADER32 = Path(os.environ.get("KORV_WINE_LOADER32", "/usr/lib/wine/wine"))
LOADER64 = Path(os.environ.get("KORV_WINE_LOADER64", "/usr/lib/wine/wine64"))
SERVER32 = Path("/usr/lib/wine/wineserver32")
SERVER64 = Path("/usr/lib/wine/wineserver64")

# The build tree of each mode's programs, relative to the repository.
CROSS_TREES = {"win32": "build/cross", "win64": "build/cross64"}


class WineUnavailable(RuntimeError):
    """No Wine that can run our programs on this host, or not the one that was asked for."""


@dataclass(frozen=True)
class Mode:
    arch: str  # "win32" or "win64": WINEARCH of the prefix
    loader: Path
    server: Path
    reason: str  # why this mode, in a sentence for people

    @property
    def cross_dir(self):
        """The build tree whose programs run in this mode (KORV_CROSS_DIR overrides it)."""
        return Path(os.environ.get("KORV_CROSS_DIR") or REPO / CROSS_TREES[self.arch])

    def env(self, base=None):
        """`base` (default: this process's environment) with the variables of this mode."""
        env = dict(os.environ if base is None else base)
        env.update(WINEARCH=self.arch, WINELOADER=str(self.loader), WINESERVER=str(self.server),
                   PATH=f"{SHIMS}{os.pathsep}{env.get('PATH', '/usr/bin:/bin')}")
        return env


def _runs(loader):
    """None when `loader --version` works, else why not, in words."""
    if not loader.exists():
        return f"{loader} is not installed"
    try:
        r = subprocess.run([str(loader), "--version"], stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=60)
    except OSError as e:  # ENOEXEC: the kernel runs no code of this kind
        return f"{loader} cannot be started: {e.strerror}"
    except subprocess.TimeoutExpired:
        return f"{loader} --version did not answer in 60 s"
    if r.returncode != 0:
        return (f"{loader} --version failed ({r.returncode}): "
                + r.stderr.decode("utf-8", "replace").strip()[-300:])
    return None


_cached = None


def mode():
    """The mode for this host (decided once per process); raises WineUnavailable."""
    global _cached
    if _cached is None:
        _cached = _decide(os.environ.get("KORV_WINE_ARCH", ""))
    return _cached


def _hint(*whys):
    missing = any(w and "not installed" in w for w in whys)
    return " (scripts/setup.sh installs wine32 and wine64)" if missing else ""


def _decide(forced):
    if forced not in ("", "win32", "win64"):
        raise WineUnavailable(f"KORV_WINE_ARCH={forced!r}: use win32 or win64")
    if forced != "win64":
        why32 = _runs(LOADER32)
        if why32 is None:
            reason = ("KORV_WINE_ARCH=win32 asks for it" if forced else
                      "this host runs 32-bit code")
            # Either server serves 32-bit clients; Debian's own wrapper prefers the 64-bit one.
            server = SERVER64 if SERVER64.exists() else SERVER32
            return Mode("win32", LOADER32, server, f"the PE32 programs under 32-bit Wine: {reason}")
        if forced:
            raise WineUnavailable(f"KORV_WINE_ARCH=win32, but 32-bit Wine cannot run here: "
                                  f"{why32}{_hint(why32)}")
    why64 = _runs(LOADER64)
    if why64 is None:
        if forced:
            reason = "KORV_WINE_ARCH=win64 asks for it"
        else:
            reason = f"32-bit Wine cannot run here ({why32})"
        return Mode("win64", LOADER64, SERVER64,
                    f"the x86-64 programs under 64-bit Wine: {reason}")
    if forced:
        raise WineUnavailable(f"KORV_WINE_ARCH=win64, but 64-bit Wine cannot run here: "
                              f"{why64}{_hint(why64)}")
    raise WineUnavailable(f"no Wine can run our programs here: {why32}; {why64}{_hint(why32, why64)}")


def main(argv):
    if len(argv) != 2 or argv[1] not in ("env", "describe", "arch"):
        print("usage: winehost.py env | describe | arch", file=sys.stderr)
        return 2
    try:
        m = mode()
    except WineUnavailable as e:
        print(f"winehost: {e}", file=sys.stderr)
        return 1
    if argv[1] == "arch":
        print(m.arch)
    elif argv[1] == "describe":
        print(f"{m.reason} (programs from {m.cross_dir})")
    else:
        env = m.env({"PATH": os.environ.get("PATH", "")})
        for key in ("WINEARCH", "WINELOADER", "WINESERVER", "PATH"):
            print(f"export {key}={shlex.quote(env[key])}")
        print(f"export KORV_CROSS_DIR={shlex.quote(str(m.cross_dir))}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
