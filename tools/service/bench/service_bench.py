#!/usr/bin/env python3
"""Load and crash run against a local tavrello-service, on 127.0.0.1 only.

Starts the service on a free port with a scratch database, gives each client an account of
its own, and lets the clients send a mix of add-page and category-list requests, each on a
fresh connection as the plug-in does. Prints requests per second, p50 and p99 latency and the
service's peak resident memory (VmHWM from /proc), then checks in the SQLite file that every
add answered "OK" is stored exactly once.

With --kill-after N the service is killed with SIGKILL once N adds have been acknowledged,
started again on the same file, and every acknowledged add must be there.

With --idle-sockets N that many connections are opened first and left without a byte, for the
whole run; with --hold-write-lock a connection of this script holds the SQLite write lock
(BEGIN EXCLUSIVE) for the whole run, as another program might. Latency is reported for adds
and lists apart as well.

With --slow-senders N that many connections from this host send a request one byte every half
second (--slow-kind head: its header lines; body: a form body after a whole head), each one the
service closes opened again; meanwhile --probes legitimate category lists, one after the other,
are timed, and how many were answered within 1 s is reported (instead of the load run).

With --full-account the first account is filled to the service's quota (20,000 favorites and
1,000 categories, 8 MiB of names and addresses) straight in the SQLite file, and its public
page is fetched by four clients at once, twice; the time, the size of a page and the service's
peak memory are reported (instead of the load run).

Run by hand; bounded by --clients x --requests and by --max-seconds.
"""

import argparse
import http.client
import os
import random
import selectors
import re
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HOST = "127.0.0.1"


