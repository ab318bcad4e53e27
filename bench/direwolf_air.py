#!/usr/bin/env python3
"""Tarvik's link against Dire Wolf's over a simulated 1200 bit/s radio channel.

Two Dire Wolf instances (A and B) are joined by simulated audio: each takes
its receive audio from standard input and gives its transmit audio to an
ALSA "file" device writing into a FIFO. The relay in this script plays what
one instance transmits into the other's input in real time (silence is
zeros, so the receiver's clock runs), so carrier sense and half duplex are
real: a station hears nothing while it transmits itself, and if both key up
at once both are garbled. With --drop N every N-th transmission on the
channel (a transmission is one key-up of either instance) is lost: the
receiver hears a carrier of random tones at 1200 bit/s instead, so its DCD
holds as for a real garbled transmission, but it decodes nothing.

Both instances use the channel access of Tarvik's shipped [TCPCHAN] section
(TXDELAY 300 ms, TXTAIL 20 ms, PERSIST 25 %, SLOTTIME 100 ms), PACLEN 256,
MAXFRAME 7 and AX.25 v2.0 towards every call used here.

Scenarios, each moving 10240 bytes of text and checking every byte:
  tarvik-dw   a headless Tarvik station (the shipped station, its port 0 on
              A's KISS TCP port, the channel set to [TCPCHAN]'s values) sends
              a text file (connect dialog, Send file) to B's own data link,
              received by an AGW client of this script;
  dw-dw       an AGW client on A sends through A's data link to B;
  dw-tarvik   B's data link sends to the Tarvik station, which shows the
              text in its channel window (read back through the UI driver).

    bench/direwolf_air.py [--scenario NAME ...] [--drop 0 3] [--loss P --seed S ...]
                          [--build DIR] [--keep]

--loss P (with --drop 0) loses each transmission with probability P from a
seeded generator instead of every N-th: with every third one lost, both ends
of a link whose exchange takes three transmissions can stay in step with the
pattern and lose the same one each time.

For each run: payload bytes per second (from handing the data over to the
last byte received; when the link ends first, the bytes received by then
over the time until it ended), I frames sent and sent again, polls (commands with P
set) and answers of the receiver, transmissions (lost, collided), and the
longest stall (the longest time without new data at the receiver). Frames
are counted from the Dire Wolf consoles (what each instance transmitted).
"""
import argparse
import array
import math
import os
import random
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

import receive_run  # the UI driver client, beside this script

RATE = 22050
TICK = 441  # samples per relay step (20 ms)
PAYLOAD_LINES = 160


def payload():
    """160 lines of 64 bytes, CR at the end of each: 10240 bytes."""
    rnd = random.Random(7)
    words = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"]
    lines = []
    for i in range(PAYLOAD_LINES):
        text = "%05d " % i
        while len(text) < 63:
            text += rnd.choice(words) + " "
        lines.append(text[:62] + ".")
    return lines


def free_port():
    """A free TCP port below the range the system hands out by itself:
    Dire Wolf does not take ports above it."""
    for i in range(2000):
        port = 20000 + (os.getpid() * 7 + i + random.randrange(10000)) % 10000
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
            return port
    raise RuntimeError("no free port")


def noise_afsk(seconds=20.0, seed=3):
    """AFSK of random bits at 1200 bit/s: a carrier that carries no frame."""
    rnd = random.Random(seed)
    out = array.array("h")
    phase = 0.0
    freq = 1200.0
    samples_per_bit = RATE / 1200.0
    next_bit = 0.0
    for i in range(int(seconds * RATE)):
        if i >= next_bit:
            next_bit += samples_per_bit
            if rnd.random() < 0.5:
                freq = 3400.0 - freq  # 1200 <-> 2200 Hz
        phase += 2 * math.pi * freq / RATE
        out.append(int(16000 * math.sin(phase)))
    return out.tobytes()


