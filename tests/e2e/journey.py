#!/usr/bin/env python3
"""End-to-end cases of a whole installation, each a command:

    journey.py CASE PREFIX SETUP_EXE PACKAGE

CASE is one of the functions below whose name starts with case_, or server_NAME for the server
journey against one of servers.SERVERS. Exit code 0 when every check passed; the checks are
printed as they are made.
"""
import copy
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request
import zipfile

import e2elib as e
import servers
from e2elib import check, g


def install(machine, target, url, digest=None):
    """One installation by clicking, through to the finished page and the close button."""
    return click_through(machine.start("--url", url, "--sha256", digest or machine.digest, "--target", target))


def click_through(setup):
    """Installs with the setup just started, through to the finished page and the close button;
    True when the finished page appeared."""
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        finished = e.wait_finished_page(setup)
        check(finished, "the finished page appears")
        if not finished:
            setup.machine.explain()
        else:
            setup.click(*e.CLOSE_BUTTON)
            check(setup.exit_code(20) == 0, "the close button ends the setup with 0")
        return finished
    finally:
        setup.kill()


def case_fresh_install(machine, work):
    target = machine.fresh_target("fresh")
    with e.ReleaseServer(work, machine.package) as server:
        install(machine, target, server.url)
        e.check_installed(machine, target)
        e.check_registered(machine, target)
        requests = server.requests()
        check(len(requests) == 1, "one request for the whole package (%d)" % len(requests))
        if requests:
            uri, ranged, agent, status, _ = requests[0]
            check(uri == "/" + e.RELEASE_PATH and status == "200", "GET of the release path answered 200")
            check(ranged == "-", "no Range header on a fresh download")
            check(agent == "ZENKA-Bootstrapper/1.0", "user agent ZENKA-Bootstrapper/1.0")


def case_second_install(machine, work):
    target = machine.fresh_target("second")
    with e.ReleaseServer(work, machine.package) as server:
        install(machine, target, server.url)
        marker = os.path.join(machine.unix_path(target), "ZENKA.exe")
        with open(marker, "wb") as damaged:
            damaged.write(b"damaged since the first install")
        install(machine, target, server.url)
        e.check_installed(machine, target)  # the damaged launcher was replaced
        e.check_registered(machine, target)


