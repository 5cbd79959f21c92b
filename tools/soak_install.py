#!/usr/bin/env python3
"""Installation soak: the real zenka_setup.exe under Wine, driven through its window, against
servers that break bodies off, stall and trickle, while the process is killed at random moments and
started again.

    soak_install.py --prefix P --exe E --work DIR --fault-url URL --fault-file ZIP
                    --release-url URL --release-log LOG --tree DIR --seed N [--installs 50]
                    [--scenarios|--no-scenarios] [--only-install K]

--fault-url is the fault server's base (http://127.0.0.1:PORT), --release-url the nginx URL of the
package, --release-log its access log, --tree the unpacked package every installation must match.
Installation k uses the random generator seeded with (seed, k), so `--seed N --only-install K`
replays one of them exactly. Prints one line per installation and ends with the summary rows (also
written to WORK/install-summary.tsv). Exit code 0 when everything held.

What each installation must show:
- it ends on the finished page, and the target holds exactly the package's tree, byte for byte,
  with neither "payload.zip" nor "payload.zip.downloading" left behind;
- a run started after a kill asks first for the bytes from the size of the partial file it finds
  (no Range when there is none);
- within a run, each request continues where the answered body stopped: after a 206 the next
  request starts inside what the server sent (never before its start), after a 200 inside what was
  sent from 0, after a 416 at 0. So a download starts again from 0 only where the partial file was
  gone, the server ignored the range, or the range was past the end;
- no error box, no wine process of a killed run left over.
"""
import argparse
import filecmp
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "ui", "gui"))
import guilib as g  # noqa: E402

INSTALL_BUTTON = (418, 489)
FINISHED_DIVIDER = (300, 238)  # a pixel only the finished page paints in the card border colour
ERROR_BOX = "^Ошибка установки ZENKA$"
NETWORK_BOX = "^ZENKA Setup - Ошибка сети$"
RUN_TIME_LIMIT = 120            # seconds one run may take before it counts as hung
PARTIAL = "payload.zip.downloading"
PACKAGE = "payload.zip"

# A trickle that keeps the package in flight for a couple of seconds, so kills land mid-download.
TRICKLE = {"chunk": 65536, "delay": 0.02}


def http(method, url, body=None):
    request = urllib.request.Request(url, data=body, method=method)
    with urllib.request.urlopen(request, timeout=10) as response:
        return response.read().decode("utf-8")


def find_windows(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                          capture_output=True, text=True).stdout.split()


