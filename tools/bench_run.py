#!/usr/bin/env python3
"""Measures the release programs under Wine and prints one table (scripts/bench.sh runs it).

It reports; it never passes or fails on a time. Every ratio is taken from runs made side by
side, alternating with their yardstick, because the machine is shared: the table gives the
median and the spread (lowest to highest) of the runs.

    bench_run.py --release DIR --big DIR [--runs N]

--release is the release cross tree (Setup.exe, Uninstall.exe, KVRN.exe, driver.exe and the
benchmark's bench_watch.exe, bench_minimal.exe and bench_floor.exe); --big is a tree whose
Setup.exe carries one extra 64 MB entry (BenchBig/benchbin, written to Bench.bin), for the
extraction figure.

What is timed, and how (bench_watch.exe is a stopwatch run under the same wineserver; it
polls windows once a millisecond through calls the server answers, so the timed program
handles no message for it):
  start-up    CreateProcess of Setup.exe until its wizard shows the welcome page (and answers
              a message), against the same for bench_floor.exe (the same first screen
              written directly in Win32: the yardstick), and for bench_minimal.exe (shown
              for information), taken in rotating order
  install     the ready page's Next: from the first sight of the progress dialog to the
              finished page, against the floor of the pauses and the hand-back timer
  uninstall   the Next click on the confirm page "p1" until page "p3" shows, against the
              floor of the uninstaller's pauses
  extraction  the 64 MB entry: from the file's creation to its last byte (its size polled
              every 0.5 ms from Linux), against cp of the same bytes on the same disk, timed
              the same way, and against dd in Setup's piece size; all right after a 64 MB
              deletion, and all 4 s after one (see extraction_round)
  memory      the peak resident size (VmHWM) of the Setup.exe process at the finished page,
              less that of bench_minimal.exe (what any Wine program costs), against the
              payload's size plus 16 MB
  CPU         user + system time of the Setup.exe process from the Next click to the finished
              page, against the wall time of the same interval
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))

import harness  # noqa: E402
import scenario as sc  # noqa: E402

UNINSTALLER = sc.DEFAULT_DIR + "\\Uninstall.exe"
UNINSTALL_TITLE = "软件卸载"
BATCH = "c:\\_destoryme.bat"
BIG_NAME, BIG_SIZE = "Bench.bin", 64 << 20
PIECE = 1 << 20  # the pieces in which Setup copies a payload entry from its own file
PAUSE_MS, HANDBACK_MS, UNINSTALL_OTHER_MS = 50, 1000, 400
CLOCK_TICK = os.sysconf("SC_CLK_TCK")


def log(text):
    print(f"[bench] {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------
# Linux-side views of a Wine process


def linux_pid(proc):
    """The Linux process that runs a program started with `wine`: the one whose command
    line names it, below the Popen'd process (which may have become it through exec)."""
    name = proc.name.lower()
    candidates = [proc.popen.pid]
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            candidates.append(int(entry))
    for pid in candidates:
        try:
            cmd = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].decode(
                "utf-8", "replace").replace("\\", "/").lower()
            env = Path(f"/proc/{pid}/environ").read_bytes()
        except OSError:
            continue
        if cmd.endswith("/" + name) and proc.env_prefix.encode() in env:
            return pid
    raise harness.HarnessError(f"no Linux process runs {proc.name}")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICK  # utime + stime


def peak_rss(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) * 1024
    raise harness.HarnessError(f"no VmHWM for process {pid}")


def start(w, program, *args):
    proc = w.start(program, *args)
    proc.env_prefix = "WINEPREFIX=" + str(w.prefix) + "\0"
    return proc


def watch(w, tree, *args, timeout=240):
    r = harness._run(["wine", str(tree / "bench_watch.exe"), *map(str, args)], w.env,
                     timeout=timeout, check=False, cwd=str(w.dir))
    if r.returncode != 0:
        raise harness.HarnessError(f"bench_watch {args[0]}: exit {r.returncode}: "
                                   + r.stderr.decode("utf-8", "replace"))
    return json.loads(r.stdout.decode())


def fill_time(path, size, begin, timeout=120):
    """Seconds from the creation of `path` to its reaching `size` bytes, polled every 0.5 ms;
    `begin()` is called once polling runs and returns something to wait for afterwards."""
    waiter = begin()
    created = None
    deadline = time.perf_counter() + timeout
    while True:
        now = time.perf_counter()
        try:
            st = os.stat(path)
        except FileNotFoundError:
            st = None
        if st is not None:
            if created is None:
                created = now
            if st.st_size >= size:
                return now - created, waiter
        if now > deadline:
            raise harness.HarnessError(f"{path} did not reach {size} bytes")
        time.sleep(0.0005)


