"""The whole journey under Wine: the real zenka_setup.exe downloads the sample package from a real
release server (nginx) or the fault-injecting server, driven by clicks, and what it leaves on the
machine is read back from the prefix's files and registry.

Every test runs alone on the display and owns the machine-wide links and uninstall key while it
runs (CTest resource locks). Paths: PREFIX is the Wine prefix, C:\\ is PREFIX/drive_c.
"""
import atexit
import os
import shutil
import signal
import subprocess
import sys
import tempfile
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

# The setup's exit codes (the README's table).
EXIT_INSTALL_FAILED = 2
EXIT_FOLDER_REFUSED = 3
EXIT_NETWORK_CANCELLED = 4

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
        # What Wine's HTTP stack warns of during the latest setup run, for a failure to name its cause.
        handle, self.setup_log = tempfile.mkstemp(prefix="zenka-e2e-setup-", suffix=".log")
        os.close(handle)
        atexit.register(lambda: os.path.exists(self.setup_log) and os.remove(self.setup_log))

    def unix_path(self, windows_path):
        drive = windows_path[:3].upper()
        assert drive[1:] == ":\\"
        # Drives other than C: are whatever their dosdevices link points at (see SmallDrive).
        root = self.drive_c if drive[0] == "C" else os.path.join(self.prefix, "dosdevices", drive[0].lower() + ":")
        return os.path.join(root, *windows_path[3:].rstrip("\\").split("\\"))

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
        env = dict(os.environ, WINEDEBUG="-all,warn+winhttp", WINE_RUN_STDERR=self.setup_log)
        setup = g.Setup(self.prefix, self.exe, *args, env=env)
        setup.machine = self
        return setup

    def explain(self):
        """Prints what may tell why the latest setup run went wrong: the message boxes open on the
        display and the distinct warnings Wine's HTTP stack gave (a certificate refused, no connection)."""
        for caption, text in (box_texts(self) if "ZENKA_BOX_TEXT" in os.environ else {}).items():
            print("open box %r: %r" % (caption, text))
        seen = []
        for line in open(self.setup_log, errors="replace").read().splitlines():
            warning = line.split(":", 1)[-1]  # without the thread id, so that repeats fold
            if warning not in seen:
                seen.append(warning)
        for warning in seen[-12:]:
            print("wine:", warning)
        # A certificate is refused as not yet valid when Wine's clock runs behind the one it was made by.
        wine_time = self.wine("cmd", "/c", "echo %DATE% %TIME%").stdout.strip()
        print("clock: here %s UTC, in Wine %s" % (time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime()), wine_time))


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


wait_new_window = g.wait_new_window


def answer_box(setup, title, key, timeout=60):
    """Waits for a message box of the setup and presses `key` in it; True when it was there."""
    box = setup.wait_window(title, timeout)
    if box is None:
        return False
    g.press_key(box, key)
    return True


class ReleaseServer:
    """nginx serving a copy of the package at `path` (the release path unless told), from its own
    folder; `url` is over TLS with `https` (certificates from `certs`, a folder of
    tools/release-server). Given a `root` that already holds the package, it serves that folder;
    without `etag` it sends no ETag."""

    def __init__(self, work, package, port=None, https=False, certs=None, root=None, state=None, etag=True,
                 path=RELEASE_PATH):
        self.root = root or os.path.join(work, "www")
        self.state = state or os.path.join(work, "nginx")
        if root is None:
            os.makedirs(os.path.join(self.root, os.path.dirname(path)), exist_ok=True)
            shutil.copy(package, os.path.join(self.root, path))
        env = dict(os.environ)
        if not etag:
            env["ZENKA_RELEASE_SERVER_ETAG"] = "off"
        if port:
            env["ZENKA_RELEASE_SERVER_PORT"] = str(port)
        if certs:
            env["ZENKA_RELEASE_SERVER_CERTS"] = certs
        out = subprocess.run([os.path.join(SOURCE_DIR, "tools", "release-server"), "start"] +
                             (["--https"] if https else []) + [self.root, self.state],
                             capture_output=True, text=True, check=True, env=env,
                             stdin=subprocess.DEVNULL).stdout.strip()
        self.url = out + path
        self.http_base = "http://127.0.0.1:%s/" % open(os.path.join(self.state, "port")).read().strip()

    def log_lines(self):
        log = os.path.join(self.state, "access.log")
        if not os.path.exists(log):
            return []
        return [line.rstrip("\n").split("\t") for line in open(log)]

    def requests(self, fields=5):
        """[(uri, range, user agent, status, bytes[, scheme])] in the order they were served."""
        return [tuple(line[:fields]) for line in self.log_lines()]

    def if_ranges(self):
        """The If-Range header of each request ("-" when it had none), in the same order."""
        import re
        # nginx writes a quote as \x22.
        return [re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), fields[6]) if len(fields) > 6
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

    def __init__(self, work, package, certs=None):
        self.state = os.path.join(work, "faults")
        self.package = package
        tls = ["--tls", os.path.join(certs, "server.pem"), os.path.join(certs, "server.key")] if certs else []
        port = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "tools", "fault_server.py"), "start",
                               self.state] + tls, capture_output=True, text=True, check=True,
                              stdin=subprocess.DEVNULL).stdout.strip()
        self.base = "http://127.0.0.1:%s" % port.split()[-1]
        self.url = self.base + "/f/e2e"
        if certs:  # the same scenario over TLS; control and log stay on the plain port
            self.tls_url = "https://localhost:%s/f/e2e" % open(os.path.join(self.state, "tls-port")).read().strip()

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


