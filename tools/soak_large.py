#!/usr/bin/env python3
"""Large-package soak: the real zenka_setup.exe under Wine installs a ZIP64 package of about
4.5 GiB (tools/large_package.py) from nginx, is killed once its partial file has passed the 4 GiB
mark, and is started again to finish.

    soak_large.py --prefix P --exe E --work DIR --stage SAMPLE_STAGE_DIR [--keep]

What must hold:
- the second run asks nginx for the bytes from the partial file's size on (past 2^32), gets 206
  and exactly the rest of the package;
- every request continues where the one before it stopped (run 1 makes several: Wine's WinHTTP
  ends a body after 2^31 - 1 bytes, and the setup reconnects from there);
- it ends on the finished page, and every installed file has the size and SHA-256 the package's
  manifest lists, with neither "payload.zip" nor the partial file left;
- the setup's memory stays flat: resident and anonymous memory are sampled every half second, and
  the peak of the second run may exceed its first download sample by at most FLAT_BOUND.

Screenshots of the window at the kill and during the resumed download are kept in DIR (the detail
line then shows sizes in gigabytes). Prints the figures (time of each part, memory, offsets) and
writes them to DIR/large-summary.tsv. Before anything else it checks that DIR's file system has room
for the package, the partial file and the installed tree, and says what it needs. Everything
generated is deleted at the end unless --keep is given. Exit code 0 when everything held, 2 when
there is not enough room.
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "ui", "gui"))
import guilib as g  # noqa: E402
import large_package  # noqa: E402

INSTALL_BUTTON = (418, 489)
FINISHED_DIVIDER = (300, 238)
ERROR_BOX = "^Ошибка установки ZENKA$"
NETWORK_BOX = "^ZENKA Setup - Ошибка сети$"
PARTIAL = "payload.zip.downloading"
PACKAGE = "payload.zip"
RELEASE_URI = "/releases/stable/ZENKA-latest-full.zip"
MARK = 1 << 32
KILL_PAST_MARK = 64 << 20      # the kill comes this far past the mark
FLAT_BOUND = 64 << 20          # allowed growth of resident memory within the second run
RUN_LIMIT = 1800               # seconds a run may take
MIB = 1 << 20


class MemorySampler:
    """Samples VmRSS and RssAnon of the setup's Wine process every half second, with the phase the
    files on disk show at that moment."""

    def __init__(self, target, package_size):
        self.target = target
        self.package_size = package_size
        self.samples = []  # (seconds, phase, rss, anon)
        self.stop = threading.Event()
        self.started = time.time()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def phase(self):
        partial = os.path.join(self.target, PARTIAL)
        if os.path.exists(os.path.join(self.target, PACKAGE)):
            return "extraction"
        try:
            size = os.path.getsize(partial)
        except OSError:
            return "other"
        return "checksum" if size >= self.package_size else "download"

    def run(self):
        while not self.stop.is_set():
            for pid in setup_pids():
                memory = read_memory(pid)
                if memory:
                    self.samples.append((time.time() - self.started, self.phase()) + memory)
            self.stop.wait(0.5)

    def finish(self):
        self.stop.set()
        self.thread.join()
        return self.samples


def setup_pids():
    """Linux pids of the Wine processes that run zenka_setup.exe (Wine names them after the exe)."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/comm" % entry) as comm:
                    if comm.read().strip() == "zenka_setup.exe":
                        found.append(int(entry))
            except OSError:
                pass
    return found


def read_memory(pid):
    values = {}
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "RssAnon"):
                    values[key] = int(rest.split()[0]) * 1024
    except OSError:
        return None
    return (values["VmRSS"], values["RssAnon"]) if len(values) == 2 else None


def nginx_requests(log):
    """[(range, status, bytes)] of the package's requests, in the order nginx finished them."""
    requests = []
    if os.path.exists(log):
        with open(log, encoding="utf-8", errors="replace") as lines:
            for line in lines:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 5 and fields[0] == RELEASE_URI:
                    requests.append((fields[1], int(fields[3]), int(fields[4])))
    return requests


def range_start(text):
    return int(text[len("bytes="):].split("-")[0]) if text.startswith("bytes=") else 0


def window_shot(setup, path):
    """Saves the setup window's client area (660 x 530) as a PNG."""
    shot = os.path.join(os.path.dirname(path), "screen.png")
    g.Screenshot(keep_as=shot)
    x, y = setup.origin
    subprocess.run(["convert", shot, "-crop", "660x530+%d+%d" % (x, y), "+repage", path], check=True)
    os.remove(shot)