def pids_mentioning(text):
    """Processes whose command line contains `text` (the run's own target path)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as handle:
                command = handle.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            continue
        if text in command:
            found.append(int(entry))
    return found


def process_group_alive(pgid):
    try:
        os.killpg(pgid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


class Request:
    def __init__(self, start, status, sent):
        self.start = start    # first byte asked for (0 without a Range header)
        self.status = status  # what the server answered
        self.sent = sent      # body bytes the server sent at most


class Runner:
    def __init__(self, args):
        self.args = args
        self.size = os.path.getsize(args.fault_file)
        with open(args.fault_file + ".sha256") as handle:
            self.digest = handle.read().strip()
        self.violations = []

    # ---- one process of the setup ----

    def run_setup(self, url, target, kill_at, label, limit=RUN_TIME_LIMIT):
        """Starts the setup, presses install and waits for the end of the run: the finished page,
        an error box, or the kill `kill_at` seconds after the click. Returns (outcome, seconds)."""
        setup = g.Setup(self.args.prefix, self.args.exe, "--url", url, "--sha256", self.digest,
                        "--target", g.windows_path(target))
        outcome = "hung"
        started = time.time()
        try:
            setup.attach(timeout=40)
            setup.click(*INSTALL_BUTTON)
            clicked = time.time()
            while time.time() - clicked < limit:
                if kill_at is not None:
                    remaining = clicked + kill_at - time.time()
                    if remaining <= 0:
                        outcome = "killed"
                        break
                    time.sleep(min(0.4, remaining))
                else:
                    time.sleep(0.4)
                if find_windows(ERROR_BOX):
                    outcome = "error box"
                    break
                if find_windows(NETWORK_BOX):
                    outcome = "network box"
                    break
                if setup.process.poll() is not None:
                    outcome = "exited"
                    break
                if setup.pixel(g.Screenshot(), *FINISHED_DIVIDER) == g.CARD_BORDER:
                    outcome = "finished"
                    break
        except RuntimeError as error:
            outcome = "no window (%s)" % error
        finally:
            pgid = setup.process.pid
            setup.kill()
            self.wait_all_gone(pgid, target, label)
        return outcome, time.time() - started

    def wait_all_gone(self, pgid, target, label):
        deadline = time.time() + 15
        marker = g.windows_path(target)
        while time.time() < deadline:
            if not process_group_alive(pgid) and not pids_mentioning(marker):
                return
            time.sleep(0.1)
        leftovers = pids_mentioning(marker)
        self.violations.append("%s: wine process of a killed run still there: %s" % (label, leftovers))
        for pid in leftovers:
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass

    # ---- the request logs ----

    def fault_requests(self, key, steps):
        lines = [line for line in http("GET", "%s/log/%s" % (self.args.fault_url, key)).splitlines() if line]
        requests = []
        for index, line in enumerate(lines):
            start = parse_range(line.split("\t")[1])
            step = steps[min(index, len(steps) - 1)]
            if step.get("drop"):
                status, body = 0, 0
            elif step.get("ignore_range"):
                status, body = 200, self.size
            elif start >= self.size and start > 0:
                status, body = 416, 0
            else:
                status, body = (206 if start else 200), self.size - start
            limit = step.get("break_after")
            requests.append(Request(start, status, body if limit is None else min(limit, body)))
        return requests

    def release_requests(self, uri):
        requests = []
        if not os.path.exists(self.args.release_log):
            return requests
        with open(self.args.release_log, encoding="utf-8", errors="replace") as log:
            for line in log:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 5 and fields[0] == uri:
                    requests.append(Request(parse_range(fields[1]), int(fields[3]), int(fields[4])))
        return requests

    # ---- one installation ----

    def install(self, number):
        rng = random.Random("%d/%d" % (self.args.seed, number))
        label = "install %d" % number
        target = os.path.join(self.args.work, "installs", "%03d" % number, "ZENKA Target")
        shutil.rmtree(os.path.dirname(target), ignore_errors=True)
        os.makedirs(os.path.dirname(target))

        # Every fifth installation goes to the sound nginx server, which sends at full speed, so
        # its kills land in the checksum, the extraction and the registration instead.
        use_release = number % 5 == 4
        if use_release:
            uri = "/releases/stable/ZENKA-latest-full.zip?soak=%d-%d" % (self.args.seed, number)
            url = self.args.release_url.rstrip("/") + uri
            kills = [rng.uniform(0.02, 0.7) for _ in range(rng.randint(1, 3))]
            steps = None
        else:
            key = "soak-%d-%d" % (self.args.seed, number)
            url = "%s/f/%s" % (self.args.fault_url, key)
            steps = []
            for _ in range(rng.randint(0, 4)):
                step = dict(TRICKLE, break_after=rng.randint(0, self.size))
                if rng.random() < 0.15:
                    step["ignore_range"] = True
                steps.append(step)
            rng.shuffle(steps)
            steps.insert(rng.randint(0, len(steps)), dict(TRICKLE))
            steps.append(dict(TRICKLE))  # the last step repeats: in the end the body comes whole
            http("PUT", "%s/control/%s" % (self.args.fault_url, key),
                 json.dumps({"file": self.args.fault_file, "responses": steps}).encode())
            kills = [rng.uniform(0.1, 4.0) for _ in range(rng.randint(0, 3))]

        runs = []      # (partial size at start or None, outcome)
        boundaries = []
        outcome = None
        log = (lambda: self.release_requests(uri)) if use_release else (lambda: self.fault_requests(key, steps))
        total_seconds = 0.0
        for attempt in range(len(kills) + 3):
            partial = os.path.join(target, PARTIAL)
            partial_size = os.path.getsize(partial) if os.path.exists(partial) else None
            kill_at = kills[attempt] if attempt < len(kills) else None
            if use_release:
                time.sleep(0.3)  # nginx logs a request when it ends, and a cut one ends late
            boundaries.append(len(log()))
            outcome, seconds = self.run_setup(url, target, kill_at, label)
            total_seconds += seconds
            runs.append((partial_size, outcome))
            if outcome == "finished":
                break
            if outcome in ("error box", "network box"):
                self.violations.append("%s run %d: %s" % (label, attempt + 1, outcome))
            elif outcome != "killed":
                self.violations.append("%s run %d: %s" % (label, attempt + 1, outcome))
                break

        if use_release:
            time.sleep(0.3)
        requests = log()
        problems = self.check_requests(runs, requests, boundaries)
        breaches = len(problems)
        problems += self.check_tree(target) if outcome == "finished" else ["never finished"]
        for problem in problems:
            self.violations.append("%s: %s" % (label, problem))
        stats = {
            "server": "nginx" if use_release else "fault",
            "runs": len(runs),
            "kills": sum(1 for _, o in runs if o == "killed"),
            "resumes": sum(1 for size, _ in runs[1:] if size),
            "requests": len(requests),
            "full": sum(1 for r in requests if r.start == 0),
            "breaks": sum(1 for r in requests if r.status in (200, 206) and r.start + r.sent < self.size
                          and not (r.status == 200 and r.sent == self.size)),
            "restarts416": sum(1 for r in requests if r.status == 416),
            "ignored": sum(1 for r in requests if r.status == 200 and r.start > 0),
            "breaches": breaches,
            "seconds": total_seconds,
            "ok": not problems and outcome == "finished",
        }
        print("%s [%s] runs %d (%s), requests %d (%s), %.1f s: %s" % (
            label, stats["server"], len(runs),
            ", ".join(o if s is None else "%s from %d" % (o, s) for s, o in runs),
            len(requests), " ".join(describe(r) for r in requests), total_seconds,
            "ok" if stats["ok"] else "FAILED: " + "; ".join(problems)), flush=True)
        if stats["ok"]:
            shutil.rmtree(os.path.dirname(target), ignore_errors=True)
        return stats

    def check_requests(self, runs, requests, boundaries):
        """The resume rules over the server's log; boundaries[r] is the number of requests logged
        before run r started."""
        problems = []
        if not requests:
            return ["no request reached the server"]
        boundaries = boundaries + [len(requests)]
        for number, (partial_size, _) in enumerate(runs):
            mine = requests[boundaries[number]:boundaries[number + 1]]
            if mine and mine[0].start != (partial_size or 0):
                problems.append("run %d found a partial file of %s bytes but asked from %d" % (
                    number + 1, partial_size, mine[0].start))
            for index in range(1, len(mine)):
                if not continues_from(mine[index - 1], mine[index], self.size):
                    problems.append("run %d: request %s after %s does not continue it" % (
                        number + 1, describe(mine[index]), describe(mine[index - 1])))
        return problems

    def check_tree(self, target):
        problems = []
        for leftover in (PARTIAL, PACKAGE):
            if os.path.exists(os.path.join(target, leftover)):
                problems.append("%s left behind" % leftover)
        expected = tree_listing(self.args.tree)
        found = tree_listing(target)
        if found != expected:
            missing = sorted(set(expected) - set(found))
            extra = sorted(set(found) - set(expected) - {PARTIAL, PACKAGE})
            if missing or extra:
                problems.append("tree differs: missing %s, extra %s" % (missing[:5], extra[:5]))
        for relative, kind in expected.items():
            if kind == "file" and found.get(relative) == "file":
                if not filecmp.cmp(os.path.join(self.args.tree, relative), os.path.join(target, relative),
                                   shallow=False):
                    problems.append("%s differs from the package" % relative)
        return problems

    # ---- stalls and trickles ----

    def scenario(self, name, steps, expect, budget, stale_partial=0):
        """One uninterrupted installation against a fault scenario; `expect` is "finished" or
        "network box". Returns (ok, seconds, detail)."""
        key = "soak-%d-%s" % (self.args.seed, name)
        http("PUT", "%s/control/%s" % (self.args.fault_url, key),
             json.dumps({"file": self.args.fault_file, "responses": steps}).encode())
        target = os.path.join(self.args.work, "scenarios", name, "ZENKA Target")
        shutil.rmtree(os.path.dirname(target), ignore_errors=True)
        os.makedirs(os.path.dirname(target))
        if stale_partial:
            os.makedirs(target)
            with open(os.path.join(target, PARTIAL), "wb") as stale:
                stale.write(random.Random(stale_partial).randbytes(self.size + stale_partial))
        url = "%s/f/%s" % (self.args.fault_url, key)
        problems = []
        seconds = 0.0
        if expect == "error box, then finished":
            # A damaged body: the digest fails, the box reports it and the partial file is gone,
            # so the next run rightly downloads everything again.
            outcome, seconds = self.run_until_box(url, target, ERROR_BOX, budget)
            if outcome != "error box":
                problems.append("first run ended as %s, expected the error box" % outcome)
            if os.path.exists(os.path.join(target, PARTIAL)):
                problems.append("the partial file outlived the checksum mismatch")
            expect = "finished"
            first_run = len(self.fault_requests(key, steps))
            outcome, more = self.run_setup_until(url, target, budget, expect)
            seconds += more
            second = self.fault_requests(key, steps)[first_run:]
            if not second or second[0].start != 0:
                problems.append("the run after the mismatch did not start from 0")
        else:
            outcome, seconds = self.run_setup_until(url, target, budget, expect)
        requests = self.fault_requests(key, steps)
        if outcome != expect:
            problems.append("ended as %s, expected %s" % (outcome, expect))
        if expect == "network box":
            partial = os.path.join(target, PARTIAL)
            kept = os.path.getsize(partial) if os.path.exists(partial) else None
            if kept != requests[0].sent:
                problems.append("partial file after Cancel holds %s bytes, %d were received" % (kept, requests[0].sent))
        if stale_partial and (not requests or requests[0].start != self.size + stale_partial):
            problems.append("the stale partial file was not asked to be continued first")
        if expect == "finished" and outcome == "finished":
            problems += self.check_tree(target)
            for index in range(1, len(requests)):
                if requests[index - 1].start + requests[index - 1].sent == self.size:
                    continue  # a complete body ends a run; the next request is a new run's
                if not continues_from(requests[index - 1], requests[index], self.size):
                    problems.append("request %d does not continue request %d" % (index + 1, index))
        detail = "%s in %.1f s, requests: %s" % (outcome, seconds, " ".join(describe(r) for r in requests))
        if problems:
            self.violations.append("scenario %s: %s" % (name, "; ".join(problems)))
        print("scenario %-14s %s: %s" % (name, detail, "ok" if not problems else "FAILED: " + "; ".join(problems)),
              flush=True)
        return not problems, seconds, detail

    def run_setup_until(self, url, target, budget, expect):
        if expect == "network box":
            return self.run_until_box(url, target, NETWORK_BOX, budget)
        return self.run_setup(url, target, None, "scenario", budget)

    def run_until_box(self, url, target, title, budget):
        """A run that must end in the box titled `title`: Escape (Cancel, or OK) in it must end the
        program with the code of that ending (4 after the network box, 2 after the error box)."""
        setup = g.Setup(self.args.prefix, self.args.exe, "--url", url, "--sha256", self.digest,
                        "--target", g.windows_path(target))
        started = time.time()
        outcome = "hung"
        try:
            setup.attach(timeout=40)
            setup.click(*INSTALL_BUTTON)
            box = setup.wait_window(title, budget)
            if box is not None:
                g.press_key(box, "Escape")
                code = setup.exit_code(20)
                name, expected = ("network box", 4) if title == NETWORK_BOX else ("error box", 2)
                outcome = name if code == expected else "%s, then exit code %s" % (name, code)
            elif setup.process.poll() is not None:
                outcome = "exited"
        except RuntimeError as error:
            outcome = "no window (%s)" % error
        finally:
            pgid = setup.process.pid
            setup.kill()
            self.wait_all_gone(pgid, target, "scenario")
        return outcome, time.time() - started


def parse_range(text):
    match = re.match(r"bytes=(\d+)-", text or "")
    return int(match.group(1)) if match else 0


def continues_from(previous, request, size):
    """Whether `request` is what a client that received (part of) `previous`'s answer asks next."""
    if previous.status == 206:
        return previous.start <= request.start <= previous.start + previous.sent
    if previous.status == 200:
        return request.start <= previous.sent
    if previous.status == 416:
        return request.start == 0
    return request.start == previous.start  # no answer: the same request again


