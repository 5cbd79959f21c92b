"""No planted DLL runs in the setup, the launcher or the uninstaller.

    planting.py PREFIX SETUP_EXE PACKAGE PLANTED_DLL_OBJECT

The setup runs elevated from a download folder that any web page can drop files into. A copy of it
goes into a Downloads folder, which is also its working directory; beside it, in the installation
folder and in the temporary folder, DLLs named after every DLL the programs load (PLANTED), each
forwarding its exports to the system's DLL and noting in a marker file that it ran
(planted_dll.c). Wine is told to search the program's folder first for those names, as Windows
does for every DLL that is not a KnownDLL. Then: a whole installation over HTTPS with the launch
from the finished page, the launcher started as the desktop's shell starts it, one from a local
package with the launch, and the quiet uninstall. No
planted DLL may run, except crypt32 in the setup: Wine's own winhttp loads it (a delay import of
Wine's, which Windows would look for in System32 only), shown from the loader trace.

The loader trace (WINEDEBUG=+loaddll) of every program is printed at the end: what each loaded
and from where.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import e2elib as e

check = e.check
g = e.g

# Every DLL that is no KnownDLL and that the three programs load under Wine during an installation,
# the launch and an uninstall (their loader trace), and those that Windows loads for the same
# work: the visual styles, version information, the network and TLS stack, proxy discovery.
PLANTED = """
bcrypt dwmapi rstrtmgr winhttp crypt32 uxtheme version cryptbase winnsi iphlpapi dhcpcsvc webio
schannel jsproxy secur32 sspicli dnsapi mswsock msasn1 wintrust rsaenh cryptnet netapi32 ncrypt
dpapi userenv profapi propsys windows.storage wldp cryptsp kernel.appcore powrprof textinputframework
coremessaging coreuicomponents ntmarta winmm wtsapi32 mpr wkscli srvcli netutils dwrite
""".split()
# Planted DLLs that Wine's own system DLLs load, by a static or a delay import that Wine's loader
# resolves through the program's folder whatever the program asked: the name and the Wine DLL
# that imports it. On Windows none of them would be looked for outside System32: user32 imports no
# version.dll there, and Windows applies the default DLL directories (and DependentLoadFlags) to
# the imports of its own DLLs.
# Proxy detection (DHCP, then DNS) brings in Wine's network helpers the same way.
WINE_OWN = {"version": "user32", "uxtheme": "comctl32", "crypt32": "winhttp", "secur32": "winhttp",
            "bcrypt": "crypt32", "iphlpapi": "winhttp", "dhcpcsvc": "winhttp", "dnsapi": "iphlpapi"}


def build_planted(work, machine, object_file, compiler, objdump):
    """{name: path} of one planted DLL per name, in `work`."""
    out = os.path.join(work, "planted")
    os.makedirs(out)
    system32 = os.path.join(machine.drive_c, "windows", "system32")
    for name in PLANTED:
        exports = []
        system_dll = os.path.join(system32, name + ".dll")
        if os.path.exists(system_dll):  # Windows-only names forward nothing
            table = subprocess.run([objdump, "-p", system_dll], capture_output=True, text=True).stdout
            # "[   0] Name", or from binutils 2.44 on "[   0] +base[   1]  0000 Name".
            exports = re.findall(r"^\s*\[\s*\d+\](?: \+base\[\s*\d+\]\s+[0-9a-f]+)? (\S+)$",
                                 table.split("[Ordinal/Name Pointer] Table")[-1],
                                 re.M) if "[Ordinal/Name Pointer] Table" in table else []
        definition = os.path.join(out, name + ".def")
        with open(definition, "w") as f:
            f.write("LIBRARY %s.dll\nEXPORTS\n" % name)
            for export in exports:
                f.write('  %s = "C:\\windows\\system32\\%s.%s"\n' % (export, name, export))
        subprocess.run([compiler, "-shared", "-nostdlib", "-Wl,-e,DllMain", "-o", os.path.join(out, name + ".dll"),
                        object_file, definition, "-lkernel32"], check=True)
    return {name: os.path.join(out, name + ".dll") for name in PLANTED}


def plant(planted, folder):
    os.makedirs(folder, exist_ok=True)
    for path in planted.values():
        shutil.copy(path, folder)


def markers(path):
    """{(planted DLL name, program)} of every planted DLL that ran; the marker file is then gone."""
    if not os.path.exists(path):
        return set()
    text = open(path, "rb").read().decode("utf-16-le")
    os.remove(path)
    found = set()
    for line in text.splitlines():
        dll, _, program = line.lower().replace("\\", "/").partition("\t")
        print("planted %s ran in %s" % (dll, program))
        found.add((os.path.basename(dll), os.path.basename(program)))
    return found


def loaded_by_program(trace):
    """{program: [(dll path, how)]} from a +pid,+loaddll trace, in load order per program."""
    programs = {}
    loads = {}
    for pid, path, how in re.findall(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*?)" at \S+: (\w+)',
                                     trace, re.M):
        path = path.replace("\\\\", "\\")
        if pid not in programs:  # the first module a process loads is its exe
            programs[pid] = os.path.basename(path.replace("\\", "/")).lower()
            continue
        modules = loads.setdefault(programs[pid], [])
        if (path, how) not in modules:
            modules.append((path, how))
    return loads


def wait_until(condition, timeout):
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            return False
        time.sleep(0.3)
    return True


def running(windows_path):
    """True while a process of ours runs the program at `windows_path` (Wine keeps it in argv)."""
    for cmdline in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            if windows_path.lower().encode() in open(cmdline, "rb").read().lower():
                return True
        except OSError:
            pass
    return False


def wine_own(machine, name, program, loads):
    """Why planted `name` ran in `program` though no code of ours asked for it: the Wine DLL that
    imports it was loaded there from System32, is Wine's own, and names it; else None."""
    importer = WINE_OWN.get(name[:-4])
    for loaded, _ in loads.get(program, []) if importer else []:
        if loaded.lower().startswith("c:\\windows\\") and loaded.lower().endswith("\\%s.dll" % importer):
            # The loader names a DLL as it was asked for ("COMCTL32.dll"); Wine's files are lower case.
            folder, _, file_name = machine.unix_path(loaded).rpartition("/")
            data = open(os.path.join(folder, file_name.lower()), "rb").read().lower()
            if b"wine builtin dll" in data[:0x100] and name.encode() in data:
                return "imported by Wine's %s" % loaded
    return None


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    machine = e.Machine(argv[1], argv[2], argv[3])
    work = tempfile.mkdtemp(prefix="zenka-planting-")
    started = time.time()
    compiler = os.environ.get("ZENKA_CC", "x86_64-w64-mingw32-gcc")
    objdump = os.environ.get("ZENKA_OBJDUMP", "x86_64-w64-mingw32-objdump")
    base = "C:\\e2e\\planting"
    target = machine.fresh_target("planting")
    downloads = machine.unix_path(base + "\\Downloads")
    temp = machine.unix_path(machine.wine("cmd", "/c", "echo %TEMP%").stdout.strip())
    marker_file = base + "\\markers.txt"
    env = dict(os.environ, WINEDEBUG="+pid,+loaddll", ZENKA_PLANT_MARKERS=marker_file,
               WINEDLLOVERRIDES=";".join("%s=n,b" % name for name in PLANTED) + ";winemenubuilder.exe=d")
    trace_path = os.path.join(work, "trace.txt")
    planted_temp = [os.path.join(temp, name + ".dll") for name in PLANTED]
    ran = {}
    try:
        planted = build_planted(work, machine, argv[4], compiler, objdump)
        plant(planted, downloads)
        plant(planted, machine.unix_path(target))  # the launcher's and the uninstaller's folder
        plant(planted, temp)                       # where the uninstaller's copy goes
        setup_copy = os.path.join(downloads, "zenka_setup.exe")
        shutil.copy(machine.exe, setup_copy)

        with open(trace_path, "w") as trace, \
                e.ReleaseServer(work, machine.package, https=True, certs=e.trusted_certificates(machine)) as server:
            def install_and_launch(what, *args):
                setup = g.Setup(machine.prefix, setup_copy, "--target", target, *args, cwd=downloads, env=env,
                                stderr=trace)
                try:
                    setup.attach()
                    setup.click(*e.INSTALL_BUTTON)
                    finished = e.wait_finished_page(setup)
                    check(finished, "%s: the finished page appears" % what)
                    if finished:
                        setup.click(*e.LAUNCH_BUTTON)
                        check(setup.exit_code(20) == 0, "%s: the launch ends the setup with 0" % what)
                        launcher = e.wait_new_window("^ZENKA$", None)
                        check(launcher is not None, "%s: the launcher shows its window" % what)
                        if launcher:
                            g.press_key(launcher, "alt+F4")
                            check(wait_until(lambda: not running(target + "\\ZENKA.exe"), 20),
                                  "%s: the launcher has ended" % what)
                    else:
                        g.Screenshot(keep_as="/tmp/planting-fail.png")
                finally:
                    setup.kill()
                ran[what] = markers(machine.unix_path(marker_file))

            install_and_launch("over HTTPS", "--url", server.url, "--sha256", machine.digest)
            e.check_installed(machine, target)
            # The launch button hands the launcher to the desktop's shell, so it runs with the
            # shell's environment, not this search order: started here too, as the shell starts it.
            launcher_run = subprocess.Popen([g.WINE_RUN, machine.prefix, target + "\\ZENKA.exe"], env=env,
                                            cwd=machine.unix_path(target), stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=trace)
            launcher = e.wait_new_window("^ZENKA$", None)
            check(launcher is not None, "started as the shell starts it: the launcher shows its window")
            if launcher:
                g.press_key(launcher, "alt+F4")
            check(launcher_run.wait(20) == 0, "started as the shell starts it: the launcher ends with 0")
            ran["the launcher"] = markers(machine.unix_path(marker_file))
            e.check_registered(machine, target)
            shutil.copy(machine.package, os.path.join(machine.unix_path(target), "payload.zip"))
            install_and_launch("from a local package", "--skip-download", "--sha256", machine.digest)

            uninstall = subprocess.run([g.WINE_RUN, machine.prefix, target + "\\zenka-updater.exe", "--uninstall",
                                        "--quiet"], env=env, cwd=downloads, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=trace, timeout=60)
            # The planted DLLs in the installation folder are none of the package's: they stay, and
            # with them the folder; everything the package installed goes.
            folder = machine.unix_path(target)
            left = lambda: sorted(os.listdir(folder)) if os.path.isdir(folder) else []
            foreign = sorted(name + ".dll" for name in PLANTED)
            deadline = time.time() + 40
            while time.time() < deadline and (left() != foreign or
                                              glob.glob(os.path.join(temp, "zenka-uninstall-*"))):
                time.sleep(0.5)
            check(left() == foreign, "the uninstall removed the package and kept the planted DLLs: %s" %
                  sorted(set(left()) - set(foreign)))
            check(not glob.glob(os.path.join(temp, "zenka-uninstall-*")), "the uninstaller's private folder is gone")
            ran["uninstall"] = markers(machine.unix_path(marker_file))

        loads = loaded_by_program(open(trace_path, errors="replace").read())
        print("what each program loaded, and from where (WINEDEBUG=+loaddll):")
        for program, modules in sorted(loads.items()):
            print("  %s: %s" % (program, ", ".join("%s (%s)" % (path, how) for path, how in modules)))
        check({"zenka_setup.exe", "zenka.exe", "zenka-updater.exe"} <= set(loads),
              "the trace holds the setup, the launcher and the uninstaller")
        for what, found in ran.items():
            for name, program in sorted(found):
                reason = wine_own(machine, name, program, loads)
                check(reason is not None, "%s: planted %s ran in %s: %s" % (what, name, program,
                                                                          reason or "no code of Wine's asked for it"))
        # Only the download brings in Wine's winhttp; the checksum's bcrypt is the setup's own.
        check(not any(name == "bcrypt.dll" for name, _ in ran.get("from a local package", ())),
              "from a local package: the setup's own bcrypt came from System32")
        # Wine refuses to delete a DLL that a process has loaded: the updater's planted version.dll
        # stays until its copy removes the rest.
        wine_held = ("version.dll", "zenka-updater.exe") in ran["uninstall"]
        check(uninstall.returncode == 0 or (uninstall.returncode == 5 and wine_held),
              "the quiet uninstall succeeds (%d)" % uninstall.returncode)
        check(all(os.path.exists(path) for path in planted_temp), "the planted DLLs in the temporary folder stay")
    finally:
        for path in planted_temp:
            if os.path.exists(path):
                os.remove(path)
        shutil.rmtree(machine.unix_path(base), ignore_errors=True)
        machine.forget_installation()
        shutil.rmtree(work, ignore_errors=True)
        print("took %.1f s" % (time.time() - started))
    e.finish()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