# ---------------------------------------------------------------------------------------------
# Walks


def wizard_on_ready_page(w, setup):
    proc = start(w, setup)
    window = w.wait_window(title=sc.CAPTION, cls="KorvForm", timeout=60)
    wizard = sc.Wizard(w, proc, window)
    wizard.walk_to(sc.DESTINATION)
    w.check(wizard.c["desktop"], True)
    wizard.next()
    return wizard


def finish(w, wizard):
    w.check(wizard.c["run"], False)
    wizard.click("next")
    code = wizard.proc.wait(60)
    if code != 0:
        raise harness.HarnessError(f"Setup.exe ended with exit code {code}")


def install_round(w, tree):
    """One installation with the shipped build: install time, CPU and wall time, peak RSS."""
    wizard = wizard_on_ready_page(w, tree / "Setup.exe")
    pid = linux_pid(wizard.proc)
    cpu0, wall0 = cpu_seconds(pid), time.perf_counter()
    r = watch(w, tree, "install", wizard.pid, wizard.c["next"], wizard.c["page6"])
    cpu1, wall1 = cpu_seconds(pid), time.perf_counter()
    rss = peak_rss(pid)
    finish(w, wizard)
    return r["ms"], cpu1 - cpu0, wall1 - wall0, rss


def uninstall_round(w, tree):
    proc = start(w, UNINSTALLER)
    window = w.wait_window(title=UNINSTALL_TITLE, cls="KorvForm", timeout=60)
    hwnd = window["hwnd"]

    def confirm_page():
        controls = w.controls(hwnd)
        shown = {c["text"] for c in controls if c["visible"]}
        return controls if "即将从您的电脑中卸载 " + sc.CAPTION in shown else None
    controls = w.wait_until(confirm_page, 30, what="the uninstaller's confirm page")
    by_text = {c["text"]: c["hwnd"] for c in controls}
    r = watch(w, tree, "uninstall", by_text["下一步 >"], by_text["p3"])
    w.wait_until(lambda: w.control(hwnd, text="完成", visible=True), 30, what="完成")
    w.click(w.control(hwnd, text="完成")["hwnd"])
    proc.wait(60)
    # The batch file deletes the uninstaller, then itself; the next installation waits for it.
    w.wait_until(lambda: not w.exists(BATCH), 60, what="the batch file gone")
    return r["ms"]


def extraction_round(w, big, source, just_freed):
    """One extraction of the 64 MB entry by the big build's Setup.exe, and copies of the same
    bytes on the same disk by cp and by dd; returns the seconds of each ("setup", "cp", "dd")
    and Setup's peak RSS.

    cp copies in the kernel (copy_file_range); dd with Setup's piece size reads and writes
    through its own memory, as a Win32 program must, so it is the yardstick for the copying
    code itself.

    This virtual machine hands memory back to its host about 2 s after it was freed, and the
    first write to such a page costs a fault in the host: a 64 MB copy into the page cache
    then takes 90-240 ms instead of 20-40 ms, whichever program makes it. So both copies are
    made under the same condition, with both sources in the page cache: with just_freed, each
    begins right after a 64 MB file was written and deleted (cp a few ms after, Setup, whose
    manifest lists the entry first, about 130 ms after its Next click); otherwise each begins
    4 s after that, when the freed pages have gone back to the host."""
    folder = w.unix_path(sc.DEFAULT_DIR)
    primer, copy = w.drive_d / "bench-primer.bin", w.drive_d / "bench-cp.bin"
    target = folder / BIG_NAME
    for path in (primer, copy, target):
        path.unlink(missing_ok=True)
    wizard = wizard_on_ready_page(w, big / "Setup.exe")
    (big / "Setup.exe").read_bytes()  # Setup copies from its own file: cached, as cp's source is

    def prepare():
        subprocess.run(["cp", str(source), str(primer)], check=True)
        primer.unlink()
        if not just_freed:
            time.sleep(4)

    seconds = {}
    for name, command in (("cp", ["cp", str(source), str(copy)]),
                          ("dd", ["dd", f"if={source}", f"of={copy}", f"bs={PIECE}",
                                  "status=none"])):
        prepare()
        seconds[name], proc = fill_time(copy, BIG_SIZE, lambda: subprocess.Popen(command))
        proc.wait()
        copy.unlink()
    prepare()
    cmd = ["wine", str(big / "bench_watch.exe"), "install", str(wizard.pid),
           str(wizard.c["next"]), str(wizard.c["page6"])]
    seconds["setup"], watcher = fill_time(target, BIG_SIZE, lambda: subprocess.Popen(
        cmd, env=w.env, cwd=str(w.dir), stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL))
    watcher.wait(240)
    rss = peak_rss(linux_pid(wizard.proc))
    finish(w, wizard)
    target.unlink()
    return seconds, rss