def describe(request):
    return "%d:%d+%d" % (request.status, request.start, request.sent)


def tree_listing(root):
    listing = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs:
            listing[os.path.relpath(os.path.join(folder, name), root)] = "dir"
        for name in files:
            listing[os.path.relpath(os.path.join(folder, name), root)] = "file"
    return listing


SCENARIOS = [
    # name, steps, expected end, bound in seconds[, bytes a stale partial file holds beyond the package]
    ("stall-body", [{"stall_after": [1 << 20, 25]}, {}], "finished", 120),
    ("stall-headers", [{"stall": 25}, {}], "finished", 120),
    ("pause-14s", [{"stall_after": [2 << 20, 12]}], "finished", 120),
    ("trickle", [{"chunk": 4096, "delay": 0.004}], "finished", 120),
    ("trickle-break", [{"chunk": 1024, "delay": 0.002, "break_after": 300000},
                       {"chunk": 8192, "delay": 0.004}], "finished", 120),
    # A server that dies after a first megabyte: the box comes, Cancel ends the program and the
    # megabyte stays on disk for the next run.
    ("dead-server", [{"break_after": 1 << 20}, {"drop": True}], "network box", 120),
    # A partial file left by a bigger release: the range is past the end (416), so from 0.
    ("stale-partial", [{}], "finished", 120, 4096),
    ("corrupt-body", [{"break_after": 3 << 20, "corrupt_at": 1 << 20}, {}], "error box, then finished", 120),
]


