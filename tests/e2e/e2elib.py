"""The whole journey under Wine: the real zenka_setup.exe downloads the sample package from a real
release server (nginx) or the fault-injecting server, driven by clicks, and what it leaves on the
machine is read back from the prefix's files and registry.

Every test runs alone on the display and owns the machine-wide links and uninstall key while it
runs (CTest resource locks). Paths: PREFIX is the Wine prefix, C:\\ is PREFIX/drive_c.
"""
import os
import shutil
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "ui", "gui"))
import guilib as g  # noqa: E402

SOURCE_DIR = g.SOURCE_DIR
RELEASE_PATH = "releases/stable/ZENKA-latest-full.zip"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZENKA"
INSTALL_BUTTON = (418, 489)
LAUNCH_BUTTON = (423, 489)
CLOSE_BUTTON = (577, 489)
ERROR_TITLE = "^Ошибка установки ZENKA$"
NETWORK_TITLE = "^ZENKA Setup - Ошибка сети$"

check = g.check
finish = g.finish


class Machine:
    """The prefix, the exe and the sample package of one build directory."""

    def __init__(self, prefix, exe, package):
        self.prefix = os.path.abspath(prefix)
        self.exe = exe
        self.package = package
        self.digest = open(package + ".sha256").read().strip()
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.links = [os.path.join(self.drive_c, "users", "Public", "Desktop", "ZENKA.lnk"),
                      os.path.join(self.drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu",
                                   "Programs", "ZENKA.lnk")]

    def unix_path(self, windows_path):
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.drive_c, *windows_path[3:].rstrip("\\").split("\\"))

    def fresh_target(self, name):
        """C:\\e2e\\NAME\\ZENKA, not there yet; also clears what an earlier install left."""
        target = "C:\\e2e\\%s\\ZENKA" % name
        shutil.rmtree(os.path.dirname(self.unix_path(target)), ignore_errors=True)
        self.forget_installation()
        return target

    def forget_installation(self):
        for link in self.links:
            if os.path.exists(link):
                os.remove(link)
        self.wine("reg", "delete", UNINSTALL_KEY, "/f")

    def wine(self, *args, timeout=60):
        return subprocess.run([g.WINE_RUN, self.prefix] + list(args), capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=timeout, errors="replace")

    def registry_values(self):
        """{name: (type, data)} of the uninstall key, or None when it does not exist."""
        result = self.wine("reg", "query", UNINSTALL_KEY)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def start(self, *args):
        return g.Setup(self.prefix, self.exe, *args)


def package_entries(package):
    """{relative unix path: bytes} of the files in a package."""
    with zipfile.ZipFile(package) as archive:
        return {info.filename: archive.read(info) for info in archive.infolist() if not info.is_dir()}


def check_installed(machine, target):
    """The target holds exactly the package's files, byte for byte, and nothing of the download."""
    root = machine.unix_path(target)
    expected = package_entries(machine.package)
    for name, data in expected.items():
        path = os.path.join(root, *name.split("/"))
        check(os.path.isfile(path) and open(path, "rb").read() == data, "installed %s is identical" % name)
    check(not os.path.exists(os.path.join(root, "payload.zip")), "payload.zip is gone")
    check(not os.path.exists(os.path.join(root, "payload.zip.downloading")), "no partial download is left")
    check(not os.path.exists(os.path.join(root, "payload.zip.downloading.validator")), "no validator is left")


def check_registered(machine, target):
    for link in machine.links:
        check(os.path.isfile(link), "link %s exists" % os.path.relpath(link, machine.drive_c))
    values = machine.registry_values() or {}
    check(values.get("DisplayName") == ("REG_SZ", "ZENKA"), "uninstall entry names ZENKA")
    check(values.get("InstallLocation") == ("REG_SZ", target), "uninstall entry points at %s" % target)
    check(values.get("QuietUninstallString", ("", ""))[1] ==
          '"%s\\zenka-updater.exe" --uninstall --quiet' % target, "quiet uninstall command registered")