# ---------------------------------------------------------------------------------------------
# The table


def spread(values, fmt="{:.3f}"):
    return (fmt.format(statistics.median(values)) + " (" + fmt.format(min(values)) + "–"
            + fmt.format(max(values)) + ")")


def manifest_lines():
    text = (REPO / "payload" / "files" / "Setup.log").read_text(encoding="utf-8")
    return len([line for line in text.replace("\r\n", "\n").split("\n") if line != ""])


def payload_bytes(tree):
    return sum(p.stat().st_size for p in (tree / "generated" / "payload" / "entries").iterdir())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--release", type=Path, required=True)
    ap.add_argument("--big", type=Path, required=True)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    rel, big, runs = args.release.resolve(), args.big.resolve(), args.runs
    os.environ["KORV_CROSS_DIR"] = str(rel)  # the harness's driver.exe

    sizes = {n: (rel / n).stat().st_size for n in ("Setup.exe", "Uninstall.exe", "KVRN.exe")}
    payload = payload_bytes(rel)
    overhead = sizes["Setup.exe"] - payload
    lines = manifest_lines()
    install_floor = (lines + 5) * PAUSE_MS + HANDBACK_MS
    uninstall_floor = lines * PAUSE_MS + UNINSTALL_OTHER_MS

    w = harness.Scenario(936)
    try:
        log(f"start-up: {runs} rounds of three after one warm-up round")
        programs = [("setup", harness.win_path(rel / "Setup.exe"), sc.CAPTION, "page1"),
                    ("floor", harness.win_path(rel / "bench_floor.exe"), sc.CAPTION, "page1"),
                    ("minimal", harness.win_path(rel / "bench_minimal.exe"), "KorvBenchMinimal",
                     None)]
        startup = []
        for i in range(runs + 1):
            got = {}
            for key, exe, title, child in programs[i % 3:] + programs[:i % 3]:
                got[key] = watch(w, rel, "startup", exe, title, *([child] if child else []))["ms"]
                time.sleep(0.3)
            if i:
                startup.append(got)
        minimal = start(w, rel / "bench_minimal.exe")
        w.wait_window(title="KorvBenchMinimal", timeout=60)
        minimal_rss = peak_rss(linux_pid(minimal))
        minimal.popen.kill()
        minimal.popen.wait()

        log(f"install and uninstall: {runs} rounds")
        installs, uninstalls, cpu, wall, rss = [], [], [], [], []
        for i in range(runs):
            ms, c, t, r = install_round(w, rel)
            installs.append(ms)
            cpu.append(c)
            wall.append(t)
            rss.append(r)
            uninstalls.append(uninstall_round(w, rel))
            log(f"round {i + 1}: install {ms:.0f} ms, uninstall {uninstalls[-1]:.0f} ms")

        log(f"extraction of the 64 MB entry: {runs} rounds of two, each with a cp and a dd")
        source = big / "generated" / "payload" / "entries" / "BenchBig.benchbin"
        source.read_bytes()  # cp's source in the page cache; each round reads Setup.exe too
        extraction, settled, big_rss = [], [], []
        for i in range(runs + 1):
            for just_freed in ((True, False) if i % 2 else (False, True)):
                seconds, r = extraction_round(w, big, source, just_freed)
                if i:
                    (extraction if just_freed else settled).append(seconds)
                    big_rss.append(r)
                log(f"extraction {i} ({'just freed' if just_freed else 'settled'}): "
                    + ", ".join(f"{k} {v * 1000:.1f} ms" for k, v in seconds.items()))
    finally:
        w.close()

    mb = 1 << 20
    rows = [
        ("Uninstall.exe", f"{sizes['Uninstall.exe'] / 1024:.1f} KB", "≤ 192 KB",
         sizes["Uninstall.exe"] <= 192 * 1024),
        ("KVRN.exe", f"{sizes['KVRN.exe'] / 1024:.1f} KB", "–", None),
        ("Setup.exe", f"{sizes['Setup.exe'] / 1024:.1f} KB "
         f"(payload {payload / 1024:.1f} KB)", "–", None),
        ("Setup.exe overhead (Setup.exe − payload)", f"{overhead / 1024:.1f} KB", "≤ 320 KB",
         overhead <= 320 * 1024),
    ]

    def startup_row(name, over, under, budget=None):
        ratios = [r[over] / r[under] for r in startup]
        return (f"start-up {name} ({runs} rounds)",
                f"{spread(ratios, '{:.2f}')}; {over} "
                f"{spread([r[over] for r in startup], '{:.0f}')} ms, {under} "
                f"{spread([r[under] for r in startup], '{:.0f}')} ms",
                f"≤ {budget}" if budget else "–",
                statistics.median(ratios) <= budget if budget else None)

    rows.append(startup_row("Setup / floor", "setup", "floor", 1.10))
    rows.append(startup_row("Setup / minimal window", "setup", "minimal"))
    rows.append(startup_row("floor / minimal window", "floor", "minimal"))
    rows.append((f"install / floor {install_floor} ms ({lines} lines)",
                 f"{spread([x / install_floor for x in installs])}; "
                 f"{spread(installs, '{:.0f}')} ms", "≤ 1.05",
                 statistics.median(installs) / install_floor <= 1.05))
    rows.append((f"uninstall / floor {uninstall_floor} ms",
                 f"{spread([x / uninstall_floor for x in uninstalls])}; "
                 f"{spread(uninstalls, '{:.0f}')} ms", "≤ 1.05",
                 statistics.median(uninstalls) / uninstall_floor <= 1.05))

    def throughput(rounds, yardstick, budget=None):
        ratios = [r[yardstick] / r["setup"] for r in rounds]  # throughput over the yardstick's
        return (f"{spread(ratios, '{:.2f}')}; Setup "
                f"{spread([BIG_SIZE / mb / r['setup'] for r in rounds], '{:.0f}')} MB/s, "
                f"{yardstick} "
                f"{spread([BIG_SIZE / mb / r[yardstick] for r in rounds], '{:.0f}')} MB/s",
                f"≥ {budget}" if budget else "–",
                statistics.median(ratios) >= budget if budget else None)

    rows.append(("extraction throughput Setup / cp (64 MB), each right after a 64 MB deletion",
                 *throughput(extraction, "cp", 0.9)))
    rows.append(("same, each 4 s after such a deletion", *throughput(settled, "cp", 0.9)))
    rows.append((f"extraction Setup / dd bs={PIECE >> 20}M (read and write, as Setup), "
                 "right after a deletion", *throughput(extraction, "dd")))
    rows.append(("same, 4 s after a deletion", *throughput(settled, "dd")))
    own = [r - minimal_rss for r in rss]
    rows.append(("peak memory during an installation (VmHWM − minimal's)",
                 f"{spread([x / mb for x in own], '{:.1f}')} MB (Setup "
                 f"{spread([x / mb for x in rss], '{:.1f}')} MB, minimal "
                 f"{minimal_rss / mb:.1f} MB)",
                 f"≤ {(payload + 16 * mb) / mb:.1f} MB", max(own) <= payload + 16 * mb))
    big_own = [r - minimal_rss for r in big_rss]
    big_payload = payload_bytes(big)
    rows.append(("same, build with the 64 MB entry",
                 f"{spread([x / mb for x in big_own], '{:.1f}')} MB",
                 f"≤ {(big_payload + 16 * mb) / mb:.1f} MB", max(big_own) <= big_payload + 16 * mb))
    rows.append(("CPU time / wall time of an installation",
                 f"{spread([c / t for c, t in zip(cpu, wall)])} ({spread(cpu, '{:.2f}')} s "
                 f"of {spread(wall, '{:.2f}')} s)", "no busy waiting", None))

    mode = harness.wine_mode()
    print(f"Measured: the programs of {rel} ({mode.arch} programs) under {mode.arch} Wine; "
          f"{mode.reason}.")
    print()
    print(f"| Figure | Measured: median (lowest–highest) | Budget | Met |")
    print("|---|---|---|---|")
    for name, value, budget, met in rows:
        print(f"| {name} | {value} | {budget} | "
              f"{'–' if met is None else ('yes' if met else 'NO')} |")


if __name__ == "__main__":
    main()