def wait_for(condition, setup, limit):
    """Polls `condition` until true, the process ends, a box appears or `limit` seconds pass;
    returns "yes", "exited", "error box", "network box" or "hung"."""
    deadline = time.time() + limit
    last_box_check = 0.0
    while time.time() < deadline:
        if condition():
            return "yes"
        if setup.process.poll() is not None:
            return "exited"
        if time.time() - last_box_check > 2:
            last_box_check = time.time()
            for title, name in ((ERROR_BOX, "error box"), (NETWORK_BOX, "network box")):
                if subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                                  capture_output=True, text=True).stdout.split():
                    return name
        time.sleep(0.05)
    return "hung"


def wait_gone(pids, limit=20):
    deadline = time.time() + limit
    while time.time() < deadline and any(os.path.exists("/proc/%d" % pid) for pid in pids):
        time.sleep(0.1)


def compare_tree(target, manifest):
    problems = []
    for leftover in (PARTIAL, PACKAGE):
        if os.path.exists(os.path.join(target, leftover)):
            problems.append("%s left behind" % leftover)
    for name in manifest["dirs"]:
        if not os.path.isdir(os.path.join(target, *name.split("/"))):
            problems.append("directory %s missing" % name)
    for name, (size, digest) in manifest["files"].items():
        path = os.path.join(target, *name.split("/"))
        if not os.path.isfile(path):
            problems.append("%s missing" % name)
            continue
        if os.path.getsize(path) != size:
            problems.append("%s has %d bytes, the package %d" % (name, os.path.getsize(path), size))
            continue
        if large_package.sha256_of(path) != digest:
            problems.append("%s differs from the package" % name)
    return problems