def kill_midway(machine, target, url):
    """Starts an install from `url`, kills the setup once a third of the package is on disk, and
    returns the size of the partial file it leaves."""
    partial = os.path.join(machine.unix_path(target), "payload.zip.downloading")
    size = os.path.getsize(machine.package)
    setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        deadline = time.time() + 60
        while time.time() < deadline and not (os.path.exists(partial) and os.path.getsize(partial) > size // 3):
            time.sleep(0.05)
        if time.time() >= deadline:
            machine.explain()
    finally:
        setup.kill()
    time.sleep(0.5)
    return os.path.getsize(partial) if os.path.exists(partial) else 0


def case_resume_after_kill(machine, work):
    target = machine.fresh_target("resume")
    size = os.path.getsize(machine.package)
    faults = e.FaultServer(work, machine.package)
    try:
        # Slow enough to be killed in the middle: 8 KiB every 50 ms.
        faults.scenario([{"chunk": 8192, "delay": 0.05}])
        kept = kill_midway(machine, target, faults.url)
        check(0 < kept < size, "a partial download is left after the kill (%d of %d bytes)" % (kept, size))

        faults.scenario([{}])  # now an ordinary server that honours ranges
        install(machine, target, faults.url)
        log = faults.log()
        check(len(log) >= 1 and log[0][1] == "bytes=%d-" % kept,
              "the next run asks for the rest: %s" % (log[0][1] if log else "no request"))
        e.check_installed(machine, target)
    finally:
        faults.stop()


def case_digest_mismatch(machine, work):
    target = machine.fresh_target("mismatch")
    server = e.ReleaseServer(work, machine.package)
    setup = machine.start("--url", server.url, "--sha256", "0" * 64, "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        check(e.answer_box(setup, e.ERROR_TITLE, "Return"), "the error box appears")
        check(setup.exit_code(20) == e.EXIT_INSTALL_FAILED, "the setup ends with 2 after the error")
        root = machine.unix_path(target)
        check(not os.path.exists(os.path.join(root, "payload.zip.downloading")), "the partial file is deleted")
        check(not os.path.exists(os.path.join(root, "ZENKA.exe")), "nothing was installed")
        check(machine.registry_values() is None, "no uninstall entry")
    finally:
        setup.kill()
        server.stop()


def case_not_found(machine, work):
    target = machine.fresh_target("notfound")
    server = e.ReleaseServer(work, machine.package)
    setup = machine.start("--url", server.url.replace("ZENKA-latest-full.zip", "missing.zip"), "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        check(e.answer_box(setup, e.ERROR_TITLE, "Return"), "the error box appears")
        check(setup.exit_code(20) == e.EXIT_INSTALL_FAILED, "the setup ends with 2 after the error")
        statuses = [request[3] for request in server.requests()]
        check(statuses == ["404"], "one request, answered 404 (%s)" % statuses)
        check(not os.path.exists(os.path.join(machine.unix_path(target), "ZENKA.exe")), "nothing was installed")
    finally:
        setup.kill()
        server.stop()


def case_server_comes_up_before_retry(machine, work):
    target = machine.fresh_target("comesup")
    port = e.free_port()
    url = "http://127.0.0.1:%d/%s" % (port, e.RELEASE_PATH)
    setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
    server = None
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        box = setup.wait_window(e.NETWORK_TITLE, 60)  # six refused connections, five 2 s pauses
        check(box is not None, "the network-error box appears while the server is down")
        server = e.ReleaseServer(work, machine.package, port=port)
        if box is not None:
            g.press_key(box, "Return")  # Retry is the default button
        finished = e.wait_finished_page(setup)
        check(finished, "after Retry the installation finishes")
        if finished:
            setup.click(*e.CLOSE_BUTTON)
            check(setup.exit_code(20) == 0, "the close button ends the setup with 0")
        e.check_installed(machine, target)
        check(len(server.requests()) == 1, "one request once the server is up")
    finally:
        setup.kill()
        if server:
            server.stop()


def case_cancel_in_network_box(machine, work):
    target = machine.fresh_target("cancel")
    root = machine.unix_path(target)
    os.makedirs(root)
    partial = os.path.join(root, "payload.zip.downloading")
    head = open(machine.package, "rb").read(50000)
    with open(partial, "wb") as out:
        out.write(head)
    url = "http://127.0.0.1:%d/%s" % (e.free_port(), e.RELEASE_PATH)
    setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        check(e.answer_box(setup, e.NETWORK_TITLE, "Escape"), "the network-error box appears")
        check(setup.exit_code(20) == e.EXIT_NETWORK_CANCELLED, "Cancel ends the setup with 4")
        check(os.path.exists(partial) and open(partial, "rb").read() == head, "the partial download is kept as it was")
    finally:
        setup.kill()


def https_request_checks(requests, expected):
    """The release server's log, (uri, range, status, scheme) per request, is `expected`."""
    seen = [(uri, ranged, status, scheme) for uri, ranged, agent, status, _, scheme in requests]
    check(seen == expected, "requests %s" % seen)
    check(all(request[2] == "ZENKA-Bootstrapper/1.0" for request in requests), "every request has our user agent")


def case_https_fresh_install(machine, work):
    target = machine.fresh_target("https")
    with e.ReleaseServer(work, machine.package, https=True, certs=e.trusted_certificates(machine)) as server:
        check(server.url.startswith("https://localhost:"), "the package is at %s" % server.url)
        install(machine, target, server.url)
        e.check_installed(machine, target)
        e.check_registered(machine, target)
        https_request_checks(server.requests(fields=6), [("/" + e.RELEASE_PATH, "-", "200", "https")])


def case_https_redirect_from_http(machine, work):
    target = machine.fresh_target("redirect")
    with e.ReleaseServer(work, machine.package, https=True, certs=e.trusted_certificates(machine)) as server:
        install(machine, target, server.http_base + "to-https/" + e.RELEASE_PATH)
        e.check_installed(machine, target)
        https_request_checks(server.requests(fields=6), [("/to-https/" + e.RELEASE_PATH, "-", "301", "http"),
                                                        ("/" + e.RELEASE_PATH, "-", "200", "https")])


def case_https_resume_after_kill(machine, work):
    target = machine.fresh_target("httpsresume")
    partial = os.path.join(machine.unix_path(target), "payload.zip.downloading")
    size = os.path.getsize(machine.package)
    faults = e.FaultServer(work, machine.package, certs=e.trusted_certificates(machine))
    try:
        faults.scenario([{"chunk": 8192, "delay": 0.05}])  # slow enough to be killed in the middle
        kept = kill_midway(machine, target, faults.tls_url)
        check(0 < kept < size, "a partial download is left after the kill (%d of %d bytes)" % (kept, size))
        check(open(partial, "rb").read() == open(machine.package, "rb").read(kept), "it is the package's beginning")

        faults.scenario([{}])
        install(machine, target, faults.tls_url)
        ranges = [request[1] for request in faults.log()]
        check(ranges == ["bytes=%d-" % kept], "the next run asks only for the rest: %s" % ranges)
        e.check_installed(machine, target)
    finally:
        faults.stop()


def case_https_body_broken_off(machine, work):
    target = machine.fresh_target("httpsbroken")
    half = os.path.getsize(machine.package) // 2
    faults = e.FaultServer(work, machine.package, certs=e.trusted_certificates(machine))
    try:
        # The connection is cut after half the body, without TLS's closing message.
        faults.scenario([{"break_after": half}, {}])
        install(machine, target, faults.tls_url)
        ranges = [request[1] for request in faults.log()]
        check(ranges == ["-", "bytes=%d-" % half], "continued from where the body broke off: %s" % ranges)
        e.check_installed(machine, target)
    finally:
        faults.stop()


def https_refused(machine, name, server, url):
    """A run whose TLS handshake must fail: no request gets through, the network-error box opens
    (answered with Cancel), nothing is installed and the partial download stays as it was."""
    target = machine.fresh_target(name)
    root = machine.unix_path(target)
    os.makedirs(root)
    partial = os.path.join(root, "payload.zip.downloading")
    head = open(machine.package, "rb").read(50000)
    with open(partial, "wb") as out:
        out.write(head)
    setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        check(e.answer_box(setup, e.NETWORK_TITLE, "Escape"), "the network-error box appears")
        check(setup.exit_code(20) == e.EXIT_NETWORK_CANCELLED, "Cancel ends the setup with 4")
        check(server.requests() == [], "no request got through (%d)" % len(server.requests()))
        check(open(partial, "rb").read() == head, "the partial download is kept as it was")
        check(not os.path.exists(os.path.join(root, "ZENKA.exe")), "nothing was installed")
        check(machine.registry_values() is None, "no uninstall entry")
    finally:
        setup.kill()


def case_https_untrusted_ca(machine, work):
    with e.ReleaseServer(work, machine.package, https=True, certs=os.path.join(work, "untrusted")) as server:
        https_refused(machine, "untrusted", server, server.url)


def case_https_name_not_in_certificate(machine, work):
    # The certificate also lists IP 127.0.0.1, yet a name is checked only against its DNS names.
    with e.ReleaseServer(work, machine.package, https=True, certs=e.trusted_certificates(machine)) as server:
        https_refused(machine, "wrongname", server, server.url.replace("//localhost:", "//127.0.0.1:"))


# ---- real disk faults, on small tmpfs drives (root only) ----

WRITE_ERROR = "Ошибка записи файла на диск (недостаточно места или ошибка доступа)."
READ_ONLY_CODE = 5  # Wine reports a read-only file system as access denied


def generated_package(machine, work, name, extra):
    """A package of the sample package's files plus `extra` ({relative path: bytes}), always the
    same bytes; returns a Machine that installs it."""
    sys.path.insert(0, os.path.join(e.SOURCE_DIR, "tools"))
    from make_package import make_package
    tree = os.path.join(work, name)
    with zipfile.ZipFile(machine.package) as archive:
        archive.extractall(tree)
    for relative, data in extra.items():
        path = os.path.join(tree, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
    package = os.path.join(work, name + ".zip")
    make_package(tree, package)
    return e.Machine(machine.prefix, machine.exe, package)


def fails_with(machine, url, target, message, code=e.EXIT_INSTALL_FAILED):
    """One run that must end in the error box showing exactly `message`, then exit code `code`."""
    setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
    try:
        setup.attach()
        setup.click(*e.INSTALL_BUTTON)
        box = setup.wait_window(e.ERROR_TITLE, 90)
        check(box is not None, "the error box appears")
        if box is None:
            return
        shown = e.box_texts(machine).get("Ошибка установки ZENKA")
        check(shown == message, "the box says %r (shown: %r)" % (message, shown))
        g.press_key(box, "Return")
        check(setup.exit_code(20) == code, "the setup ends with %d after the error" % code)
    finally:
        setup.kill()


def case_disk_full_download(machine, work):
    whole = open(machine.package, "rb").read()
    disk = 128 << 10  # half the package
    machine.forget_installation()
    try:
        with e.SmallDrive(machine, disk) as drive, e.ReleaseServer(work, machine.package) as server:
            target = drive.letter + ":\\ZENKA"
            fails_with(machine, server.url, target, WRITE_ERROR)
            partial = machine.unix_path(target + "\\payload.zip.downloading")
            kept = open(partial, "rb").read() if os.path.exists(partial) else b""
            check(0 < len(kept) < len(whole) and whole.startswith(kept),
                  "the partial file is a byte-exact prefix of the package (%d of %d bytes)" % (len(kept), len(whole)))

            drive.resize(4 * len(whole) + (1 << 20))  # the package, its unpacked files and some room
            install(machine, target, server.url)
            requests = server.requests()
            check(len(requests) == 2 and requests[1][1] == "bytes=%d-" % len(kept) and requests[1][3] == "206",
                  "the run on the bigger disk asks for the rest: %s" % [r[1:4] for r in requests])
            e.check_installed(machine, target)
            e.check_registered(machine, target)
    finally:
        machine.forget_installation()


def case_disk_full_extraction(machine, work):
    zeros = generated_package(machine, work, "zeros", {"data/zeros.bin": bytes(16 << 20)})  # packs to ~16 KiB
    package_size = os.path.getsize(zeros.package)
    unpacked = sum(len(data) for name, data in e.package_entries(zeros.package).items() if name != "data/zeros.bin")
    zeros.forget_installation()
    # Room for the download and every other file, not for the 16 MiB one.
    with e.SmallDrive(zeros, package_size + unpacked + (1 << 20)) as drive, \
            e.ReleaseServer(work, zeros.package) as server:
        target = drive.letter + ":\\ZENKA"
        fails_with(zeros, server.url, target, "Ошибка извлечения файла: zeros.bin (код: 31)")
        check(zeros.registry_values() is None, "no uninstall entry")


def case_read_only_target(machine, work):
    machine.forget_installation()
    with e.SmallDrive(machine, 64 << 10, read_only=True) as drive:
        target = drive.letter + ":\\ZENKA"
        url = "http://127.0.0.1:%d/%s" % (e.free_port(), e.RELEASE_PATH)
        fails_with(machine, url, target, "Не удалось создать директорию установки: %s\n%d" % (target, READ_ONLY_CODE))
        check(not os.path.exists(machine.unix_path(target)), "nothing was created")


def installed_for_uninstall(machine, work, name, foreign=()):
    """Installs into a fresh folder that already holds the files `foreign` (relative unix paths)."""
    target = machine.fresh_target(name)
    for relative in foreign:
        path = os.path.join(machine.unix_path(target), relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.write("not ZENKA's\n")
    with e.ReleaseServer(work, machine.package) as server:
        ok = install(machine, target, server.url)
    e.check_registered(machine, target)
    return target if ok else None


def wait_removed(machine, target, timeout=40):
    deadline = time.time() + timeout
    while time.time() < deadline and os.path.exists(machine.unix_path(target)):
        time.sleep(0.5)


def case_uninstall_quiet(machine, work):
    # Another game's save and a note were there before, a mod came after: exactly those stay.
    foreign = ["Other/save.dat", "notes.txt"]
    target = installed_for_uninstall(machine, work, "unquiet", foreign)
    if target is None:
        return
    folder = machine.unix_path(target)
    os.makedirs(os.path.join(folder, "data", "user-mods"))
    with open(os.path.join(folder, "data", "user-mods", "mod.dat"), "w") as out:
        out.write("mod\n")
    command = (machine.registry_values() or {}).get("QuietUninstallString", ("", ""))[1]
    exe, _, options = command.partition('" ')
    result = machine.wine(exe.strip('"'), *options.split(), timeout=60)
    check(result.returncode == 0, "the registered quiet command line succeeds (%d)" % result.returncode)
    wait_removed(machine, target + "\\zenka-updater.exe")
    left = sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, files in os.walk(folder) for name in files)
    expected = sorted(foreign + ["data/user-mods/mod.dat"])
    check(left == expected, "exactly the files ZENKA did not install are left: %s" % left)
    for link in machine.links:
        check(not os.path.exists(link), "link %s is gone" % os.path.basename(os.path.dirname(link)))
    check(machine.registry_values() is None, "the uninstall key is gone")


def case_uninstall_through_wine(machine, work):
    target = installed_for_uninstall(machine, work, "unwine")
    if target is None:
        return
    # Wine's own uninstaller runs the registered UninstallString, as Windows' settings page would.
    runner = g.Setup(machine.prefix, "uninstaller", "--remove", "ZENKA")
    try:
        box = runner.wait_window("^ZENKA - Удаление$", 60)
        check(box is not None, "the updater asks for confirmation")
        if box is not None:
            g.press_key(box, "shift+Tab")  # from No, the default, to Yes
            g.press_key(box, "Return")
            done = e.wait_new_window("^ZENKA - Удаление$", box)
            if done is not None:
                g.press_key(done, "Return")  # the result box
        wait_removed(machine, target)
        e.check_nothing_left(machine, target, "uninstall through Wine's uninstaller")
    finally:
        runner.kill()


# ---- an update, and a target that is a link ----

def tree_files(root):
    """Sorted relative unix paths of the files below `root`."""
    return sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, files in os.walk(root) for name in files)


def case_update_removes_old_files(machine, work):
    old_only = {"old-plugin.dll": b"MZ old plugin", "data/old.cfg": b"old=1\n", "lang/ru.txt": b"ru\n"}
    old = generated_package(machine, work, "version1", old_only)
    target = machine.fresh_target("update")
    root = machine.unix_path(target)
    with e.ReleaseServer(work, old.package) as server:
        install(old, target, server.url)
    check(all(os.path.exists(os.path.join(root, name)) for name in old_only), "version 1 installed its extra files")
    user_files = {"data/user.cfg": b"mine\n", "saves/slot1.sav": b"progress\n"}
    for relative, data in user_files.items():
        os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
        with open(os.path.join(root, relative), "wb") as out:
            out.write(data)
    with e.ReleaseServer(work, machine.package) as server:
        install(machine, target, server.url)
    e.check_installed(machine, target)
    expected = sorted(list(e.package_entries(machine.package)) + list(user_files))
    check(tree_files(root) == expected, "only version 2's files and the user's are left: %s" % tree_files(root))
    check(not os.path.exists(os.path.join(root, "lang")), "the folder version 1 alone had is gone")


def case_target_is_link(machine, work):
    target = machine.fresh_target("link")
    outside = os.path.join(work, "elsewhere")
    os.makedirs(outside)
    with open(os.path.join(outside, "ZENKA.exe"), "wb") as out:
        out.write(b"not to be overwritten")
    os.makedirs(os.path.dirname(machine.unix_path(target)))
    os.symlink(outside, machine.unix_path(target))
    url = "http://127.0.0.1:%d/%s" % (e.free_port(), e.RELEASE_PATH)
    fails_with(machine, url, target, "Папка «%s» — это ссылка на другое место (точка соединения или символическая "
               "ссылка). Установщик ничего в неё не записал." % target, code=e.EXIT_FOLDER_REFUSED)
    check(tree_files(outside) == ["ZENKA.exe"] and
          open(os.path.join(outside, "ZENKA.exe"), "rb").read() == b"not to be overwritten",
          "the folder the link points at is unchanged")
    check(machine.registry_values() is None, "no uninstall entry")


def case_data_link_before_reinstall(machine, work):
    # An ordinary user swaps the installed data\ for a link to a folder elsewhere; the next run of
    # the elevated setup must not write through it.
    target = machine.fresh_target("datalink")
    outside = machine.unix_path("C:\\e2e\\datalink\\outside")
    os.makedirs(outside)
    with open(os.path.join(outside, "config.ini"), "wb") as out:
        out.write(b"not ZENKA's\n")
    with e.ReleaseServer(work, machine.package) as server:
        if not install(machine, target, server.url):
            return
        data = os.path.join(machine.unix_path(target), "data")
        shutil.rmtree(data)
        os.symlink(outside, data)
        fails_with(machine, server.url, target, "Папка «%s\\data» — это ссылка на другое место (точка соединения "
                   "или символическая ссылка). Установщик ничего в неё не записал." % target)
    check(tree_files(outside) == ["config.ini"] and
          open(os.path.join(outside, "config.ini"), "rb").read() == b"not ZENKA's\n",
          "the folder the link points at is unchanged")
    check(os.path.islink(data), "the link stays")
    check(os.path.isfile(os.path.join(machine.unix_path(target), "payload.zip")), "the package is kept")


# A download broken off by a kill, and a new release published at the same address before the next
# run: the next run must install the new release whole, never the old start spliced onto it.

def release_validators(server):
    """The ETag and Last-Modified nginx sends for the release."""
    reply = urllib.request.urlopen(urllib.request.Request(server.url, method="HEAD"))
    return reply.headers["ETag"], reply.headers["Last-Modified"]


def newer_release(machine, work):
    """A Machine whose package is a new release: one more file in front, so every byte moves."""
    newer = copy.copy(machine)
    newer.package = os.path.join(work, "newer.zip")
    with zipfile.ZipFile(newer.package, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("release-notes.txt", "".join("release 2.1.1, line %d\n" % i for i in range(2000)))
        for name, data in e.package_entries(machine.package).items():
            archive.writestr(name, data)
    newer.digest = hashlib.sha256(open(newer.package, "rb").read()).hexdigest()
    return newer


def case_new_release_after_kill(machine, work):
    target = machine.fresh_target("newrelease")
    validator_file = os.path.join(machine.unix_path(target), "payload.zip.downloading.validator")
    with e.ReleaseServer(work, machine.package) as server:
        etag, modified = release_validators(server)
        # nginx logs the HEAD a moment after answering it: counted once it is there.
        asked_before = len(servers.release_requests(server, 0, 1))
        faults = e.FaultServer(work, machine.package)
        try:
            # A slow way to the same release: the same file and nginx's validators for it.
            faults.scenario([{"chunk": 8192, "delay": 0.05, "etag": etag, "last_modified": modified}])
            kept = kill_midway(machine, target, faults.url)
        finally:
            faults.stop()
        check(0 < kept < os.path.getsize(machine.package), "a partial download is left after the kill (%d bytes)" % kept)
        check(os.path.exists(validator_file) and open(validator_file).read() == etag,
              "the release's ETag is kept beside it")

        newer = newer_release(machine, work)
        published = os.path.join(server.root, e.RELEASE_PATH)
        shutil.copy(newer.package, published + ".tmp")
        os.replace(published + ".tmp", published)
        # Without --sha256, as by default: nothing but If-Range stands between the two releases.
        setup = machine.start("--url", server.url, "--target", target)
        try:
            setup.attach()
            setup.click(*e.INSTALL_BUTTON)
            finished = e.wait_finished_page(setup)
            check(finished, "the finished page appears")
            if finished:
                setup.click(*e.CLOSE_BUTTON)
        finally:
            setup.kill()
        requests = server.requests()[asked_before:]
        if_ranges = server.if_ranges()[asked_before:]
        check(len(requests) == 1, "one request (%d)" % len(requests))
        if requests:
            check(requests[0][1] == "bytes=%d-" % kept, "it asks for the rest: %s" % requests[0][1])
            check(if_ranges[0] == etag, "under If-Range with the kept ETag: %s" % if_ranges[0])
            check(requests[0][3] == "200", "nginx answers with the whole new release (%s)" % requests[0][3])
        e.check_installed(newer, target)


# A publisher's release: scripts/release builds the setup and its package for the publisher's own
# address, site and version into a build folder of its own (ZENKA_PUBLISHER_BUILD), which the
# first case makes without holding the display; the second installs from it.
PUBLISHER_PATH = "mirror/zenka/3.4.5/zenka-full.zip"
PUBLISHER_SITE = "https://games.example.org"
PUBLISHER_VERSION = "3.4.5"


def case_publisher_release_build(machine, work):
    build = os.environ["ZENKA_PUBLISHER_BUILD"]
    if os.path.exists(os.path.join(build, "url")):
        os.remove(os.path.join(build, "url"))
    url = "http://127.0.0.1:%d/%s" % (e.free_port(), PUBLISHER_PATH)
    made = subprocess.run([os.path.join(e.SOURCE_DIR, "scripts", "release"), "--allow-dirty", "--build-dir", build,
                           "--url", url, "--site", PUBLISHER_SITE, "--version", PUBLISHER_VERSION,
                           os.path.join(build, "release")],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL)
    check(made.returncode == 0, "scripts/release --url %s --site %s --version %s" % (url, PUBLISHER_SITE,
                                                                                    PUBLISHER_VERSION))
    if made.returncode != 0:
        print(made.stdout + made.stderr)
        return
    with open(os.path.join(build, "url"), "w") as kept:
        kept.write(url)


def case_publisher_release(machine, work):
    build = os.environ["ZENKA_PUBLISHER_BUILD"]
    url = open(os.path.join(build, "url")).read()
    release = os.path.join(build, "release")
    published = e.Machine(machine.prefix, os.path.join(release, "zenka_setup.exe"),
                          os.path.join(release, "ZENKA-latest-full.zip"))
    target = "C:\\Program Files\\ZENKA"  # where the setup installs without --target
    shutil.rmtree(published.unix_path(target), ignore_errors=True)
    published.forget_installation()
    try:
        with e.ReleaseServer(work, published.package, port=urllib.parse.urlsplit(url).port,
                             path=PUBLISHER_PATH) as server:
            click_through(published.start())  # with no option at all
            requests = server.requests()
            check([(uri, status) for uri, _, _, status, _ in requests] == [("/" + PUBLISHER_PATH, "200")],
                  "the server was asked once for the publisher's path: %s" % requests)
        e.check_installed(published, target)
        values = published.registry_values() or {}
        for name, expected in (("URLInfoAbout", PUBLISHER_SITE), ("HelpLink", PUBLISHER_SITE),
                               ("DisplayVersion", PUBLISHER_VERSION)):
            check(values.get(name) == ("REG_SZ", expected), "%s is %s (%s)" % (name, expected, values.get(name)))
    finally:
        shutil.rmtree(published.unix_path(target), ignore_errors=True)
        published.forget_installation()


# ---- the servers publishers use: one journey, run against each (servers.SERVERS) ----

def case_server(machine, work, name):
    """Against one real server: a fresh install, a download killed in the middle and resumed (a
    206 from the right byte under If-Range), and a new release published after a kill (a 200 and
    the whole new release)."""
    target = machine.fresh_target("server-" + name)
    root = machine.unix_path(target)
    newer = newer_release(machine, work)
    with servers.start(name, work, machine) as server:
        install(machine, target, server.url)
        e.check_installed(machine, target)
        first = servers.release_requests(server, 0, 1)
        check([(r[1], r[3]) for r in first] == [("-", "200")], "%s: one request, no Range, 200: %s" % (name, first))

        for stage, release in (("resume", machine), ("new release", newer)):
            shutil.rmtree(root)
            asked = len(server.requests())
            server.link.slow = True
            kept = kill_midway(machine, target, server.url)
            server.link.slow = False
            check(0 < kept < os.path.getsize(machine.package), "%s: killed with %d bytes kept" % (name, kept))
            validator_file = os.path.join(root, "payload.zip.downloading.validator")
            validator = open(validator_file).read() if os.path.exists(validator_file) else None
            if release is newer:
                server.publish(newer.package)
            asked = len(servers.release_requests(server, 0, asked + 1))
            install(release, target, server.url)
            requests = servers.release_requests(server, asked, 1)
            ranged = [r for r in requests if r[1] != "-"]
            expected = "206" if release is machine else "200"
            check(len(ranged) == 1 and ranged[0][1] == "bytes=%d-" % kept and ranged[0][3] == expected,
                  "%s, %s: the rest asked for and answered %s: %s" % (name, stage, expected, requests))
            check(validator is not None and len(ranged) == 1 and ranged[0][2] == validator,
                  "%s, %s: under If-Range with the validator kept at the kill, %s: %s" %
                  (name, stage, validator, ranged[0][2] if ranged else None))
            e.check_installed(release, target)
        if server.proxy:
            proxied = server.proxied()
            check(len(proxied) >= 5, "%s: every run went through the proxy: %s" % (name, proxied))
        print("answers:", servers.describe_answers(server))


# ---- networks with a proxy: where the route comes from, and a proxy that asks for a password ----

PROMPT_TITLE = "^ZENKA Setup - Прокси-сервер$"
DEAD = "127.0.0.1:9"  # nothing listens there: a route that goes to it never gets through
# name: the user's settings ({squid} is Squid's address, {pac} the script nginx serves, {nobody} a
# script address nobody answers), the script, whether Squid is the machine's proxy too, whether the
# run goes straight to nginx, what is typed into the password prompt (None: Escape), and https.
# Every bypass list names 127.0.0.1: the other tests in the prefix talk to their servers by address.
PROXY_ROWS = {
    "user_fixed": dict(user=dict(proxy="{squid}", bypass="127.0.0.1")),
    "user_per_scheme": dict(user=dict(proxy="https=%s;http=http://{squid}" % DEAD, bypass="127.0.0.1")),
    "user_bypass": dict(user=dict(proxy=DEAD, bypass="127.0.0.1 *host"), direct=True),
    "pac_to_squid": dict(user=dict(pac="{pac}", detect=True),
                         script='host == "%s" ? "PROXY {squid}" : "DIRECT"' % servers.RELEASE_HOST),
    "pac_direct": dict(user=dict(proxy=DEAD, bypass="127.0.0.1", pac="{pac}"), script='"DIRECT"', direct=True),
    "pac_nobody": dict(user=dict(proxy="{squid}", bypass="127.0.0.1", pac="{nobody}")),
    "machine_wins": dict(user=dict(proxy=DEAD, bypass="127.0.0.1"), machine=True),
    "basic_right": dict(user=dict(proxy="{squid}", bypass="127.0.0.1"), typed=["right"]),
    "basic_wrong_then_right": dict(user=dict(proxy="{squid}", bypass="127.0.0.1"), typed=["wrong", "right"]),
    "basic_escape": dict(user=dict(proxy="{squid}", bypass="127.0.0.1"), typed=[None]),
    "basic_https": dict(user=dict(proxy="{squid}", bypass="127.0.0.1"), typed=["right"], https=True),
}
PROXY_USER, PROXY_PASSWORD = "ivanova", "Night-3 ok"


def type_into_prompt(setup, password):
    """Answers the password prompt: the name goes where the focus starts, Tab, the password, Enter;
    None presses Escape. True when the prompt was there."""
    prompt = setup.wait_window(PROMPT_TITLE, 60)
    check(prompt is not None, "the password prompt appears")
    if prompt is None:
        return False
    g.press_key(prompt, "Home")  # focuses it
    for keys in ([PROXY_USER, "Tab", password, "Return"] if password is not None else ["Escape"]):
        if keys in ("Tab", "Return", "Escape"):
            subprocess.run(["xdotool", "key", keys], check=True)
        else:
            subprocess.run(["xdotool", "type", "--delay", "40", keys], check=True)
        time.sleep(0.3)
    # Under Wine 10 the prompt for the next try can be up before a look finds this one gone.
    check(setup.wait_gone(PROMPT_TITLE, 10, window=prompt), "the prompt closes")
    return True


def case_proxy(machine, work, name):
    row = PROXY_ROWS[name]
    target = machine.fresh_target("proxy-" + name)
    users = {PROXY_USER: PROXY_PASSWORD} if "typed" in row else None
    server = servers.Squid(work, machine.package, name, machine, connect=row.get("https", False),
                           machine_proxy=row.get("machine", False), users=users)
    try:
        if "script" in row:
            with open(os.path.join(server.root, "proxy.pac"), "w") as out:
                out.write("function FindProxyForURL(url, host) { return %s; }\n" %
                          row["script"].replace("{squid}", server.proxy))
        fill = dict(squid=server.proxy, pac=server.nginx.http_base + "proxy.pac",
                    nobody="http://127.0.0.1:%d/proxy.pac" % e.free_port())
        servers.set_user_proxy(machine, **{k: v.format(**fill) if isinstance(v, str) else v
                                           for k, v in row["user"].items()})
        url = server.direct_url if row.get("direct") else server.url
        started = time.time()
        setup = machine.start("--url", url, "--sha256", machine.digest, "--target", target)
        try:
            setup.attach()
            setup.click(*e.INSTALL_BUTTON)
            typed = row.get("typed", [])
            for password in typed:
                type_into_prompt(setup, {"right": PROXY_PASSWORD, "wrong": "not-it"}.get(password))
            if typed[-1:] == [None]:
                check(setup.wait_window(e.ERROR_TITLE, 30) is not None, "the refusal box appears")
                texts = list(e.box_texts(machine).values())
                check(any(text.endswith("HTTP: 407") for text in texts), "it names the 407: %s" % texts)
                check(e.answer_box(setup, e.ERROR_TITLE, "Return"), "the box is answered")
                check(setup.exit_code(20) == e.EXIT_INSTALL_FAILED, "the setup ends as failed")
            else:
                finished = e.wait_finished_page(setup)
                check(finished, "%s: the finished page appears" % name)
                if not finished:
                    machine.explain()
                else:
                    setup.click(*e.CLOSE_BUTTON)
                    check(setup.exit_code(20) == 0, "the close button ends the setup with 0")
        finally:
            setup.kill()
        print("took %.1f s to the end of the run" % (time.time() - started))
        if typed[-1:] != [None]:
            e.check_installed(machine, target)
        proxied = server.proxied()
        if row.get("direct"):
            check(proxied == [] and len(server.nginx.requests()) >= 1,
                  "%s: straight to nginx, nothing through Squid: %s" % (name, proxied))
        else:
            check(len(proxied) >= 1, "%s: through Squid: %s" % (name, proxied))
        if users:
            statuses = [entry[3] for entry in proxied]
            check("407" in statuses, "%s: Squid asked for the password: %s" % (name, statuses))
            # Wine keeps the registry in memory and writes it out a moment later.
            machine.wine("reg", "query", servers.USER_SETTINGS_KEY)
            time.sleep(1)
            for hive in ("user.reg", "system.reg"):
                text = open(os.path.join(machine.prefix, hive), encoding="utf-8", errors="replace").read()
                check(PROXY_PASSWORD not in text and "not-it" not in text, "no password in %s" % hive)
    finally:
        servers.set_user_proxy(machine, remove=True)
        server.stop()


def main(argv):
    case = argv[1] if len(argv) == 5 else ""
    if case.startswith("server_") and case[len("server_"):] in servers.SERVERS:
        run = lambda machine, work: case_server(machine, work, case[len("server_"):])  # noqa: E731
    elif case.startswith("proxy_") and case[len("proxy_"):] in PROXY_ROWS:
        run = lambda machine, work: case_proxy(machine, work, case[len("proxy_"):])  # noqa: E731
    elif "case_" + case in globals():
        run = globals()["case_" + case]
    else:
        print(__doc__, file=sys.stderr)
        return 2
    machine = e.Machine(argv[2], argv[3], argv[4])
    work = tempfile.mkdtemp(prefix="zenka-e2e-")
    started = time.time()
    try:
        run(machine, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        print("took %.1f s" % (time.time() - started))
    e.finish()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
