#!/usr/bin/env python3
"""The receive path of a whole station, timed over a whole run.

A station without a display (the shipped default station, copied to a
temporary directory) reaches a KISS/TCP peer played by this script. Once the
operator (the UI driver) has opened the monitor, the peer sends a stream of
mixed frames of other stations: UI beacons with digipeaters, I frames, RR,
SABM/UA/DISC, frames with binary data. The script reports the frames per
second the station took, its CPU time per frame and the growth of its
resident memory after a warm-up.

    bench/receive_run.py [--frames N] [--build DIR] [--wrap "valgrind ..."]
                         [--no-monitor] [--heard]

With --wrap the program runs under the given command. --callgrind runs the
station twice under callgrind, without frames and with them, and reports the
difference of the instruction counts divided by the frames: the cost of one
received frame, start-up and shutdown left out. The count is taken (a
callgrind dump) once the station has taken every frame, before the script
reads the monitor pane back, which costs the station about 700 instructions
a frame that no operator pays. --pcap PATH writes the
frames as a capture file instead (for timing a dissector on the same frames,
e.g. `tshark -V -r PATH`).
"""
import argparse
import glob
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

FEND, FESC, TFEND, TFESC = 0xC0, 0xDB, 0xDC, 0xDD


def address(call, last=False, command=False, repeated=False):
    base, _, ssid = call.partition("-")
    ssid = int(ssid or 0)
    out = bytes((ord(c) << 1) for c in base.ljust(6)[:6])
    b = 0x60 | (ssid << 1) | (1 if last else 0)
    if command or repeated:
        b |= 0x80
    return out + bytes([b])


def frame(to, frm, via, control, pid=None, info=b""):
    out = address(to, command=True) + address(frm, last=not via)
    for i, v in enumerate(via):
        out += address(v, last=i == len(via) - 1, repeated=i == 0)
    out += bytes([control])
    if pid is not None:
        out += bytes([pid])
    return out + info


def kiss(data, port=0):
    body = bytearray([port << 4])
    for b in data:
        if b == FEND:
            body += bytes([FESC, TFEND])
        elif b == FESC:
            body += bytes([FESC, TFESC])
        else:
            body.append(b)
    return bytes([FEND]) + bytes(body) + bytes([FEND])


def mixed_frames(n, seed=1):
    rnd = random.Random(seed)
    calls = ["DL%dABC-%d" % (i % 10, i % 16) for i in range(40)]
    digis = ["WIDE1-1", "WIDE2-2", "DB0XYZ", "OE1XAR-10"]
    texts = [b"!4903.50N/07201.75W-Test station on 144.800", b"CQ CQ de packet, anyone around?",
             b"This is a longer line of a conversation between two other stations.\r",
             b"Mailbox check list:\r1234 DL1ABC  12.12. Hello\r1235 DL2XYZ 13.12. Re: Hello\r"]
    out = []
    for k in range(n):
        a, b = rnd.sample(calls, 2)
        via = rnd.sample(digis, rnd.randint(0, 2))
        kind = k % 10
        if kind < 4:
            f = frame("APRS", a, via, 0x03, 0xF0, rnd.choice(texts))
        elif kind < 7:
            ns, nr = rnd.randint(0, 7), rnd.randint(0, 7)
            f = frame(b, a, via, (nr << 5) | (ns << 1) | 0x10 * rnd.randint(0, 1), 0xF0, rnd.choice(texts))
        elif kind == 7:
            f = frame(b, a, via, 0x01 | (rnd.randint(0, 7) << 5))
        elif kind == 8:
            f = frame(b, a, via, rnd.choice([0x3F, 0x73, 0x53]))
        else:
            f = frame(b, a, via, 0x00, 0xF0, bytes(rnd.randrange(256) for _ in range(rnd.randint(20, 200))))
        out.append(kiss(f))
    return out


