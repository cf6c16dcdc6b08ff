#!/usr/bin/env python3
"""quillnet --relay beside socat TCP-LISTEN:… TCP:… on loopback: throughput of 1 MB writes (one way,
then both ways at once, every byte checked in order) and the latency a relay adds (p50/p90 of a 1-byte
ping-pong through the relay minus the same without it). Alternates the two relays in rounds.

usage: bench/relay/relay_vs_socat.py QUILLNET [--mb 256] [--rounds 3] [--pings 2000]
"""
import argparse, hashlib, os, re, socket, statistics, subprocess, sys, threading, time

CHUNK = 1 << 20


def block(seed):
    return hashlib.sha256(str(seed).encode()).digest() * (CHUNK // 32)


def listen():
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(4)
    return s


def start_relay(kind, quillnet, target_port):
    if kind == "socat":
        # Without fork socat serves one connection: the caller's first connect (connect_retrying).
        probe = listen(); port = probe.getsockname()[1]; probe.close()
        p = subprocess.Popen(["socat", "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr" % port, "TCP:127.0.0.1:%d" % target_port],
                             stderr=subprocess.DEVNULL)
        return p, port
    p = subprocess.Popen([quillnet, "--relay", "listen:0", "127.0.0.1:%d" % target_port, "--quiet"],
                         stderr=subprocess.PIPE, text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    while True:
        line = p.stderr.readline()
        m = re.search(r"ﾎﾟｰﾄ (\d+)", line)
        if m:
            threading.Thread(target=p.stderr.read, daemon=True).start()
            return p, int(m.group(1))
        if not line:
            raise SystemExit("quillnet --relay did not start")


def connect_retrying(port):
    for _ in range(500):
        try:
            return socket.create_connection(("127.0.0.1", port))
        except ConnectionRefusedError:
            time.sleep(0.01)
    raise SystemExit("relay did not listen")


def pump(sock, total, seed, out):
    data = block(seed)
    sent = 0
    while sent < total:
        sock.sendall(data)
        sent += len(data)
    out["sent"] = sent


def drain(sock, total, seed, out):
    data = block(seed)
    buf = bytearray(4 * CHUNK)
    view = memoryview(buf)
    got = 0
    ok = True
    while got < total:
        n = sock.recv_into(view)
        if n == 0:
            break
        # Check in place against the repeating pattern.
        off = got % CHUNK
        i = 0
        while i < n:
            take = min(n - i, CHUNK - off)
            if view[i:i + take] != data[off:off + take]:
                ok = False
            i += take
            off = 0
        got += n
    out["got"] = got
    out["ok"] = ok


def throughput(kind, quillnet, mb, both):
    server = listen()
    proc, port = start_relay(kind, quillnet, server.getsockname()[1])
    client = connect_retrying(port)
    peer, _ = server.accept()
    total = mb * CHUNK
    results = [{}, {}, {}, {}]
    threads = [threading.Thread(target=pump, args=(client, total, 1, results[0])),
               threading.Thread(target=drain, args=(peer, total, 1, results[1]))]
    if both:
        threads += [threading.Thread(target=pump, args=(peer, total, 2, results[2])),
                    threading.Thread(target=drain, args=(client, total, 2, results[3]))]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    seconds = time.perf_counter() - t0
    client.close(); peer.close(); server.close()
    proc.terminate(); proc.wait(timeout=10)
    ok = results[1].get("ok") and results[1].get("got") == total
    if both:
        ok = ok and results[3].get("ok") and results[3].get("got") == total
    moved = total * (2 if both else 1)
    return moved / seconds / 1e6, ok


def pingpong(sock, count):
    times = []
    for _ in range(count):
        t0 = time.perf_counter_ns()
        sock.sendall(b"x")
        if sock.recv(1) != b"x":
            raise SystemExit("echo lost")
        times.append((time.perf_counter_ns() - t0) / 1000.0)
    return times


def echo_server():
    server = listen()

    def serve():
        while True:
            c, _ = server.accept()
            c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

            def loop(c=c):
                while True:
                    d = c.recv(65536)
                    if not d:
                        return
                    c.sendall(d)
            threading.Thread(target=loop, daemon=True).start()
    threading.Thread(target=serve, daemon=True).start()
    return server


def latency(kind, quillnet, pings, server):
    port = server.getsockname()[1]
    if kind == "direct":
        c = socket.create_connection(("127.0.0.1", port))
        proc = None
    else:
        proc, relay_port = start_relay(kind, quillnet, port)
        c = connect_retrying(relay_port)
    c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    pingpong(c, 100)  # warm-up
    times = sorted(pingpong(c, pings))
    c.close()
    if proc:
        proc.terminate(); proc.wait(timeout=10)
    return times[len(times) // 2], times[len(times) * 9 // 10]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("quillnet")
    ap.add_argument("--mb", type=int, default=256)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--pings", type=int, default=2000)
    a = ap.parse_args()
    rows = {}
    for r in range(a.rounds):
        for kind in ("quillnet", "socat"):
            for both in (False, True):
                rate, ok = throughput(kind, a.quillnet, a.mb, both)
                rows.setdefault((kind, both), []).append((rate, ok))
                print("round %d %-8s %-9s %8.0f MB/s %s" % (r + 1, kind, "both ways" if both else "one way", rate,
                                                           "whole" if ok else "LOST/REORDERED"), flush=True)
    server = echo_server()
    lat = {}
    for r in range(a.rounds):
        for kind in ("direct", "quillnet", "socat"):
            lat.setdefault(kind, []).append(latency(kind, a.quillnet, a.pings, server))
    print()
    print("| relay | one way MB/s (median of %d) | both ways MB/s (sum of both) | bytes whole |" % a.rounds)
    print("|---|---|---|---|")
    for kind in ("quillnet", "socat"):
        one = statistics.median(x for x, _ in rows[(kind, False)])
        two = statistics.median(x for x, _ in rows[(kind, True)])
        whole = all(ok for key in ((kind, False), (kind, True)) for _, ok in rows[key])
        print("| %s | %.0f | %.0f | %s |" % (kind, one, two, "yes" if whole else "NO"))
    print()
    print("| path | RTT p50 µs | RTT p90 µs | added p50 µs (one way: half the RTT added) |")
    print("|---|---|---|---|")
    base = statistics.median(p50 for p50, _ in lat["direct"])
    for kind in ("direct", "quillnet", "socat"):
        p50 = statistics.median(x for x, _ in lat[kind])
        p90 = statistics.median(y for _, y in lat[kind])
        print("| %s | %.1f | %.1f | %s |" % (kind, p50, p90, "—" if kind == "direct" else "%.1f" % ((p50 - base) / 2)))


if __name__ == "__main__":
    main()