def trusted_certificates(machine):
    """Folder of a test CA that the prefix trusts and of a localhost certificate it signed; made on
    first use and kept in the prefix so that every case (and run) shares the one CA. Whether the
    prefix still trusts it is asked of the registry each time: a marker file alone would outlive a
    registry that lost the key, and every case after would fail for a reason none of them names."""
    certs = os.path.join(machine.prefix, "test-ca")
    marker = os.path.join(certs, "trusted")  # holds the Root store key of the CA
    key = open(marker).read().strip() if os.path.exists(marker) else ""
    if not key or machine.wine("reg", "query", key, "/v", "Blob").returncode != 0:
        ca = subprocess.run([os.path.join(SOURCE_DIR, "tools", "release-server"), "certs", certs],
                            capture_output=True, text=True, check=True, stdin=subprocess.DEVNULL).stdout.strip()
        key = subprocess.run([os.path.join(SOURCE_DIR, "tools", "trust-ca"), machine.prefix, ca], capture_output=True,
                             text=True, check=True, stdin=subprocess.DEVNULL).stdout.strip()
        with open(marker, "w") as out:
            out.write(key + "\n")
    return certs


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


SKIPPED = 77  # the exit code CTest shows as "skipped" (SKIP_RETURN_CODE)


class SmallDrive:
    """Drive LETTER: of the prefix on a tmpfs of `size` bytes, for the disk-full and read-only
    faults that only a real file system produces. Needs root (mount); without it the case is
    skipped. Mounted and mapped on entry; unmounted and unmapped on every way out, SIGTERM and
    SIGHUP included. A mount that a run killed outright left behind is removed by the next one, so
    the mount point is fixed per prefix and letter.
    """

    def __init__(self, machine, size, letter="q", read_only=False):
        self.size = size
        self.read_only = read_only
        self.letter = letter.upper()
        self.mount_point = os.path.join(machine.prefix, "e2e-drives", letter.lower())
        self.link = os.path.join(machine.prefix, "dosdevices", letter.lower() + ":")
        self.previous_handlers = {}

    def __enter__(self):
        if os.geteuid() != 0:
            print("skipped: a small disk is a tmpfs mount, and mounting needs root")
            sys.exit(SKIPPED)
        for signum in (signal.SIGTERM, signal.SIGHUP):
            self.previous_handlers[signum] = signal.signal(signum, self._interrupted)
        try:
            self._remove()  # what a killed run may have left
            os.makedirs(self.mount_point, exist_ok=True)
            options = "size=%d,mode=0777%s" % (self.size, ",ro" if self.read_only else "")
            subprocess.run(["mount", "-t", "tmpfs", "-o", options, "zenka-e2e", self.mount_point], check=True,
                           capture_output=True, text=True)
            os.symlink(self.mount_point, self.link)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        self._remove()
        for signum, handler in self.previous_handlers.items():
            signal.signal(signum, handler)
        self.previous_handlers = {}

    def resize(self, size):
        """A bigger (or smaller) disk with the same files on it."""
        subprocess.run(["mount", "-o", "remount,size=%d" % size, self.mount_point], check=True,
                       capture_output=True, text=True)
        self.size = size

    @staticmethod
    def _interrupted(signum, frame):
        raise SystemExit(128 + signum)  # unwinds through __exit__

    def _remove(self):
        if os.path.lexists(self.link):
            os.remove(self.link)
        for _ in range(20):
            if not os.path.ismount(self.mount_point):
                return
            # Wine may still hold a handle for a moment after its process died; detach lazily then.
            if subprocess.run(["umount", self.mount_point], capture_output=True).returncode != 0:
                subprocess.run(["umount", "-l", self.mount_point], capture_output=True)
        if os.path.ismount(self.mount_point):
            raise RuntimeError("cannot unmount %s" % self.mount_point)


def box_texts(machine):
    """{caption: text} of the message boxes open on the display, read by the box_text probe
    (ZENKA_BOX_TEXT names its exe); line breaks in a text come back as "\\n"."""
    output = subprocess.run([g.WINE_RUN, machine.prefix, os.environ["ZENKA_BOX_TEXT"]], capture_output=True,
                            stdin=subprocess.DEVNULL, timeout=60).stdout.decode("utf-8", "replace")
    boxes = {}
    for line in output.splitlines():
        caption, _, text = line.partition("\t")
        boxes[caption] = text.replace("\\n", "\n")
    return boxes