def check_nothing_left(machine, target, what):
    check(not os.path.exists(machine.unix_path(target)), "%s: the installation folder is gone" % what)
    for link in machine.links:
        check(not os.path.exists(link), "%s: link %s is gone" % (what, os.path.basename(os.path.dirname(link))))
    check(machine.registry_values() is None, "%s: the uninstall key is gone" % what)


def wait_finished_page(setup, timeout=90):
    """True once the finished page shows (its divider line) before `timeout` seconds."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if setup.process.poll() is not None:
            return False
        if setup.pixel(g.Screenshot(), 300, 238) == g.CARD_BORDER:
            return True
        time.sleep(0.3)
    return False


def wait_new_window(title, besides, timeout=30):
    """Id of a visible window matching `title` other than `besides`, or None after `timeout` s."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], capture_output=True,
                               text=True).stdout.split()
        others = [window for window in found if window != besides]
        if others:
            return others[0]
        time.sleep(0.3)
    return None


def answer_box(setup, title, key, timeout=60):
    """Waits for a message box of the setup and presses `key` in it; True when it was there."""
    box = setup.wait_window(title, timeout)
    if box is None:
        return False
    g.press_key(box, key)
    return True


class ReleaseServer:
    """nginx serving a copy of the package at the release path, from its own folder."""

    def __init__(self, work, package, port=None):
        self.root = os.path.join(work, "www")
        self.state = os.path.join(work, "nginx")
        os.makedirs(os.path.join(self.root, os.path.dirname(RELEASE_PATH)), exist_ok=True)
        shutil.copy(package, os.path.join(self.root, RELEASE_PATH))
        env = dict(os.environ)
        if port:
            env["ZENKA_RELEASE_SERVER_PORT"] = str(port)
        out = subprocess.run([os.path.join(SOURCE_DIR, "tools", "release-server"), "start", self.root,
                              self.state], capture_output=True, text=True, check=True, env=env,
                             stdin=subprocess.DEVNULL).stdout.strip()
        self.url = out + RELEASE_PATH

    def log_lines(self):
        log = os.path.join(self.state, "access.log")
        if not os.path.exists(log):
            return []
        return [line.rstrip("\n").split("\t") for line in open(log)]

    def requests(self):
        """[(uri, range, user agent, status, bytes)] in the order they were served."""
        return [tuple(fields[:5]) for fields in self.log_lines()]

    def if_ranges(self):
        """The If-Range header of each request ("-" when it had none), in the same order."""
        import re
        # nginx writes a quote as \x22.
        return [re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), fields[5]) if len(fields) > 5
                else "-" for fields in self.log_lines()]

    def stop(self):
        subprocess.run([os.path.join(SOURCE_DIR, "tools", "release-server"), "stop", self.state],
                       capture_output=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class FaultServer:
    """The fault-injecting server, with one scenario under one key."""

    def __init__(self, work, package):
        self.state = os.path.join(work, "faults")
        self.package = package
        port = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "tools", "fault_server.py"), "start",
                               self.state], capture_output=True, text=True, check=True,
                              stdin=subprocess.DEVNULL).stdout.strip()
        self.base = "http://127.0.0.1:%s" % port.split()[-1]
        self.url = self.base + "/f/e2e"

    def scenario(self, responses):
        import json
        import urllib.request
        body = json.dumps({"file": self.package, "responses": responses}).encode()
        urllib.request.urlopen(urllib.request.Request(self.base + "/control/e2e", data=body, method="PUT")).read()

    def log(self):
        import urllib.request
        text = urllib.request.urlopen(self.base + "/log/e2e").read().decode()
        return [line.split("\t") for line in text.splitlines() if line]

    def stop(self):
        subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "tools", "fault_server.py"), "stop", self.state],
                       capture_output=True)


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
