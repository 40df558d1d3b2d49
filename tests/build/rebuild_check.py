#!/usr/bin/env python3
"""Builds the Windows programs again, elsewhere, and checks what a user or a rebuilder relies on.

    rebuild_check.py reproducible TREE...   TREE: cross, cross64
    rebuild_check.py signed

reproducible: copies the sources (what git tracks, plus new files it does not ignore) into a
temporary folder, builds each TREE's programs there, in another folder, at another time,
with the time stamp the original tree used, and compares Setup.exe, Uninstall.exe and
KVRN.exe byte for byte with those of build/TREE.

signed: makes a throwaway self-signed certificate with openssl, builds the PE32 programs with
signing on (scripts/sign.sh through the build), and checks with osslsigncode that the three
programs and the uninstaller taken out of Setup's resources verify against that certificate,
and that a copy of Setup.exe with one byte changed after signing does not.

Needs no network. Exits 1 with the faults listed.
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(HERE))
from pe_resources import PeFile  # noqa: E402

PROGRAMS = ("Setup.exe", "Uninstall.exe", "KVRN.exe")
TOOLCHAINS = {"cross": "mingw-i686", "cross64": "mingw-x86_64"}


def run(cmd, env=None, cwd=None):
    r = subprocess.run(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True)
    if r.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, cmd))} failed ({r.returncode}):\n"
                           + (r.stdout + r.stderr).decode("utf-8", "replace")[-3000:])
    return r.stdout.decode("utf-8", "replace")


def copy_sources(dest):
    files = run(["git", "-C", str(REPO), "ls-files", "-z", "-co", "--exclude-standard"])
    for rel in filter(None, files.split("\0")):
        src = REPO / rel
        if rel.startswith("build/") or not src.is_file():
            continue  # a file deleted in the work tree but not yet in the index
        (dest / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dest / rel, follow_symlinks=False)


def build(src, tree_dir, toolchain, env, *options):
    run(["cmake", "-S", src, "-B", tree_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=MinSizeRel",
         f"-DCMAKE_TOOLCHAIN_FILE={src}/cmake/{toolchain}.cmake", "-DKORV_WERROR=ON", *options],
        env=env)
    run(["cmake", "--build", tree_dir, "-j", str(os.cpu_count() or 2), "--target", "Setup"],
        env=env)


def check_reproducible(trees, work):
    faults = []
    src = work / "sources"
    copy_sources(src)
    for tree in trees:
        original = REPO / "build" / tree
        stamp = original / "source_date_epoch"
        if not stamp.is_file():
            faults.append(f"{original} is not built (scripts/build.sh builds it)")
            continue
        env = dict(os.environ, SOURCE_DATE_EPOCH=stamp.read_text().strip())
        again = work / f"again-{tree}"
        build(src, again, TOOLCHAINS[tree], env)
        for name in PROGRAMS:
            a, b = (original / name).read_bytes(), (again / name).read_bytes()
            if a != b:
                diff = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
                faults.append(f"{tree}/{name}: the rebuild differs ({len(a)} and {len(b)} "
                              f"bytes; {len(diff)} bytes differ, first at {diff[:5]})")
            else:
                print(f"{tree}/{name}: {len(a)} bytes, identical in {again}")
    return faults


def verify(path, cert):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(path)],
                       stdin=subprocess.DEVNULL, capture_output=True)
    return r.returncode == 0, (r.stdout + r.stderr).decode("utf-8", "replace")


def check_signed(work):
    faults = []
    key, cert, p12 = work / "key.pem", work / "cert.pem", work / "sign.p12"
    password = "throwaway-password"
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
         cert, "-days", "2", "-subj", "/CN=Korvane test signing", "-addext",
         "extendedKeyUsage=codeSigning"])
    run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12, "-passout",
         f"pass:{password}"])
    env = dict(os.environ, KORV_SIGN_PKCS12=str(p12), KORV_SIGN_PASSWORD=password)
    env.pop("KORV_SIGN_TIMESTAMP", None)  # no network here
    tree = work / "signed"
    build(REPO, tree, TOOLCHAINS["cross"], env, "-DKORV_SIGN=ON")

    setup = PeFile(tree / "Setup.exe")
    embedded = {n: v for (t, n, _), v in setup.resources().items() if t == "EXENAME"}
    extracted = work / "Uninstall-from-Setup.exe"
    extracted.write_bytes(embedded.get("UNINSTALL", b""))
    for path in [tree / name for name in PROGRAMS] + [extracted]:
        ok, out = verify(path, cert)
        if ok:
            print(f"{path.name}: signature verified")
        else:
            faults.append(f"{path.name}: does not verify:\n{out[-1500:]}")
    if embedded.get("UNINSTALL") != (tree / "Uninstall.exe").read_bytes():
        faults.append("Setup.exe does not carry the signed Uninstall.exe")

    # One byte of code changed after signing: the check must fail.
    tampered = work / "Setup-tampered.exe"
    data = bytearray((tree / "Setup.exe").read_bytes())
    data[0x1000] ^= 0xFF
    tampered.write_bytes(bytes(data))
    ok, _ = verify(tampered, cert)
    if ok:
        faults.append("a Setup.exe changed after signing still verifies")
    else:
        print("Setup.exe changed after signing: refused, as it must be")
    return faults


def main(argv):
    if len(argv) < 2 or argv[1] not in ("reproducible", "signed") or (
            argv[1] == "reproducible" and not set(argv[2:]) <= set(TOOLCHAINS)):
        print(__doc__)
        return 2
    work = Path(tempfile.mkdtemp(prefix="korv-rebuild-"))
    try:
        if argv[1] == "reproducible":
            faults = check_reproducible(argv[2:] or list(TOOLCHAINS), work)
        else:
            faults = check_signed(work)
    except RuntimeError as e:
        faults = [str(e)]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