class Peer(threading.Thread):
    """The KISS/TCP peer: waits for the station, then for the go, then sends."""

    def __init__(self, frames, burst, warmup=0):
        super().__init__(daemon=True)
        self.warmup = warmup
        self.warm = threading.Event()
        self.go_on = threading.Event()
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.frames, self.burst = frames, burst
        self.connected = threading.Event()
        self.go = threading.Event()
        self.sent = threading.Event()
        self.sent_at = None

    def run(self):
        conn, _ = self.listener.accept()
        self.conn = conn
        self.connected.set()
        self.go.wait()
        for i in range(0, len(self.frames), self.burst):
            if self.warmup and i >= self.warmup and not self.warm.is_set():
                self.warm.set()
                self.go_on.wait()
            conn.sendall(b"".join(self.frames[i:i + self.burst]))
        self.sent_at = time.monotonic()
        self.sent.set()
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass


class Driver:
    """The station's UI driver socket: one request a line, answered by lines
    up to "OK" or "ERR". Texts travel in the given character set."""

    def __init__(self, path, encoding="latin-1", wait=120):
        deadline = time.monotonic() + wait
        while True:
            try:
                self.s = socket.socket(socket.AF_UNIX)
                self.s.connect(path)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        self.f = self.s.makefile("rwb")
        self.encoding = encoding

    def ask(self, line):
        self.f.write(line.encode(self.encoding) + b"\n")
        self.f.flush()
        out = []
        while True:
            r = self.f.readline().decode(self.encoding).rstrip("\n")
            out.append(r)
            if r.startswith("OK") or r.startswith("ERR") or not r:
                return out


def status(pid):
    vals = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            k, _, v = line.partition(":")
            vals[k] = v.strip()
    return int(vals["VmRSS"].split()[0])


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def callgrind_total(path):
    with open(path) as f:
        for line in f:
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1])
    raise SystemExit("no total in " + path)


def idle(pid):
    """Waits until the station's CPU time stands still."""
    last = cpu_seconds(pid)
    while True:
        time.sleep(0.5)
        c = cpu_seconds(pid)
        if c - last < 0.02:
            return
        last = c


def write_pcap(path, n):
    """The same frames as a capture file (link type AX.25) for other tools."""
    import struct
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 3))
        for k in mixed_frames(n):
            body = k[2:-1].replace(bytes([FESC, TFEND]), bytes([FEND])).replace(bytes([FESC, TFESC]), bytes([FESC]))
            f.write(struct.pack("<IIII", 0, 0, len(body), len(body)) + body)