def main():
    parser = argparse.ArgumentParser()
    for name in ("prefix", "exe", "work", "fault-url", "fault-file", "release-url", "release-log", "tree"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--installs", type=int, default=50)
    parser.add_argument("--only-install", type=int)
    parser.add_argument("--scenarios", dest="scenarios", action="store_true", default=True)
    parser.add_argument("--no-scenarios", dest="scenarios", action="store_false")
    parser.add_argument("--only-scenario", help="run just this one of the server scenarios")
    args = parser.parse_args()
    args.fault_url = args.fault_url.rstrip("/")
    runner = Runner(args)

    started = time.time()
    numbers = [args.only_install] if args.only_install is not None else range(args.installs)
    print("installation soak: seed %d, installations %s, package %d bytes" % (
        args.seed, "%d" % args.only_install if args.only_install is not None else "0..%d" % (args.installs - 1),
        runner.size), flush=True)
    results = [runner.install(number) for number in numbers]
    install_seconds = time.time() - started

    scenario_results = []
    if args.scenarios:
        for name, steps, expect, budget, *stale in SCENARIOS:
            if args.only_scenario and name != args.only_scenario:
                continue
            scenario_results.append((name, runner.scenario(name, steps, expect, budget, *stale)))
    total_seconds = time.time() - started

    rows = []
    for server in ("fault", "nginx"):
        mine = [r for r in results if r["server"] == server]
        if not mine:
            continue
        rows.append(("installations, %s server" % server, len(mine), sum(1 for r in mine if r["ok"]),
                     "runs %d, kills %d, resumed after kill %d, requests %d, broken bodies %d, "
                     "416 restarts %d, 200 restarts %d, requests from 0 %d, resume rule broken %d" % (
                         sum(r["runs"] for r in mine), sum(r["kills"] for r in mine),
                         sum(r["resumes"] for r in mine), sum(r["requests"] for r in mine),
                         sum(r["breaks"] for r in mine), sum(r["restarts416"] for r in mine),
                         sum(r["ignored"] for r in mine), sum(r["full"] for r in mine),
                         sum(r["breaches"] for r in mine)),
                     sum(r["seconds"] for r in mine)))
    for name, (ok, seconds, detail) in scenario_results:
        rows.append(("server %s" % name, 1, 1 if ok else 0, detail, seconds))
    with open(os.path.join(args.work, "install-summary.tsv"), "w") as out:
        for row in rows:
            out.write("%s\t%d\t%d\t%.0f\t%s\n" % (row[0], row[1], row[2], row[4], row[3]))
    print("installation soak: %d installations in %.0f s, all parts %.0f s, violations %d" % (
        len(results), install_seconds, total_seconds, len(runner.violations)))
    for violation in runner.violations:
        print("VIOLATION", violation)
    return 0 if not runner.violations else 1


if __name__ == "__main__":
    sys.exit(main())