class Relay(threading.Thread):
    """Carries each instance's transmitted audio to the other's input."""

    def __init__(self, drop, loss=0.0, seed=1):
        super().__init__(daemon=True)
        self.drop = drop
        self.loss = loss
        self.rnd = random.Random(seed)
        self.noise = noise_afsk()
        self.fifo = [None, None]
        self.stdin = [None, None]
        self.txs = [[], []]  # per side: [start sample, bytearray, lost]
        self.last_data = [0.0, 0.0]
        self.count = 0
        self.lost = 0
        self.collisions = 0
        self.stop = threading.Event()
        self.tick = 0

    def attach(self, side, fifo_fd, stdin_fd):
        self.fifo[side], self.stdin[side] = fifo_fd, stdin_fd

    def reset_counts(self):
        self.count = self.lost = self.collisions = 0

    def _read(self, side, now_sample):
        fd = self.fifo[side]
        if fd is None:
            return
        while True:
            try:
                data = os.read(fd, 1 << 20)
            except BlockingIOError:
                return
            if not data:
                return
            t = time.monotonic()
            txs = self.txs[side]
            if not txs or t - self.last_data[side] > 0.1:
                start = now_sample
                if txs:
                    start = max(start, txs[-1][0] + len(txs[-1][1]) // 2)
                self.count += 1
                lost = (self.drop > 0 and self.count % self.drop == 0) or self.rnd.random() < self.loss
                other = self.txs[1 - side]
                if other and other[-1][0] + len(other[-1][1]) // 2 > start:
                    self.collisions += 1
                if lost:
                    self.lost += 1
                txs.append([start, bytearray(), lost])
                del txs[:-4]
            self.last_data[side] = t
            txs[-1][1] += data

    def _heard(self, to, a, b):
        """The samples [a, b) that side `to` hears."""
        out = bytearray((b - a) * 2)
        own = [(s, s + len(d) // 2) for s, d, _ in self.txs[to]]
        for start, data, lost in self.txs[1 - to]:
            end = start + len(data) // 2
            x, y = max(a, start), min(b, end)
            if x >= y:
                continue
            pieces = [(x, y)]
            for s, e in own:  # half duplex: deaf while transmitting
                cut = []
                for p, q in pieces:
                    if e <= p or s >= q:
                        cut.append((p, q))
                        continue
                    if p < s:
                        cut.append((p, s))
                    if e < q:
                        cut.append((e, q))
                pieces = cut
            for p, q in pieces:
                if lost:
                    n = len(self.noise) // 2
                    for i in range(p, q):
                        k = ((i - start) % n) * 2
                        out[(i - a) * 2:(i - a) * 2 + 2] = self.noise[k:k + 2]
                else:
                    out[(p - a) * 2:(q - a) * 2] = data[(p - start) * 2:(q - start) * 2]
        return bytes(out)

    def run(self):
        t0 = time.monotonic()
        while not self.stop.is_set():
            a = self.tick * TICK
            for side in (0, 1):
                self._read(side, a)
            for side in (0, 1):
                if self.stdin[side] is None:
                    continue
                try:
                    os.write(self.stdin[side], self._heard(side, a, a + TICK))
                except OSError:
                    self.stdin[side] = None
            self.tick += 1
            delay = t0 + self.tick * TICK / RATE - time.monotonic()
            if delay > 0:
                time.sleep(delay)


class DireWolf:
    def __init__(self, name, workdir, mycall, kissport, agwport, v20):
        self.dir = os.path.join(workdir, name)
        os.makedirs(self.dir, exist_ok=True)
        self.fifo_path = os.path.join(self.dir, "tx.fifo")
        os.mkfifo(self.fifo_path)
        with open(os.path.join(self.dir, ".asoundrc"), "w") as f:
            f.write('pcm.relay {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n'
                    % self.fifo_path)
        conf = os.path.join(self.dir, "direwolf.conf")
        with open(conf, "w") as f:
            f.write("ADEVICE stdin relay\nARATE %d\nCHANNEL 0\nMYCALL %s\nMODEM 1200\n"
                    "TXDELAY 30\nTXTAIL 2\nPERSIST 63\nSLOTTIME 10\nFIX_BITS 0\n"
                    "KISSPORT %d\nAGWPORT %d\nPACLEN 256\nMAXFRAME 7\nV20 %s\n"
                    % (RATE, mycall, kissport, agwport, " ".join(v20)))
        self.fifo_fd = os.open(self.fifo_path, os.O_RDONLY | os.O_NONBLOCK)
        self.console = os.path.join(self.dir, "console.txt")
        env = dict(os.environ, HOME=self.dir)
        self.proc = subprocess.Popen(["stdbuf", "-oL", "direwolf", "-c", conf, "-t", "0", "-T", "%T"],
                                     cwd=self.dir, env=env, stdin=subprocess.PIPE,
                                     stdout=open(self.console, "wb"), stderr=subprocess.STDOUT)
        self.kissport, self.agwport = kissport, agwport

    def wait_ready(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if "Ready to accept AGW" in self.text():
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        sys.exit("Dire Wolf did not start:\n" + self.text())

    def text(self):
        with open(self.console, encoding="latin-1") as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        os.close(self.fifo_fd)


class Agw(threading.Thread):
    """An AGW client: registers a call, connects or accepts, counts data."""

    def __init__(self, port, call):
        super().__init__(daemon=True)
        self.s = socket.create_connection(("127.0.0.1", port))
        self.call = call
        self.received = bytearray()
        self.arrivals = []
        self.connected = threading.Event()
        self.disconnected = threading.Event()
        self.peer = None
        self.send(b"X", call, "")
        self.start()

    def send(self, kind, frm, to, data=b""):
        hdr = struct.pack("<B3xcxB x10s10sI4x", 0, kind, 0xF0 if kind == b"D" else 0,
                          frm.encode(), to.encode(), len(data))
        self.s.sendall(hdr + data)

    def run(self):
        buf = b""
        while True:
            try:
                chunk = self.s.recv(65536)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            while len(buf) >= 36:
                n = struct.unpack("<I", buf[28:32])[0]
                if len(buf) < 36 + n:
                    break
                kind = buf[4:5]
                frm = buf[8:18].split(b"\0")[0].decode()
                data = buf[36:36 + n]
                buf = buf[36 + n:]
                if kind == b"C":
                    self.peer = frm
                    self.connected.set()
                elif kind == b"d":
                    self.disconnected.set()
                elif kind == b"D":
                    self.received += data
                    self.arrivals.append((time.monotonic(), len(self.received)))


class Driver(receive_run.Driver):
    def __init__(self, path):
        super().__init__(path, encoding="cp1252", wait=60)

    def window(self, text):
        found = None
        for line in self.ask("windows"):
            if text in line:
                found = line[2:].split(" ", 1)[0]
        return found


class LinkEnded(Exception):
    pass


def wait(pred, seconds, what, ended=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if ended is not None and ended():
            raise LinkEnded(what)
        v = pred()
        if v:
            return v
        time.sleep(0.2)
    raise RuntimeError("timed out waiting for " + what)


class Tarvik:
    def __init__(self, root, build, workdir, kissport):
        self.station = os.path.join(workdir, "tarvik")
        shutil.copytree(os.path.join(root, "data"), self.station, dirs_exist_ok=True)
        for name in os.listdir(os.path.join(build, "station-cnf")):
            shutil.copy(os.path.join(build, "station-cnf", name), os.path.join(self.station, "cnf"))
        ini = os.path.join(self.station, "TARVIK.INI")
        text = open(ini, encoding="cp1252").read()
        text = text.replace("DEVICE=127.0.0.1;8101", "DEVICE=127.0.0.1;%d" % kissport)
        text = text.replace("PORT=8100", "PORT=%d" % free_port())
        # Port 0's radio channel gets the shipped [TCPCHAN] values.
        tcpchan = re.search(r"\[TCPCHAN\]\n(.*?)\n\n", text, re.S).group(1)
        values = "\n".join(l for l in tcpchan.splitlines() if not l.startswith(("TITLE=", "QRG=")))
        text = re.sub(r"(\[P0CHAN0\]\nTITLE=[^\n]*\nQRG=[^\n]*\n).*?\n\n",
                      lambda m: m.group(1) + values + "\n\n", text, flags=re.S)
        open(ini, "w", encoding="cp1252").write(text)
        sock = os.path.join(self.station, "driver.sock")
        self.proc = subprocess.Popen([os.path.join(build, "src", "tarvik"), "-NOGUI",
                                      "-DRIVER=" + sock, "TARVIK.INI"], cwd=self.station,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.drv = Driver(sock)
        wait(lambda: any(" 1040 " in w for w in self.drv.ask("windows")), 60, "the toolbox")

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()


FRAME = re.compile(r"^\[0[LH][^\]]*\] ([A-Z0-9-]+)>([A-Z0-9-]+)[^:]*:\((\w+) (cmd|res)"
                   r"(?:, n\(s\)=(\d))?(?:, n\(r\)=(\d))?, [pf]=(\d)")


def transmitted(console, frm):
    """The frames an instance transmitted from call `frm`: (type, cmd, ns, pf)."""
    out = []
    for line in console.splitlines():
        m = FRAME.match(line)
        if m and m.group(1) == frm:
            out.append((m.group(3), m.group(4) == "cmd", m.group(5), m.group(7) == "1"))
    return out


def frame_counts(sender_frames, receiver_frames):
    sent = resent = polls = 0
    next_new = 0
    for kind, cmd, ns, pf in sender_frames:
        if kind == "I":
            sent += 1
            if int(ns) == next_new:
                next_new = (next_new + 1) % 8
            else:
                resent += 1
        if cmd and pf and kind != "SABM" and kind != "DISC":
            polls += 1
    answers = {}
    for kind, _, _, _ in receiver_frames:
        if kind in ("RR", "RNR", "REJ", "SREJ"):
            answers[kind] = answers.get(kind, 0) + 1
    return sent, resent, polls, answers


def stall(start, arrivals):
    longest, last = 0.0, start
    for t, _ in arrivals:
        longest = max(longest, t - last)
        last = t
    return longest


def run(scenario, drop, root, build, loss=0.0, seed=1):
    workdir = tempfile.mkdtemp(prefix="tvk_dwair_")
    relay = Relay(drop, loss, seed)
    procs = []
    lines = payload()
    text = "".join(l + "\r" for l in lines).encode()
    assert len(text) == 10240
    try:
        kiss_a, agw_a, agw_b = free_port(), free_port(), free_port()
        calls = ["N0CALL-1", "N0DWA", "N0DWA-1", "N0DWB"]
        a = DireWolf("a", workdir, "N0DWA", kiss_a, agw_a, calls)
        b = DireWolf("b", workdir, "N0DWB", 0, agw_b, calls)
        procs += [a, b]
        relay.attach(0, a.fifo_fd, a.proc.stdin.fileno())
        relay.attach(1, b.fifo_fd, b.proc.stdin.fileno())
        relay.start()
        a.wait_ready()
        b.wait_ready()
        agent_b = Agw(agw_b, "N0DWB")
        ended = False  # the link went down before everything arrived
        if scenario == "tarvik-dw":
            tv = Tarvik(root, build, workdir, kiss_a)
            procs.append(tv)
            d = tv.drv
            wait(lambda: d.ask("menu MAIN File/Connect...")[-1] == "OK", 30, "the connect menu")
            wait(lambda: d.window(" 1030 "), 30, "the connect dialog")
            d.ask("set 1030 STATION N0DWB")
            d.ask("press 1030 OK")
            wait(agent_b.connected.is_set, 180, "the connection")
            win = wait(lambda: d.window("<-> N0DWB"), 60, "the channel window")
            path = os.path.join(workdir, "payload.txt")
            open(path, "wb").write(text)
            relay.reset_counts()
            sender_call, sender_dw, receiver_dw, receiver_call = "N0CALL-1", a, b, "N0DWB"
            d.ask("file " + path)
            t0 = time.monotonic()
            r = d.ask("press %s SND" % win)
            if r[-1] != "OK":
                raise RuntimeError("Send file: %s" % r)
            try:
                wait(lambda: len(agent_b.received) >= len(text), 1800, "the file at Dire Wolf B",
                     agent_b.disconnected.is_set)
            except LinkEnded:
                ended = True
            t1 = time.monotonic() if ended else agent_b.arrivals[-1][0]
            got = bytes(agent_b.received)
            arrivals = agent_b.arrivals
        elif scenario == "dw-dw":
            agent_a = Agw(agw_a, "N0DWA-1")
            time.sleep(0.5)
            agent_a.send(b"C", "N0DWA-1", "N0DWB")
            wait(agent_b.connected.is_set, 180, "the connection")
            wait(agent_a.connected.is_set, 180, "the connection at A")
            relay.reset_counts()
            sender_call, sender_dw, receiver_dw, receiver_call = "N0DWA-1", a, b, "N0DWB"
            t0 = time.monotonic()
            for i in range(0, len(text), 256):
                agent_a.send(b"D", "N0DWA-1", "N0DWB", text[i:i + 256])
            try:
                wait(lambda: len(agent_b.received) >= len(text), 1800, "the data at Dire Wolf B",
                     lambda: agent_b.disconnected.is_set() or agent_a.disconnected.is_set())
            except LinkEnded:
                ended = True
            t1 = time.monotonic() if ended else agent_b.arrivals[-1][0]
            got = bytes(agent_b.received)
            arrivals = agent_b.arrivals
        else:  # dw-tarvik
            tv = Tarvik(root, build, workdir, kiss_a)
            procs.append(tv)
            d = tv.drv
            time.sleep(1)
            agent_b.send(b"C", "N0DWB", "N0CALL-1")
            wait(agent_b.connected.is_set, 180, "the connection")
            win = wait(lambda: d.window("<-> N0DWB"), 60, "the channel window")
            relay.reset_counts()
            sender_call, sender_dw, receiver_dw, receiver_call = "N0DWB", b, a, "N0CALL-1"
            t0 = time.monotonic()
            for i in range(0, len(text), 256):
                agent_b.send(b"D", "N0DWB", "N0CALL-1", text[i:i + 256])
            shown = re.compile(r"^= (\d{5} .*)$")
            arrivals, count = [], 0
            deadline = time.monotonic() + 1800
            while time.monotonic() < deadline:
                got_lines = [m.group(1) for m in map(shown.match, d.ask("lines %s LISTE" % win)) if m]
                if len(got_lines) > count:
                    count = len(got_lines)
                    arrivals.append((time.monotonic(), count))
                if count >= len(lines):
                    break
                if agent_b.disconnected.is_set():
                    ended = True
                    break
                time.sleep(0.5)
            else:
                raise RuntimeError("the text did not arrive at Tarvik")
            t1 = time.monotonic() if ended else arrivals[-1][0]
            got = "".join(l + "\r" for l in got_lines).encode()
        # Frames counted once the receiver has everything.
        time.sleep(2)
        counts = frame_counts(transmitted(sender_dw.text(), sender_call),
                              transmitted(receiver_dw.text(), receiver_call))
        ok = got[:len(text)] == text and len(got) == len(text)
        return {
            "rate": min(len(got), len(text)) / (t1 - t0), "seconds": t1 - t0, "ok": ok, "counts": counts,
            "tx": relay.count, "lost": relay.lost, "coll": relay.collisions,
            "stall": stall(t0, arrivals), "workdir": workdir, "ended": ended,
            "received": len(got),
        }
    finally:
        relay.stop.set()
        for p in reversed(procs):
            p.close()
        relay.join(5)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--scenario", nargs="*", default=["tarvik-dw", "dw-dw", "dw-tarvik"])
    ap.add_argument("--drop", nargs="*", type=int, default=[0, 3],
                    help="lose every N-th transmission (0: none)")
    ap.add_argument("--loss", type=float, default=0.0,
                    help="lose each transmission with this probability instead (seeded)")
    ap.add_argument("--seed", type=int, nargs="*", default=[1],
                    help="one run per seed of the loss generator, and the mean")
    ap.add_argument("--build", default="build")
    ap.add_argument("--keep", action="store_true", help="keep the consoles and the station")
    args = ap.parse_args()
    if not shutil.which("direwolf"):
        sys.exit("direwolf is not installed")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, args.build)
    print("%-10s %-5s %7s %7s %5s %6s %6s %-22s %9s %7s %s"
          % ("scenario", "drop", "B/s", "seconds", "I", "again", "polls", "answers",
             "tx/lost", "stall", "content"))
    rates = {}
    for drop in args.drop:
        for seed in args.seed:
            for scenario in args.scenario:
                r = run(scenario, drop, root, build, args.loss, seed)
                sent, resent, polls, answers = r["counts"]
                ans = " ".join("%s %d" % kv for kv in sorted(answers.items())) or "-"
                pattern = "1/%d" % drop if drop else "p%.2f" % args.loss if args.loss else "none"
                rates.setdefault((scenario, pattern), []).append(r["rate"] if r["ok"] else 0.0)
                print("%-10s %-5s %7.1f %7.1f %5d %6d %6d %-22s %4d/%-4d %6.1fs %s"
                      % (scenario, pattern, r["rate"], r["seconds"], sent,
                         resent, polls, ans, r["tx"], r["lost"], r["stall"],
                         "right" if r["ok"] else
                         "link ended after %d bytes" % r["received"] if r["ended"] else "WRONG"),
                      flush=True)
                if args.keep:
                    print("  kept in " + r["workdir"], flush=True)
                else:
                    shutil.rmtree(r["workdir"], ignore_errors=True)
    if any(len(v) > 1 for v in rates.values()):
        # Random loss varies a lot from run to run: the mean over the seeds
        # (a run whose link ended or whose data was wrong counts as 0).
        for (scenario, pattern), v in rates.items():
            print("mean %-10s %-5s %7.1f B/s over %d runs" % (scenario, pattern, sum(v) / len(v), len(v)))

if __name__ == "__main__":
    main()