def main():
    parser = argparse.ArgumentParser()
    for name in ("prefix", "exe", "work", "stage"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--keep", action="store_true", help="keep the package and the installed tree")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "package")
    target = os.path.join(work, "target", "ZENKA")
    shutil.rmtree(os.path.dirname(target), ignore_errors=True)

    # The package, the partial file (then payload.zip) and the unpacked tree all exist at once.
    package_bytes = sum(size for _, size in large_package.LARGE_FILES) + 64 * MIB
    cached = os.path.exists(os.path.join(data, "manifest.json"))
    need = (2 if cached else 3) * package_bytes + (1 << 30)
    free = shutil.disk_usage(work).free
    print("large package: needs %.1f GiB free in %s, has %.1f GiB" % (need / (1 << 30), work, free / (1 << 30)),
          flush=True)
    if free < need:
        print("large package: not enough room; free some space or set BUILD_DIR elsewhere")
        return 2

    figures = []
    problems = []
    started = time.time()
    package = large_package.build(args.stage, data)
    with open(os.path.join(data, "manifest.json")) as handle:
        manifest = json.load(handle)
    size, digest = manifest["package"]
    figures.append(("generate package", "%.0f s, %d bytes (%.2f GiB), %d entries" % (
        time.time() - started, size, size / (1 << 30), len(manifest["files"]) + len(manifest["dirs"]))))

    state = os.path.join(work, "nginx")
    log = os.path.join(state, "access.log")
    if os.path.exists(log):
        os.remove(log)
    release_server = os.path.join(HERE, "release-server")
    base = subprocess.run([release_server, "start", os.path.join(data, "www"), state], capture_output=True,
                          text=True, check=True).stdout.strip()
    url = base.rstrip("/") + RELEASE_URI
    partial = os.path.join(target, PARTIAL)
    try:
        # Run 1: downloads past the mark and is killed there.
        run_started = time.time()
        setup = g.Setup(args.prefix, args.exe, "--url", url, "--sha256", digest, "--target", g.windows_path(target))
        pids = []
        try:
            setup.attach(timeout=60)
            setup.click(*INSTALL_BUTTON)
            sampler = MemorySampler(target, size)
            outcome = wait_for(lambda: os.path.exists(partial) and os.path.getsize(partial) > MARK + 8 * MIB,
                               setup, RUN_LIMIT)
            if outcome == "yes":
                window_shot(setup, os.path.join(work, "large-at-kill.png"))
                wait_for(lambda: os.path.getsize(partial) > MARK + KILL_PAST_MARK, setup, RUN_LIMIT)
            pids = setup_pids()
        finally:
            setup.kill()
            for pid in pids:
                try:
                    os.kill(pid, 9)
                except ProcessLookupError:
                    pass
            wait_gone(pids)
        first_samples = sampler.finish()
        if outcome != "yes":
            problems.append("run 1 never passed the 4 GiB mark: %s" % outcome)
        kept = os.path.getsize(partial) if os.path.exists(partial) else 0
        figures.append(("run 1 (killed)", "%.0f s, partial file %d bytes (2^32 + %d)" % (
            time.time() - run_started, kept, kept - MARK)))
        if kept <= MARK:
            problems.append("the partial file after the kill holds %d bytes, not past 2^32" % kept)
        time.sleep(1)  # nginx logs the cut request when it notices
        first_run = nginx_requests(log)
        before = len(first_run)
        # Wine's WinHTTP ends every body after 2^31 - 1 bytes, so run 1 reconnects on its own about
        # every 2 GiB; each of those requests must start inside what the one before it sent.
        for previous, request in zip(first_run, first_run[1:]):
            start, previous_start = range_start(request[0]), range_start(previous[0])
            if not previous_start < start <= previous_start + previous[2] or request[1] != 206:
                problems.append("run 1: request %s does not continue %s" % (request, previous))

        # Run 2: resumes past the mark and finishes.
        run_started = time.time()
        phases = {}
        setup = g.Setup(args.prefix, args.exe, "--url", url, "--sha256", digest, "--target", g.windows_path(target))
        try:
            setup.attach(timeout=60)
            setup.click(*INSTALL_BUTTON)
            clicked = time.time()
            sampler = MemorySampler(target, size)
            outcome = wait_for(lambda: os.path.exists(partial) and os.path.getsize(partial) > kept + 32 * MIB,
                               setup, RUN_LIMIT)
            if outcome == "yes":
                window_shot(setup, os.path.join(work, "large-resumed.png"))
            outcome = wait_for(lambda: os.path.exists(partial) and os.path.getsize(partial) >= size, setup,
                               RUN_LIMIT)
            phases["download"] = time.time() - clicked
            outcome = wait_for(lambda: os.path.exists(os.path.join(target, PACKAGE)), setup, RUN_LIMIT)
            phases["checksum"] = time.time() - clicked - phases["download"]
            outcome = wait_for(lambda: setup.pixel(g.Screenshot(), *FINISHED_DIVIDER) == g.CARD_BORDER, setup,
                               RUN_LIMIT)
            phases["extraction and the rest"] = time.time() - clicked - phases["download"] - phases["checksum"]
            if outcome != "yes":
                problems.append("run 2 did not reach the finished page: %s" % outcome)
        finally:
            pids = setup_pids()
            setup.kill()
            wait_gone(pids)
        samples = sampler.finish()
        figures.append(("run 2 (resumed)", "%.0f s: %s" % (time.time() - run_started, ", ".join(
            "%s %.1f s" % item for item in phases.items()))))

        time.sleep(1)
        requests = nginx_requests(log)
        mine = requests[before:]
        figures.append(("requests", " ".join("%s:%d+%d" % request for request in requests)))
        expected = ("bytes=%d-" % kept, 206, size - kept)
        if not mine or mine[0] != expected:
            problems.append("the resumed run's first request is %s, expected %s" % (mine[:1], expected))
        if len(mine) != 1:
            problems.append("the resumed run made %d requests, expected 1" % len(mine))

        def memory_line(rows):
            if not rows:
                return "no samples"
            text = []
            for phase in ("download", "checksum", "extraction"):
                mine = [row for row in rows if row[1] == phase]
                if mine:
                    text.append("%s peak %.1f/%.1f MiB" % (phase, max(r[2] for r in mine) / MIB,
                                                          max(r[3] for r in mine) / MIB))
            return "resident/anonymous: first %.1f/%.1f MiB, %s (%d samples)" % (
                rows[0][2] / MIB, rows[0][3] / MIB, ", ".join(text), len(rows))

        figures.append(("memory, run 1", memory_line(first_samples)))
        figures.append(("memory, run 2", memory_line(samples)))
        downloading = [row for row in samples if row[1] == "download"]
        if samples and downloading:
            growth = max(row[2] for row in samples) - downloading[0][2]
            if growth > FLAT_BOUND:
                problems.append("resident memory grew by %.1f MiB in run 2" % (growth / MIB))
        else:
            problems.append("no memory samples of the resumed download")

        if outcome == "yes":
            checked = time.time()
            problems += compare_tree(target, manifest)
            figures.append(("tree compared", "%d files, %d directories, %.0f s" % (
                len(manifest["files"]), len(manifest["dirs"]), time.time() - checked)))
    finally:
        subprocess.run([release_server, "stop", state], capture_output=True)
        if not args.keep:
            shutil.rmtree(os.path.dirname(target), ignore_errors=True)
            shutil.rmtree(data, ignore_errors=True)

    figures.append(("total", "%.0f s" % (time.time() - started)))
    with open(os.path.join(work, "large-summary.tsv"), "w") as out:
        for name, text in figures:
            out.write("%s\t%s\n" % (name, text))
    for name, text in figures:
        print("%-18s %s" % (name, text))
    for problem in problems:
        print("VIOLATION", problem)
    print("large package: %s" % ("every check held" if not problems else "%d violation(s)" % len(problems)))
    return 0 if not problems else 1


if __name__ == "__main__":
    sys.exit(main())