def main():
    if "--pcap" in sys.argv:
        i = sys.argv.index("--pcap")
        n = int(sys.argv[sys.argv.index("--frames") + 1]) if "--frames" in sys.argv else 100_000
        write_pcap(sys.argv[i + 1], n)
        return
    if "--callgrind" in sys.argv:
        argv = [a for a in sys.argv[1:] if a != "--callgrind"]
        frames = 20_000
        if "--frames" in argv:
            frames = int(argv[argv.index("--frames") + 1])
            i = argv.index("--frames")
            del argv[i:i + 2]
        totals = []
        for n in (0, frames):
            out = tempfile.mktemp(prefix="tvk_cg_")
            subprocess.run([sys.executable, __file__, "--frames", str(n), "--wrap",
                            "valgrind --tool=callgrind --callgrind-out-file=" + out] + argv, check=True)
            # The dump taken before the final query of the pane, else the
            # whole run.
            parts = sorted(glob.glob(out + ".*"), key=lambda p: int(p.rsplit(".", 1)[1]))
            totals.append(callgrind_total(parts[0] if parts else out))
            for p in parts + [out]:
                if os.path.exists(p):
                    os.unlink(p)
        print("instructions      %d without frames, %d with %d frames: %.0f per frame"
              % (totals[0], totals[1], frames, (totals[1] - totals[0]) / max(1, frames)))
        return
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--frames", type=int, default=100_000)
    ap.add_argument("--burst", type=int, default=20, help="frames per write of the peer")
    ap.add_argument("--build", default="build")
    ap.add_argument("--wrap", default="")
    ap.add_argument("--callgrind", action="store_true")
    ap.add_argument("--warmup", type=int, default=0,
                    help="frames sent before the memory after warm-up is taken")
    ap.add_argument("--no-monitor", action="store_true")
    ap.add_argument("--heard", action="store_true", help="open the heard list too")
    args = ap.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, args.build)
    program = os.path.join(build, "src", "tarvik")
    station = tempfile.mkdtemp(prefix="tvk_recv_")
    shutil.copytree(os.path.join(root, "data"), station, dirs_exist_ok=True)
    for name in os.listdir(os.path.join(build, "station-cnf")):
        shutil.copy(os.path.join(build, "station-cnf", name), os.path.join(station, "cnf"))

    frames = mixed_frames(args.frames)
    peer = Peer(frames, args.burst, args.warmup)
    peer.start()
    ini = os.path.join(station, "TARVIK.INI")
    text = open(ini, encoding="cp1252").read()
    text = text.replace("DEVICE=127.0.0.1;8101", "DEVICE=127.0.0.1;%d" % peer.port)
    # The station's own KISS/TCP server listens elsewhere than a running station's.
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    text = text.replace("PORT=8100", "PORT=%d" % probe.getsockname()[1])
    probe.close()
    open(ini, "w", encoding="cp1252").write(text)

    sock = os.path.join(station, "driver.sock")
    cmd = args.wrap.split() + [program, "-NOGUI", "-DRIVER=" + sock, "TARVIK.INI"]
    proc = subprocess.Popen(cmd, cwd=station, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        drv = Driver(sock)
        if not peer.connected.wait(120):
            sys.exit("the station did not reach its port")
        # The main window comes up a moment after the start.
        deadline = time.monotonic() + 60
        while not any(" 1040 " in w for w in drv.ask("windows")):
            if time.monotonic() > deadline:
                sys.exit("no toolbox")
            time.sleep(0.1)
        if not args.no_monitor:
            print(drv.ask("press 1040 MONITOR")[-1], file=sys.stderr)
        if args.heard:
            print(drv.ask("press 1040 HEARD")[-1], file=sys.stderr)
        drv.ask("windows")
        rss0 = status(proc.pid)
        cpu0 = cpu_seconds(proc.pid)
        t0 = time.monotonic()
        peer.go.set()
        rss_warm = None
        if args.warmup:
            peer.warm.wait()
            idle(proc.pid)
            rss_warm = status(proc.pid)
            peer.go_on.set()
        peer.sent.wait()
        # The station has taken everything once its CPU time stands still.
        cpu1, t1 = cpu_seconds(proc.pid), time.monotonic()
        while True:
            time.sleep(0.5)
            c = cpu_seconds(proc.pid)
            if c - cpu1 < 0.02:
                break
            cpu1, t1 = c, time.monotonic()
        rss1 = status(proc.pid)
        if "callgrind" in args.wrap:
            # The count of the receive path ends here: what follows is this
            # script reading the whole monitor pane back through the driver.
            subprocess.run(["callgrind_control", "--dump=received", str(proc.pid)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        shown = drv.ask("lines 1050 MONITOR") if not args.no_monitor else ["", "OK -"]
    finally:
        proc.terminate()
        try:
            proc.wait(60)
        except subprocess.TimeoutExpired:
            proc.kill()
        shutil.rmtree(station, ignore_errors=True)
    n = max(1, args.frames)
    print("frames            %d" % args.frames)
    print("wall seconds      %.2f  (%.0f frames/s)" % (t1 - t0, n / max(1e-9, t1 - t0)))
    print("cpu seconds       %.2f  (%.1f us/frame)" % (cpu1 - cpu0, (cpu1 - cpu0) * 1e6 / n))
    print("monitor           %s, last line: %s" % (shown[-1], shown[-2] if len(shown) > 1 else "-"))
    print("rss kB            %d -> %d  (%+.3f kB/frame)" % (rss0, rss1, (rss1 - rss0) / n))
    if rss_warm is not None:
        print("rss after warm-up %d kB after %d frames, %+d kB over the %d frames after it"
              % (rss_warm, args.warmup, rss1 - rss_warm, args.frames - args.warmup))


if __name__ == "__main__":
    main()