def start_service(exe, database, extra=()):
    process = subprocess.Popen(
        [exe, "--port", "0", "--db", database, "--quiet", "--no-demo", *extra],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    banner = process.stdout.readline()
    match = re.search(r"listening on 127\.0\.0\.1:(\d+),", banner)
    if not match:
        process.kill()
        sys.exit("the service did not start: " + banner + process.stderr.read())
    return process, int(match.group(1))


def add_accounts(exe, database, count):
    accounts = []
    for i in range(count):
        email = f"bench{i}@tavrello.test"
        password = f"bench-password-{i}"
        subprocess.run([exe, "--db", database, "--add-account", email], input=password + "\n",
                       text=True, check=True, stdout=subprocess.DEVNULL)
        accounts.append((email, password))
    return accounts


def peak_rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def post(port, path, fields, timeout):
    body = urllib.parse.urlencode(fields)
    connection = http.client.HTTPConnection(HOST, port, timeout=timeout)
    try:
        connection.request("POST", path, body,
                           {"Content-Type": "application/x-www-form-urlencoded",
                            "Connection": "close"})
        reply = connection.getresponse()
        return reply.status, reply.getheader("Retry-After"), reply.read().decode("latin-1")
    finally:
        connection.close()


class Run:
    def __init__(self, port, accounts, requests, deadline, kill_after, seed, retries):
        self.port = port
        self.accounts = accounts
        self.requests = requests
        self.deadline = deadline
        self.kill_after = kill_after
        self.seed = seed
        self.retries = retries
        self.retried = 0
        self.errors = {}
        self.lock = threading.Lock()
        self.latencies = []
        self.by_kind = {"add": [], "list": []}
        self.statuses = {}
        self.acknowledged = []  # names of adds answered "OK"
        self.failures = 0
        self.killed = threading.Event()

    def client(self, index):
        email, password = self.accounts[index]
        rng = random.Random(self.seed * 1000 + index)
        for number in range(self.requests):
            if time.monotonic() > self.deadline or self.killed.is_set():
                return
            credentials = {"email": email, "password": password}
            is_add = rng.random() < 0.5
            name = f"bench-{index}-{number}"
            if is_add:
                path = "/plugin/addurl.php"
                fields = {**credentials, "name": name, "url": f"https://example.com/{name}",
                          "parent": "0"}
            else:
                path = "/plugin/getcatagories.php"
                fields = {**credentials, "version": "1.05"}
            started = time.monotonic()
            try:
                # A polite client waits as long as a 503 asks before it tries again.
                for attempt in range(self.retries + 1):
                    status, retry_after, text = post(self.port, path, fields, timeout=60)
                    if status != 503 or not retry_after or attempt == self.retries:
                        break
                    with self.lock:
                        self.retried += 1
                    time.sleep(min(float(retry_after), 5.0))
            except OSError as error:
                with self.lock:
                    self.failures += 1
                    kind = type(error).__name__ + ": " + str(error)
                    self.errors[kind] = self.errors.get(kind, 0) + 1
                continue
            elapsed = time.monotonic() - started
            with self.lock:
                self.latencies.append(elapsed)
                self.by_kind["add" if is_add else "list"].append(elapsed)
                self.statuses[status] = self.statuses.get(status, 0) + 1
                if is_add and status == 200 and text == "OK":
                    self.acknowledged.append(name)
                    if self.kill_after and len(self.acknowledged) >= self.kill_after:
                        self.killed.set()

    def run(self, clients):
        threads = [threading.Thread(target=self.client, args=(i,)) for i in range(clients)]
        for thread in threads:
            thread.start()
        return threads


def percentile(sorted_values, fraction):
    if not sorted_values:
        return 0.0
    index = min(len(sorted_values) - 1, int(round(fraction * (len(sorted_values) - 1))))
    return sorted_values[index]


def latency_line(label, values):
    values = sorted(values)
    return (f"{label}: {len(values)}, p50 {percentile(values, 0.50) * 1000:.1f} ms, "
            f"p99 {percentile(values, 0.99) * 1000:.1f} ms, max "
            f"{(values[-1] if values else 0) * 1000:.1f} ms")


def open_idle_sockets(port, count):
    idle = []
    for _ in range(count):
        idle.append(socket.create_connection((HOST, port), timeout=10))
    return idle


class SlowSenders:
    """Connections that each send a request a byte at a time; reopened when the service closes
    one. One thread for all of them, for at most max_seconds."""

    HEAD = ("POST /plugin/getcatagories.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n")

    def __init__(self, port, count, kind, max_seconds):
        self.port, self.count, self.kind = port, count, kind
        self.deadline = time.monotonic() + max_seconds
        self.selector = selectors.DefaultSelector()
        self.reopened = 0
        self.stop = threading.Event()
        self.ready = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def open_one(self):
        sock = socket.create_connection((HOST, self.port), timeout=5)
        start = self.HEAD + ("Content-Length: 60000\r\n\r\n" if self.kind == "body" else "")
        sock.sendall(start.encode())
        sock.setblocking(False)
        self.selector.register(sock, selectors.EVENT_READ)
        return sock

    def run(self):
        sockets = [self.open_one() for _ in range(self.count)]
        self.ready.set()
        trickle = b"a" if self.kind == "body" else b"X"
        while not self.stop.is_set() and time.monotonic() < self.deadline:
            for key, _ in self.selector.select(timeout=0.5):
                # The service answered or closed it: that sender starts over.
                self.selector.unregister(key.fileobj)
                key.fileobj.close()
                sockets.remove(key.fileobj)
                try:
                    sockets.append(self.open_one())
                    self.reopened += 1
                except OSError:
                    pass
            for sock in list(sockets):
                try:
                    sock.send(trickle)
                except OSError:
                    pass
        for sock in sockets:
            self.selector.unregister(sock)
            sock.close()

    def __enter__(self):
        self.thread.start()
        self.ready.wait()
        return self

    def __exit__(self, *_):
        self.stop.set()
        self.thread.join()


def probe(port, account, count):
    email, password = account
    latencies = []
    for _ in range(count):
        started = time.monotonic()
        try:
            status, _, text = post(port, "/plugin/getcatagories.php",
                                   {"email": email, "password": password, "version": "1.05"},
                                   timeout=10)
            if status == 200 and text.startswith("200 OK"):
                latencies.append(time.monotonic() - started)
        except OSError:
            pass
    return latencies


def fill_account(database, email):
    connection = sqlite3.connect(database)
    with connection:
        account = connection.execute("SELECT id FROM accounts WHERE email = ?",
                                     (email,)).fetchone()[0]
        connection.executemany("INSERT INTO categories (account_id, name) VALUES (?, ?)",
                               ((account, f"Category {i}") for i in range(1000)))
        ids = [row[0] for row in connection.execute(
            "SELECT id FROM categories WHERE account_id = ?", (account,))]
        # About 400 bytes each: 20,000 of them come to the byte quota as well.
        connection.executemany(
            "INSERT INTO favorites (account_id, parent, name, url) VALUES (?, ?, ?, ?)",
            ((account, ids[i % len(ids)], f"Favorite {i} " + "n" * 100,
              f"https://example.com/{i}/" + "u" * 280) for i in range(20000)))
    connection.close()


def fetch_public_pages(port, email, clients):
    sizes = []

    def fetch():
        connection = http.client.HTTPConnection(HOST, port, timeout=120)
        try:
            connection.request("GET", "/plugin/zephlist.php?" +
                               urllib.parse.urlencode({"email": email}))
            reply = connection.getresponse()
            sizes.append((reply.status, len(reply.read())))
        finally:
            connection.close()
    threads = [threading.Thread(target=fetch) for _ in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return sizes


def hold_write_lock(database):
    connection = sqlite3.connect(database, timeout=10, isolation_level=None)
    connection.execute("BEGIN EXCLUSIVE")
    return connection


def stored_counts(database):
    connection = sqlite3.connect(database)
    try:
        rows = connection.execute(
            "SELECT name, COUNT(*) FROM favorites WHERE name LIKE 'bench-%' GROUP BY name")
        return dict(rows.fetchall())
    finally:
        connection.close()


def check_acknowledged(database, acknowledged):
    counts = stored_counts(database)
    missing = [name for name in acknowledged if counts.get(name, 0) == 0]
    doubled = [name for name in acknowledged if counts.get(name, 0) > 1]
    extra = len(counts) - len(set(acknowledged))
    print(f"acknowledged adds: {len(acknowledged)}; stored: {len(counts)}; "
          f"missing: {len(missing)}; stored twice or more: {len(doubled)}; "
          f"stored but not acknowledged (in flight or failed): {extra}")
    return not missing and not doubled


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", default=os.path.join(
        os.path.dirname(__file__), "../../../build/native/bin/tavrello-service"))
    parser.add_argument("--clients", type=int, default=20)
    parser.add_argument("--requests", type=int, default=200, help="requests per client")
    parser.add_argument("--max-seconds", type=float, default=600)
    parser.add_argument("--kill-after", type=int, default=0,
                        help="SIGKILL the service after this many acknowledged adds")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--retries", type=int, default=5,
                        help="times a request answered 503 with Retry-After is sent again")
    parser.add_argument("--keep", help="keep the database at this path")
    parser.add_argument("--idle-sockets", type=int, default=0,
                        help="connections left open without a byte during the run")
    parser.add_argument("--hold-write-lock", action="store_true",
                        help="hold the SQLite write lock from another connection during the run")
    parser.add_argument("--slow-senders", type=int, default=0,
                        help="connections sending a request a byte at a time")
    parser.add_argument("--slow-kind", choices=("head", "body"), default="head")
    parser.add_argument("--full-account", action="store_true",
                        help="fill one account to the quota and fetch its public page")
    parser.add_argument("--probes", type=int, default=10,
                        help="legitimate requests timed among the slow senders")
    args = parser.parse_args()
    if args.clients < 1 or args.clients > 100 or args.requests < 1 or args.requests > 10000:
        sys.exit("--clients must be 1 to 100 and --requests 1 to 10000")
    if args.idle_sockets < 0 or args.idle_sockets > 1000:
        sys.exit("--idle-sockets must be 0 to 1000")
    if args.slow_senders < 0 or args.slow_senders > 1000 or not 1 <= args.probes <= 100:
        sys.exit("--slow-senders must be 0 to 1000 and --probes 1 to 100")

    folder = tempfile.mkdtemp(prefix="tavrello-bench-")
    database = args.keep or os.path.join(folder, "bench.db")
    exe = os.path.abspath(args.exe)
    accounts = add_accounts(exe, database, args.clients)
    if args.full_account:
        fill_account(database, accounts[0][0])
    service, port = start_service(exe, database)
    ok = True
    idle = []
    locker = None
    try:
        idle = open_idle_sockets(port, args.idle_sockets)
        if args.full_account:
            for round in range(2):
                started = time.monotonic()
                sizes = fetch_public_pages(port, accounts[0][0], 4)
                print(f"public page of a full account, 4 at once: {sizes} (status, bytes) in "
                      f"{time.monotonic() - started:.1f} s")
            print(f"peak resident memory of the service: {peak_rss_kib(service.pid) / 1024:.1f} MiB")
            return 0
        if args.slow_senders:
            with SlowSenders(port, args.slow_senders, args.slow_kind, args.max_seconds) as slow:
                latencies = probe(port, accounts[0], args.probes)
            within = sum(1 for latency in latencies if latency <= 1.0)
            print(f"{args.slow_senders} slow senders ({args.slow_kind}, {slow.reopened} "
                  f"reopened after the service closed them): {within} of {args.probes} "
                  f"legitimate requests answered within 1 s, {len(latencies)} answered; "
                  f"max {max(latencies, default=0) * 1000:.0f} ms")
            print(f"peak resident memory of the service: {peak_rss_kib(service.pid) / 1024:.1f} MiB")
            return 0 if within == args.probes else 1
        if args.hold_write_lock:
            locker = hold_write_lock(database)
        run = Run(port, accounts, args.requests, time.monotonic() + args.max_seconds,
                  args.kill_after, args.seed, args.retries)
        started = time.monotonic()
        threads = run.run(args.clients)
        if args.kill_after:
            while not run.killed.wait(0.05):
                if not any(thread.is_alive() for thread in threads):
                    break
            peak = peak_rss_kib(service.pid)
            service.send_signal(signal.SIGKILL)
            service.wait()
            print(f"killed the service with SIGKILL after {len(run.acknowledged)} "
                  "acknowledged adds")
        for thread in threads:
            thread.join()
        wall = time.monotonic() - started
        for connection in idle:
            connection.close()
        idle = []
        if locker:
            locker.rollback()
            locker.close()
            locker = None
        if not args.kill_after:
            peak = peak_rss_kib(service.pid)
        latencies = sorted(run.latencies)
        print(f"clients {args.clients} x requests {args.requests}: {len(latencies)} answered, "
              f"{run.failures} without an answer, in {wall:.1f} s")
        print(f"statuses: {dict(sorted(run.statuses.items()))}; "
              f"sent again after a 503: {run.retried}")
        for kind, count in sorted(run.errors.items()):
            print(f"  no answer, {count} x {kind}")
        print(f"requests per second: {len(latencies) / wall:.1f}")
        print(f"latency p50: {percentile(latencies, 0.50) * 1000:.1f} ms, "
              f"p99: {percentile(latencies, 0.99) * 1000:.1f} ms")
        print(latency_line("adds", run.by_kind["add"]))
        print(latency_line("lists", run.by_kind["list"]))
        print(f"peak resident memory of the service: {peak / 1024:.1f} MiB")
        if args.kill_after:
            service, port = start_service(exe, database)
            print("restarted on the same file")
        service.send_signal(signal.SIGTERM)
        service.wait(timeout=60)
        ok = check_acknowledged(database, run.acknowledged)
    finally:
        for connection in idle:
            connection.close()
        if locker:
            locker.close()
        if service.poll() is None:
            service.kill()
            service.wait()
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
