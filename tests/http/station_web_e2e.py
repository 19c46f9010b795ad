#!/usr/bin/env python3
"""The station's web view with real clients: kovirw-cli --station --http flashes terminals of
termsim while a Prometheus server scrapes /metrics every second and headless Chromium shows
the page; then the same with hostile clients on the server.

    station_web_e2e.py KOVIRW-CLI TERMSIM SCREENSHOT.png LINE-OF-STATIONS.md

1. Three terminals: Prometheus's query API must give kovirw_units_total = 3 (done); the page
   in Chromium must show the three channels' results; a screenshot mid-run goes to
   SCREENSHOT.png.
2. Three new terminals while slow-loris clients, oversized requests, endless headers and a
   thousand idle connections press on the server: each unit must take about as long as in
   1, the server must cut the hostile connections, and the page must answer again at once.
A tool that is missing fails the test with its name."""
import http.server, json, os, resource, shutil, socket, subprocess, sys, tempfile, threading, time
import urllib.error, urllib.parse, urllib.request

cli, termsim_path, screenshot, doc = sys.argv[1:5]
failures = []
procs = []


def check(what, ok, detail=""):
    print(("ok      " if ok else "FAILED  ") + what + ("" if ok else ": " + str(detail)))
    if not ok:
        failures.append(what)


def need(tool):
    path = shutil.which(tool)
    if path is None:
        sys.exit("station_web_e2e: %s is not installed (scripts/setup installs it)" % tool)
    return path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url, timeout=5):
    with urllib.request.urlopen(url, timeout=timeout) as reply:
        return reply.read().decode("utf-8")


def wait_for(what, test, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            value = test()
            if value:
                return value
        except (OSError, ValueError, KeyError, IndexError):
            pass
        time.sleep(0.2)
    raise SystemExit("station_web_e2e: timed out waiting for " + what)


def start(args, name, **kw):
    out = open(os.path.join(work, name + ".out"), "w")
    p = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, **kw)
    procs.append(p)
    return p


def stop(p):
    if p.poll() is None:
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def chromium(*args):
    # As root Chromium needs --no-sandbox; the rest keeps it off the network and quiet.
    return subprocess.run(
        [chrome, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + tempfile.mkdtemp(dir=work), "--virtual-time-budget=4000", *args],
        capture_output=True, text=True, timeout=90)


def units():
    try:
        with open(os.path.join(work, "units.jsonl")) as log:
            return [json.loads(line) for line in log]
    except FileNotFoundError:
        return []


def terminals(first_com, name):
    # 512 KiB at 1382400 baud: about 4 s a terminal.
    p = start([termsim_path, "--count", "3", "--first-com", str(first_com), "--port-dir", ports,
               "--baud", "1382400"], name)
    wait_for(name + " ready", lambda: "ready" in open(os.path.join(work, name + ".out")).read(), 20)
    return p


