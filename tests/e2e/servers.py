"""The servers publishers put a release behind, for the server table of the journeys
(journey.py server_NAME): each started by the test on free loopback ports with a config file of its
own in the case's temporary folder, never the system service, and stopped with the case.

Every server is reached through a SlowLink, a loopback relay that passes the bytes through
unchanged and can be made slow, so that a download can be killed in the middle of a small package.
"""
import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

import e2elib as e

SERVERS = ("nginx", "nginx_no_etag", "apache", "lighttpd", "caddy", "varnish", "squid", "squid_connect")
# Under Wine the proxy and the origin need different host names: the proxy is 127.0.0.1, the origin
# behind it localhost. Requests to 127.0.0.1 bypass the proxy, so the other tests that share the
# prefix and talk to their servers by address are not sent through it while it is set.
PROXY_SETTINGS_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
USER_SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
# A name only Squid's hosts file knows: a run that fetched from it went through Squid.
RELEASE_HOST = "release.zenka.test"


def program(name):
    """A server's program; they live in sbin, which a user's PATH may lack."""
    return shutil.which(name) or os.path.join("/usr/sbin", name)


def wait_listening(port, process=None, timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if process is not None and process.poll() is not None:
            raise RuntimeError("the server ended at start (%d)" % process.returncode)
        try:
            socket.create_connection(("127.0.0.1", port), 0.5).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("nothing listens on port %d" % port)


class SlowLink:
    """A TCP relay from a free loopback port to `port`. While `slow` is set, what the server sends
    reaches the client at about 160 KB/s (8 KiB every 50 ms); the bytes are never changed."""

    def __init__(self, port):
        self.target = port
        self.slow = False
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                server = socket.create_connection(("127.0.0.1", self.target))
            except OSError:
                client.close()
                continue
            threading.Thread(target=self._pump, args=(client, server, False), daemon=True).start()
            threading.Thread(target=self._pump, args=(server, client, True), daemon=True).start()

    def _pump(self, source, sink, downstream):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                while data:
                    piece = data[:8192] if downstream and self.slow else data
                    sink.sendall(piece)
                    data = data[len(piece):]
                    if downstream and self.slow:
                        time.sleep(0.05)
        except OSError:
            pass
        for end in (source, sink):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def stop(self):
        self.listener.close()


def unquote(value):
    """A logged header value as it was sent: the servers escape quotes as \\", \\x22 or %22."""
    return value.replace('\\"', '"').replace("\\x22", '"').replace("%22", '"')


class Server:
    """What every server of the table offers: `url` (through the slow link, or the origin behind a
    proxy), `proxy` ("127.0.0.1:PORT" of the slow link, or None), `link`, the requests made for the
    package as (range, if-range, status) in the order logged, publish() and stop()."""

    proxy = None

    def __init__(self, work, package, name):
        self.name = name
        self.state = os.path.join(work, name)
        self.root = os.path.join(self.state, "www")
        os.makedirs(os.path.join(self.root, os.path.dirname(e.RELEASE_PATH)))
        shutil.copy(package, os.path.join(self.root, e.RELEASE_PATH))
        # Servers that drop root for another user must still reach their files and folders.
        for path in (work, self.state):
            os.chmod(path, 0o755)
        self.processes = []
        self.link = None
        self.nginx = None  # the origin behind a cache or proxy

    def listening(self, port, process=None):
        """Waits for `port`; a server that does not come up is stopped with all it started."""
        try:
            wait_listening(port, process)
        except BaseException:
            self.stop()
            output = os.path.join(self.state, "server.out")
            if os.path.exists(output):  # what the server said about it
                print(open(output, errors="replace").read()[-2000:])
            raise

    def spawn(self, *command, env=None):
        out = open(os.path.join(self.state, "server.out"), "ab")
        process = subprocess.Popen(list(command), stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   start_new_session=True, env=env)
        self.processes.append(process)
        return process

    def serve(self, port, process=None):
        """Puts the slow link in front of `port` once something listens there."""
        self.listening(port, process)
        self.link = SlowLink(port)
        self.url = "http://127.0.0.1:%d/%s" % (self.link.port, e.RELEASE_PATH)

    def publish(self, package):
        """A new release at the same address, copied into place at once with a new time."""
        published = os.path.join(self.root, e.RELEASE_PATH)
        shutil.copy(package, published + ".tmp")
        os.replace(published + ".tmp", published)

    def requests(self):
        return [entry for entry in self.log() if e.RELEASE_PATH in entry[0]]

    def stop(self):
        if self.link:
            self.link.stop()
        for process in self.processes:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        if self.nginx:
            self.nginx.stop()

    def tab_log(self, path):
        """[(request, range, if-range, status)] of a log written as those four fields by tabs."""
        if not os.path.exists(path):
            return []
        lines = [line.rstrip("\n").split("\t") for line in open(path, errors="replace")]
        return [(f[0], f[1], unquote(f[2]), f[3]) for f in lines if len(f) >= 4]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Nginx(Server):
    def __init__(self, work, package, name, etag=True):
        super().__init__(work, package, name)
        self.nginx = e.ReleaseServer(work, package, root=self.root, state=os.path.join(self.state, "nginx"),
                                     etag=etag)
        self.serve(int(self.nginx.http_base.rsplit(":", 1)[1].strip("/")))

    def log(self):
        return [(uri, ranged, if_range, status)
                for (uri, ranged, _, status, _), if_range in zip(self.nginx.requests(), self.nginx.if_ranges())]


class Apache(Server):
    def __init__(self, work, package, name):
        super().__init__(work, package, name)
        port = e.free_port()
        modules = "/usr/lib/apache2/modules"
        user = "User nobody\nGroup nogroup\n" if os.geteuid() == 0 else ""
        conf = os.path.join(self.state, "httpd.conf")
        with open(conf, "w") as out:
            out.write("""ServerRoot {s}
ServerName localhost
Listen 127.0.0.1:{port}
PidFile {s}/httpd.pid
DefaultRuntimeDir {s}
Mutex file:{s}
LoadModule mpm_event_module {m}/mod_mpm_event.so
LoadModule authz_core_module {m}/mod_authz_core.so
LoadModule mime_module {m}/mod_mime.so
{user}TypesConfig /dev/null
AddType application/zip .zip
ErrorLog {s}/error.log
LogFormat "%r\\t%{{Range}}i\\t%{{If-Range}}i\\t%>s" ranged
CustomLog {s}/access.log ranged
DocumentRoot {s}/www
<Directory {s}/www>
  Require all granted
</Directory>
""".format(s=self.state, m=modules, port=port, user=user))
        self.serve(port, self.spawn(program("apache2"), "-f", conf, "-DFOREGROUND"))

    def log(self):
        return self.tab_log(os.path.join(self.state, "access.log"))


class Lighttpd(Server):
    def __init__(self, work, package, name):
        super().__init__(work, package, name)
        port = e.free_port()
        conf = os.path.join(self.state, "lighttpd.conf")
        with open(conf, "w") as out:
            out.write("""server.document-root = "{s}/www"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{s}/error.log"
server.modules = ("mod_accesslog")
accesslog.filename = "{s}/access.log"
accesslog.format = "%r\\t%{{Range}}i\\t%{{If-Range}}i\\t%>s"
mimetype.assign = (".zip" => "application/zip")
""".format(s=self.state, port=port))
        self.serve(port, self.spawn(program("lighttpd"), "-D", "-f", conf))

    def log(self):
        return self.tab_log(os.path.join(self.state, "access.log"))


class Caddy(Server):
    def __init__(self, work, package, name):
        super().__init__(work, package, name)
        port = e.free_port()
        conf = os.path.join(self.state, "Caddyfile")
        with open(conf, "w") as out:
            out.write("""{{
	admin off
	auto_https off
	storage file_system {s}/data
}}
http://:{port} {{
	bind 127.0.0.1
	root * {s}/www
	file_server
	log {{
		output file {s}/access.log
		format json
	}}
}}
""".format(s=self.state, port=port))
        # Caddy keeps its data and config under HOME and the XDG folders: the case's folder.
        env = dict(os.environ, HOME=self.state, XDG_DATA_HOME=self.state, XDG_CONFIG_HOME=self.state)
        self.serve(port, self.spawn(program("caddy"), "run", "--config", conf, "--adapter", "caddyfile", env=env))

    def log(self):
        path = os.path.join(self.state, "access.log")
        entries = []
        for line in open(path) if os.path.exists(path) else []:
            request = json.loads(line)
            headers = request["request"]["headers"]
            entries.append((request["request"]["uri"], headers.get("Range", ["-"])[0],
                            headers.get("If-Range", ["-"])[0], str(request["status"])))
        return entries


class Varnish(Server):
    """Varnish in front of nginx, as a CDN edge: it caches the release, answers ranges from the
    cache, and is purged when a new release is published, as a publisher's upload script does."""

    def __init__(self, work, package, name):
        super().__init__(work, package, name)
        self.nginx = e.ReleaseServer(work, package, root=self.root, state=os.path.join(self.state, "nginx"))
        backend = self.nginx.http_base.rsplit(":", 1)[1].strip("/")
        port = e.free_port()
        self.workdir = os.path.join(self.state, "varnish")
        self.serve(port, self.spawn(program("varnishd"), "-F", "-n", self.workdir, "-a", "127.0.0.1:%d" % port,
                                    "-b", "127.0.0.1:" + backend, "-T", "127.0.0.1:0", "-s", "malloc,32m"))

    def publish(self, package):
        super().publish(package)
        subprocess.run(["varnishadm", "-n", self.workdir, "ban", "req.url", "~", "."], check=True,
                       capture_output=True, timeout=20)

    def log(self):
        # -d: what the shared log holds so far, then exit.
        out = subprocess.run(["varnishncsa", "-n", self.workdir, "-d", "-F", "%r\t%{Range}i\t%{If-Range}i\t%s"],
                             capture_output=True, text=True, timeout=20).stdout
        lines = [line.split("\t") for line in out.splitlines() if line.count("\t") >= 3]
        return [(f[0], f[1], unquote(f[2]), f[3]) for f in lines]


class Squid(Server):
    """Squid as the machine's WinHTTP proxy in front of nginx, with its memory cache; every answer
    it keeps is revalidated with the origin, as for a file that may change at any time. With
    `connect` the origin is HTTPS and Squid only tunnels (CONNECT)."""

    def __init__(self, work, package, name, machine, connect=False, machine_proxy=True, users=None):
        super().__init__(work, package, name)
        certs = e.trusted_certificates(machine) if connect else None
        self.nginx = e.ReleaseServer(work, package, root=self.root, state=os.path.join(self.state, "nginx"),
                                     https=connect, certs=certs)
        self.connect = connect
        self.url = self.nginx.url if connect else self.nginx.url.replace("//127.0.0.1:", "//localhost:")
        self.direct_url = self.url
        if not machine_proxy and not connect:
            self.url = self.nginx.url.replace("//127.0.0.1:", "//%s:" % RELEASE_HOST)
        self.cafile = os.path.join(certs, "ca.pem") if certs else None
        port = e.free_port()
        squid_state = os.path.join(self.state, "squid")
        os.makedirs(squid_state)
        user = ""
        if os.geteuid() == 0:  # Squid will not run as root; its files belong to the user it becomes
            shutil.chown(squid_state, "proxy")
            user = "cache_effective_user proxy\n"
        # Squid resolves the origin's name itself, from a hosts file and then DNS: a minimal system
        # has no /etc/hosts, and no DNS here answers for localhost, so it gets a hosts file of its own.
        hosts = os.path.join(squid_state, "hosts")
        with open(hosts, "w") as out:
            out.write("127.0.0.1 localhost %s\n" % RELEASE_HOST)
        # With `users` ({name: password}) Squid asks for a name and password (Basic) before anything.
        access = "http_access allow all"
        if users:
            passwords = os.path.join(squid_state, "passwords")
            with open(passwords, "w") as out:
                for login, password in users.items():
                    hashed = subprocess.run(["openssl", "passwd", "-apr1", password], capture_output=True,
                                            text=True, check=True).stdout.strip()
                    out.write("%s:%s\n" % (login, hashed))
            if os.geteuid() == 0:
                shutil.chown(passwords, "proxy")
            access = ("auth_param basic program /usr/lib/squid/basic_ncsa_auth %s\nauth_param basic realm zenka\n"
                      "acl named proxy_auth REQUIRED\nhttp_access allow named\nhttp_access deny all" % passwords)
        conf = os.path.join(self.state, "squid.conf")
        with open(conf, "w") as out:
            out.write("""http_port 127.0.0.1:{port}
hosts_file {q}/hosts
{user}pid_filename {q}/squid.pid
cache_log {q}/cache.log
coredump_dir {q}
logformat ranged %ru\t%{{Range}}>h\t%{{If-Range}}>h\t%>Hs
access_log stdio:{q}/access.log ranged
{access}
cache_mem 16 MB
maximum_object_size_in_memory 4 MB
refresh_pattern . 0 0% 0
pinger_enable off
shutdown_lifetime 0 seconds
""".format(port=port, user=user, q=squid_state, access=access))
        self.squid_log = os.path.join(squid_state, "access.log")
        # A service name of its own: its shared memory must not meet a system Squid's.
        process = self.spawn(program("squid"), "-N", "-n", "zenka%d" % port, "-f", conf)
        self.listening(port, process)
        self.link = SlowLink(port)
        self.machine = machine
        self.proxy = "127.0.0.1:%d" % self.link.port
        self.machine_proxy = machine_proxy
        if machine_proxy:
            set_default_proxy(machine, self.proxy, "127.0.0.1")

    def log(self):
        if self.connect:  # a tunnel: only the origin sees the requests
            return [(uri, ranged, if_range, status) for (uri, ranged, _, status, _, _), if_range
                    in zip(self.nginx.requests(fields=6), self.nginx.if_ranges())]
        return self.tab_log(self.squid_log)

    def proxied(self):
        """The requests Squid's own log holds: the release, or with `connect` the tunnels to its host."""
        wanted = self.url.split("//", 1)[1].split("/", 1)[0] if self.connect else e.RELEASE_PATH
        return [entry for entry in self.tab_log(self.squid_log) if wanted in entry[0]]

    def stop(self):
        if self.proxy and self.machine_proxy:
            set_default_proxy(self.machine, None)
        super().stop()


def set_default_proxy(machine, proxy, bypass=""):
    """Sets (or with None removes) the machine's WinHTTP default proxy, the registry value
    WinHttpSettings in the layout whose first number is 0x18, the only one Wine reads: that number,
    a counter, the flags (3: direct and proxy), then the proxy and the bypass list, each as its
    length and its characters."""
    # The marker tells tools/wine-prefix --fresh to take the value back should this run be killed.
    marker = os.path.join(machine.prefix, ".default-proxy")
    if proxy is None:
        machine.wine("reg", "delete", PROXY_SETTINGS_KEY, "/v", "WinHttpSettings", "/f")
        if os.path.exists(marker):
            os.remove(marker)
        return
    open(marker, "w").close()
    data = bytearray()
    for number in (0x18, 0, 3):
        data += number.to_bytes(4, "little")
    for text in (proxy, bypass):
        data += len(text).to_bytes(4, "little") + text.encode("ascii")
    data += bytes(4)
    result = machine.wine("reg", "add", PROXY_SETTINGS_KEY, "/v", "WinHttpSettings", "/t", "REG_BINARY",
                          "/d", data.hex(), "/f")
    if result.returncode != 0:
        raise RuntimeError("reg add WinHttpSettings failed: %s" % result.stderr)


def set_user_proxy(machine, proxy="", bypass="", pac="", detect=False, remove=False):
    """Sets the user's proxy settings as Windows' settings pages write them: the binary
    DefaultConnectionSettings (0x46, a counter, the flags 1 direct | 2 proxy | 4 script | 8 detect,
    then the proxy, the bypass list and the script address, each as its length and its characters)
    with the older values beside it. With `remove` they go, as in a prefix that never had them."""
    marker = os.path.join(machine.prefix, ".user-proxy")  # tools/wine-prefix --fresh takes them back
    flags = 1 | (2 if proxy else 0) | (4 if pac else 0) | (8 if detect else 0)
    data = bytearray()
    for number in (0x46, int(time.time()) & 0xFFFF, flags):
        data += number.to_bytes(4, "little")
    for text in (proxy, bypass, pac):
        data += len(text).to_bytes(4, "little") + text.encode("ascii")
    data += bytes(32)
    values = [("DefaultConnectionSettings", "REG_BINARY", data.hex(), USER_SETTINGS_KEY + r"\Connections"),
              ("ProxyEnable", "REG_DWORD", "1" if proxy else "0", USER_SETTINGS_KEY),
              ("ProxyServer", "REG_SZ", proxy, USER_SETTINGS_KEY),
              ("ProxyOverride", "REG_SZ", bypass, USER_SETTINGS_KEY),
              ("AutoConfigURL", "REG_SZ", pac, USER_SETTINGS_KEY)]
    if not remove:
        open(marker, "w").close()
    for name, kind, value, key in values:
        if remove or (kind == "REG_SZ" and not value):
            machine.wine("reg", "delete", key, "/v", name, "/f")
            continue
        result = machine.wine("reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f")
        if result.returncode != 0:
            raise RuntimeError("reg add %s failed: %s" % (name, result.stderr))
    if remove and os.path.exists(marker):
        os.remove(marker)


# Servers that switch from root to a user of their own; that user must be able to open "/".
DROPS_ROOT = ("apache", "varnish", "squid", "squid_connect")


def start(name, work, machine):
    if name in DROPS_ROOT and os.geteuid() == 0 and not os.stat("/").st_mode & 0o001:
        # As in a root unpacked from an archive of a private folder: no real system is made so.
        print("skipped: %s switches to a user of its own, and / is closed to every other user here" % name)
        sys.exit(e.SKIPPED)
    package = machine.package
    if name == "nginx":
        return Nginx(work, package, name)
    if name == "nginx_no_etag":
        return Nginx(work, package, name, etag=False)
    if name == "apache":
        return Apache(work, package, name)
    if name == "lighttpd":
        return Lighttpd(work, package, name)
    if name == "caddy":
        return Caddy(work, package, name)
    if name == "varnish":
        return Varnish(work, package, name)
    if name in ("squid", "squid_connect"):
        return Squid(work, package, name, machine, connect=name == "squid_connect")
    raise ValueError(name)


def describe_answers(server):
    """One line on what the server sends with the package and how it answers a range under its own
    validator: status, framing, ETag, Last-Modified, Accept-Ranges; then the 206's Content-Range."""

    def get(headers):
        if server.proxy is None:
            port = int(server.url.split("//", 1)[1].split("/", 1)[0].rsplit(":", 1)[1])
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
            connection.request("GET", "/" + e.RELEASE_PATH, headers=headers)
        else:
            host, port = server.proxy.split(":")
            if server.connect:
                context = ssl.create_default_context(cafile=server.cafile)
                connection = http.client.HTTPSConnection(host, int(port), timeout=20, context=context)
                origin = server.url.split("//", 1)[1].split("/", 1)[0]
                connection.set_tunnel(origin.split(":")[0], int(origin.split(":")[1]))
                connection.request("GET", "/" + e.RELEASE_PATH, headers=headers)
            else:
                connection = http.client.HTTPConnection(host, int(port), timeout=20)
                connection.request("GET", server.url, headers=headers)
        reply = connection.getresponse()
        reply.read()
        connection.close()
        return reply

    def framing(reply):
        if reply.getheader("Content-Length"):
            return "Content-Length"
        return "chunked" if reply.getheader("Transfer-Encoding") == "chunked" else "close-delimited"

    whole = get({})
    etag = whole.getheader("ETag")
    kind = "none" if not etag else "weak" if etag.startswith("W/") else "strong"
    validator = etag or whole.getheader("Last-Modified")
    ranged = get({"Range": "bytes=1000-", "If-Range": validator} if validator else {"Range": "bytes=1000-"})
    return ("%s: %d, %s, ETag %s, Last-Modified %s, Accept-Ranges %s; Range bytes=1000- with If-Range %s: "
            "%d, %s, Content-Range %s" %
            (server.name, whole.status, framing(whole), kind, "yes" if whole.getheader("Last-Modified") else "no",
             whole.getheader("Accept-Ranges") or "none", "(ETag)" if etag else "(date)" if validator else "(none)",
             ranged.status, framing(ranged), ranged.getheader("Content-Range") or "none"))


def release_requests(server, since, count, timeout=5):
    """The requests for the package after the first `since`, once there are `count` of them (logs
    are written when an answer ends, a moment after the client has it all)."""
    deadline = time.time() + timeout
    while True:
        found = server.requests()[since:]
        if len(found) >= count or time.time() > deadline:
            return found
        time.sleep(0.2)