prometheus = need("prometheus")
chrome = need("chromium")
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts")
work = tempfile.mkdtemp(prefix="kovirw-web-e2e-")
ports = os.path.join(work, "ports")
os.mkdir(ports, 0o700)
try:
    subprocess.run([sys.executable, SCRIPTS + "/demo_images.py", "station", work,
                    str(512 * 1024), "1382400"], check=True)
    env = dict(os.environ, KOVIRW_PORT_DIR=ports)
    station = start([cli, "--station", "--no-progress", "--log", "units.jsonl", "--http",
                     "127.0.0.1:0"], "station", cwd=work, env=env)
    url = wait_for("the station's address", lambda: [
        line.split(" on ", 1)[1] for line in open(os.path.join(work, "station.out"))
        if line.startswith("station: status page on ")][0], 20).strip()
    host_port = url[len("http://"):].rstrip("/")

    # A second station on the same address is refused before it touches anything.
    taken = subprocess.run([cli, "--station", "--no-progress", "--log", "second.jsonl", "--http",
                            host_port], cwd=work, env=env, capture_output=True, text=True, timeout=30)
    check("a taken address stops a second station with status 2 (%d: %s)" % (
          taken.returncode, taken.stderr.strip()), taken.returncode == 2 and
          "cannot serve the status page on " + host_port in taken.stderr and
          not os.path.exists(os.path.join(work, "second.jsonl")))

    prom_port = free_port()
    with open(os.path.join(work, "prometheus.yml"), "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\nscrape_configs:\n"
                "  - job_name: kovirw\n    static_configs:\n      - targets: ['%s']\n" % host_port)
    start([prometheus, "--config.file=" + os.path.join(work, "prometheus.yml"),
           "--storage.tsdb.path=" + os.path.join(work, "tsdb"),
           "--web.listen-address=127.0.0.1:%d" % prom_port], "prometheus")
    prom = "http://127.0.0.1:%d" % prom_port

    def query(expr):
        reply = json.loads(get(prom + "/api/v1/query?" +
                               urllib.parse.urlencode({"query": expr})))
        return {tuple(sorted(r["metric"].items())): float(r["value"][1])
                for r in reply["data"]["result"]}

    wait_for("Prometheus to scrape the station", lambda: query("up{job='kovirw'}") and
             list(query("up{job='kovirw'}").values())[0] == 1, 60)

    # 1. Three terminals, seen by Prometheus and by the page.
    first = terminals(3, "terminals-1")
    wait_for("a download in progress", lambda: any(
        c["state"] == "busy" and c["sent"] > 0 for c in json.loads(get(url + "status.json"))["channels"]), 30)
    os.makedirs(os.path.dirname(os.path.abspath(screenshot)), exist_ok=True)
    shot = chromium("--window-size=800,1280", "--screenshot=" + os.path.abspath(screenshot), url)
    check("a screenshot of the page mid-run", os.path.getsize(screenshot) > 10000, shot.stderr[-500:])
    wait_for("three units", lambda: len(units()) >= 3, 60)
    totals = wait_for("kovirw_units_total = 3 in Prometheus",
                      lambda: (lambda r: r if sum(r.values()) == 3 else None)(
                          query("kovirw_units_total")), 30)
    check("Prometheus: kovirw_units_total{result='done'} = 3",
          totals.get((("__name__", "kovirw_units_total"), ("instance", host_port), ("job", "kovirw"),
                      ("result", "done"))) == 3, totals)
    # The document's configuration, alert rules and queries.
    blocks = {}
    for block in open(doc).read().split("```")[1::2]:
        kind, _, body = block.partition("\n")
        blocks.setdefault(kind, []).append(body)
    with open(os.path.join(work, "line.yml"), "w") as f:
        f.write(blocks["yaml"][0])
    with open(os.path.join(work, "kovirw-alerts.yml"), "w") as f:
        f.write(blocks["yaml"][1])
    promtool = subprocess.run([shutil.which("promtool") or "promtool", "check", "config",
                               os.path.join(work, "line.yml")], capture_output=True, text=True)
    check("promtool takes the document's scrape configuration and rules", promtool.returncode == 0,
          promtool.stdout + promtool.stderr)
    for expr in blocks["promql"][0].strip().split("\n"):
        reply = json.loads(get(prom + "/api/v1/query?" + urllib.parse.urlencode({"query": expr})))
        check("query runs: " + expr, reply["status"] == "success", reply)
    sent = query("kovirw_sent_bytes_total")
    check("Prometheus: kovirw_sent_bytes_total = 3 images", list(sent.values()) == [3 * 512 * 1024], sent)
    dom = chromium("--dump-dom", url).stdout
    for c, com in enumerate((3, 4, 5)):
        card = dom.split('data-channel="%d"' % c, 1)[-1].split('data-channel=', 1)[0]
        check("the page shows CH%d COM%d done" % (c, com),
              "COM%d" % com in card and 'data-result="done"' in card, card[:300])
    status = json.loads(get(url + "status.json"))
    check("status.json lists the three units", len(status["units"]) == 3 and
          [u["result"] for u in status["units"]] == ["done"] * 3 and
          status["units"][0] == units()[2], status["units"])
    stop(first)
    wait_for("the channels free again", lambda: all(
        c["state"] == "free" for c in json.loads(get(url + "status.json"))["channels"]), 20)
    quiet = [u["seconds"] for u in units()]

    # 2. The same downloads with hostile clients pressing on the server.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
    stop_attack = threading.Event()
    cut = {"loris": 0, "endless": 0}

    def slow_loris():
        # A request that never ends, a byte at a time.
        s = socket.create_connection(address)
        s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
        try:
            while not stop_attack.is_set():
                s.sendall(b"X")
                time.sleep(0.5)
        except OSError:
            cut["loris"] += 1
        s.close()

    def endless_headers():
        # Header lines as fast as the server takes them, until it cuts the connection.
        s = socket.create_connection(address)
        s.sendall(b"GET / HTTP/1.1\r\n")
        sent_bytes = 0
        try:
            while not stop_attack.is_set() and sent_bytes < 512 * 1024 * 1024:
                s.sendall(b"X-Fill: " + b"y" * 4000 + b"\r\n")
                sent_bytes += 4010
        except OSError:
            cut["endless"] = sent_bytes
        s.close()

    address = ("127.0.0.1", int(host_port.split(":")[1]))
    huge = socket.create_connection(address, timeout=10)
    try:
        huge.sendall(b"GET /" + b"a" * 100000 + b" HTTP/1.1\r\n\r\n")
    except OSError:
        pass  # cut before it was all sent
    attackers = [threading.Thread(target=slow_loris) for _ in range(12)]
    attackers.append(threading.Thread(target=endless_headers))
    for t in attackers:
        t.start()
    time.sleep(0.5)
    idle = []  # connections that never send anything, most still in the system's queue
    for _ in range(1000):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex(address)
        idle.append(s)
    second = terminals(13, "terminals-2")
    wait_for("three more units", lambda: len(units()) >= 6, 90)
    stop_attack.set()
    for t in attackers:
        t.join()
    for s in idle:
        s.close()
    try:
        huge_reply = huge.recv(100)
    except OSError as e:
        huge_reply = str(e).encode()
    huge.close()
    pressed = [u["seconds"] for u in units()[3:]]
    check("all six units done", [u["result"] for u in units()] == ["done"] * 6, units())
    check("unit seconds under attack within 25 %% of those without (%s against %s)" % (
          ", ".join("%.2f" % s for s in pressed), ", ".join("%.2f" % s for s in quiet)),
          max(pressed) <= 1.25 * max(quiet) + 0.3 and min(pressed) >= 0.75 * min(quiet) - 0.3)
    print("hostile: %d of 12 slow-loris connections cut; endless headers cut after %d bytes; "
          "%d idle connections; a 100000-byte request line answered %r" % (
              cut["loris"], cut["endless"], len(idle), huge_reply[:40]))
    check("the slow-loris connections were cut", cut["loris"] == 12, cut)
    check("the endless headers were cut within 16 MiB", 0 < cut["endless"] < 16 * 1024 * 1024, cut)
    check("the oversized request line was refused", huge_reply[:12] in (b"HTTP/1.1 414", b"") or
          b"reset" in huge_reply, huge_reply)
    t0 = time.monotonic()
    wait_for("the page to answer after the attack", lambda: "kovirw station" in get(url, 2), 15)
    check("the page answers within 5 s of the attack's end (%.1f s)" % (time.monotonic() - t0),
          time.monotonic() - t0 < 5)
    for path in ("/status.json?x=1", "/../metrics", "/%2e%2e/metrics", "/metrics/", "/index.html"):
        try:
            code = urllib.request.urlopen(url.rstrip("/") + path, timeout=5).status
        except urllib.error.HTTPError as e:
            code = e.code
        check("path %s: %d" % (path, code), code == (200 if path == "/status.json?x=1" else 404))
    req = urllib.request.Request(url + "metrics", data=b"x", method="POST")
    try:
        code = urllib.request.urlopen(req, timeout=5).status
    except urllib.error.HTTPError as e:
        code = e.code
    check("a POST changes nothing and is refused (%d)" % code, code >= 400)
    stop(second)
    replay = {"/": get(url).encode(), "/status.json": get(url + "status.json").encode()}

    class PageReplay(http.server.BaseHTTPRequestHandler):
        answered = 0

        def do_GET(self):
            body = replay.get(self.path)
            if self.path == "/status.json":
                PageReplay.answered += 1
                if PageReplay.answered > 1:
                    body = None
            if body is None:
                self.send_error(503)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/html" if self.path == "/" else "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    station.send_signal(2)
    station.wait(30)
    check("the station ends with status 0", station.returncode == 0, station.returncode)
    # The page of a station that stops answering: served here from what the station gave,
    # status.json once and then refused, as a station that went away.
    page_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), PageReplay)
    threading.Thread(target=page_server.serve_forever, daemon=True).start()
    gone = chromium("--virtual-time-budget=8000", "--dump-dom",
                    "http://127.0.0.1:%d/" % page_server.server_address[1]).stdout
    page_server.shutdown()
    check("the page tells that the station has gone away",
          "The station has not answered since" in gone and 'data-result="done"' in gone, gone[-800:])
finally:
    for p in procs:
        stop(p)
    if failures:
        print(open(os.path.join(work, "station.out")).read()[-3000:])
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
