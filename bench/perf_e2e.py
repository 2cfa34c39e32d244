#!/usr/bin/env python3
"""Speed and weight of the real program beside the floor and a minimal relay, in one run.

  floor:   this script writing a line into a pseudo-terminal and reading it back from
           the device side itself (the least any reader can see)
  relay:   bench/min_relay.c: poll, cut lines, keep the number, one datagram per NAME
  Qt relay (--qt-relay): bench/min_qt_relay.cpp, the same relay on Qt's event loop,
           QSerialPort and QUdpSocket, the parts the program is built on
  program: xapvynCID headless, its CID.Incoming announcement at the hub port
  program B (--program-b): another build of the program, timed in the same turns, to
           compare two builds in one run; then each program has a loopback address of its
           own (127.0.0.2 and 127.0.0.4, added to the namespace's loopback device; as an
           interface mask neither admits 127.0.0.1 or the other)

Modes, each over --calls calls (the timed ones take the targets in turn, call by call):
  paced:        the five lines of a call 1 ms apart; NAME line written -> received
  one write:    the whole call in one write -> received
  back to back: calls written without waiting; calls per second until the last arrives
Also, for the program and the relay: CPU per paced call (/proc/<pid>/schedstat), system
calls per paced call (strace -c over 200 calls), resident memory at start and after the
calls, idle wake-ups per second (context switches over 10 s), for the program the time
from start to its first heartbeat over 20 starts, and for each daemon the code a paced
NAME line touches from its read to the first send (bench/code_touched.py, callgrind).

A bare Qt program (bench/min_qt.cpp: a QCoreApplication with one UDP socket), when
given, shows how much of the resident memory Qt Core and Network cost by themselves.

Usage: bench/perf_e2e.py PROGRAM MIN_RELAY [--qt-relay MIN_QT_RELAY] [--min-qt MIN_QT]
                         [--program-b OTHER_BUILD] [--calls 2000]
Runs itself again under `unshare -n` (root), so every address is a private loopback.
"""
import argparse, os, pty, re, select, shutil, socket, subprocess, tempfile, time, tty
from benchrig import in_private_network, program_folder, wait_text
import code_touched

HUB, RELAY_PORT, FLOOR_PORT, QT_RELAY_PORT = 3639, 3640, 3641, 3642
PORTS = {"program": HUB, "program b": HUB, "relay": RELAY_PORT, "qt relay": QT_RELAY_PORT}
ADDRESSES = {}


def is_program(kind):
    return kind.startswith("program")


def stats(us):
    us = sorted(us)
    if not us:
        return None
    return us[len(us) // 2], us[min(len(us) - 1, len(us) * 99 // 100)], us[-1]


def call_lines(i):
    return ["RING", "DATE = 1210", "TIME = 1200", "NMBR = 555%07d" % (100000 + i),
            "NAME = BENCH %d" % i]


def sched_ns(pid):
    with open("/proc/%d/schedstat" % pid) as f:
        return int(f.read().split()[0])


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def switches(pid):
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
            text = f.read()
        total += sum(int(v) for v in re.findall(r"ctxt_switches:\s+(\d+)", text))
    return total


def threads(pid):
    return len(os.listdir("/proc/%d/task" % pid))


class Target:
    """A daemon reading a pseudo-terminal and announcing on a UDP socket."""

    def __init__(self, kind, exe):
        self.kind, self.exe = kind, exe
        self.folder = tempfile.mkdtemp(prefix="perf-e2e-")
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        self.rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        # Room for every message of a back-to-back run (SO_RCVBUFFORCE: as root).
        self.rx.setsockopt(socket.SOL_SOCKET, 33, 64 << 20)
        self.address = ADDRESSES.get(kind, "127.0.0.1")
        self.rx.bind((self.address, PORTS.get(kind, FLOOR_PORT)))
        self.proc = None

    def start(self):
        if self.kind != "floor":
            self.launch()
            self.ready(10)

    def command(self):
        """The daemon's command line and environment (for a run under a profiler)."""
        if not is_program(self.kind):
            return [self.exe, self.path, str(PORTS[self.kind])], dict(os.environ)
        settings = program_folder(self.folder, "CIDCommPort=%s\r\n" % self.path, self.address)
        env = dict(os.environ, XDG_CONFIG_HOME=settings + "/xdg")
        env.pop("DISPLAY", None)
        return [self.exe, "--headless", "--home", settings + "/home"], env

    def ready(self, timeout):
        """Waits until the daemon reads its device: the program's modem set-up, or a pause."""
        if is_program(self.kind):
            assert wait_text(self.master, b"AT#CID=1", timeout), "the program never opened the modem"
            time.sleep(0.5)
        else:  # a relay says nothing when it is ready; under a profiler it starts slowly
            time.sleep(timeout / 30)
        self.drain()

    def launch(self):
        """Starts the daemon on this target's pseudo-terminal (the program's standard error
        discarded)."""
        command, env = self.command()
        self.proc = subprocess.Popen(command, env=env,
                                     stderr=subprocess.DEVNULL if is_program(self.kind) else None)

    def drain(self):
        while select.select([self.rx], [], [], 0)[0]:
            self.rx.recv(65536)
        if self.kind != "floor":
            while select.select([self.master], [], [], 0)[0]:
                os.read(self.master, 65536)

    def wait(self, timeout=5):
        """Arrival time of the next announcement (or, for the floor, of the NAME line)."""
        end = time.monotonic() + timeout
        if self.kind == "floor":
            seen = b""
            while time.monotonic() < end:
                if select.select([self.slave], [], [], end - time.monotonic())[0]:
                    seen += os.read(self.slave, 65536)
                    if b"NAME = " in seen and seen.endswith(b"\r\n"):
                        return time.monotonic()
            return None
        while time.monotonic() < end:
            if select.select([self.rx], [], [], end - time.monotonic())[0]:
                data = self.rx.recv(65536)
                if not is_program(self.kind) or b"class=CID.Incoming" in data:
                    return time.monotonic()
        return None

    def one_call(self, i, paced, timeout=5):
        """Microseconds from the last write of call i to its announcement: the NAME line
        after the others 1 ms apart (paced), or the whole call in one write."""
        lines = [line + "\r\n" for line in call_lines(i)]
        if paced:
            for line in lines[:-1]:
                os.write(self.master, line.encode())
                time.sleep(0.001)
            if self.kind == "floor":
                os.read(self.slave, 65536)
            last = lines[-1]
        else:
            last = "".join(lines)
        sent = time.monotonic()
        os.write(self.master, last.encode())
        t = self.wait(timeout)
        time.sleep(0.002)
        self.drain()
        return None if t is None else (t - sent) * 1e6

    def timed_calls(self, calls, paced):
        us = [self.one_call(i, paced) for i in range(calls)]
        return [u for u in us if u is not None]

    def back_to_back(self, calls):
        if self.kind == "floor":
            return None
        text = b"".join("".join(l + "\r\n" for l in call_lines(i)).encode() for i in range(calls))
        got, start = 0, time.monotonic()
        view = memoryview(text)
        while view or got < calls:
            w = select.select([self.rx], [self.master] if view else [], [], 5)
            if not w[0] and not w[1]:
                break
            if w[1]:
                n = os.write(self.master, view[:4096])
                view = view[n:]
            if w[0]:
                data = self.rx.recv(65536)
                if not is_program(self.kind) or b"class=CID.Incoming" in data:
                    got += 1
        if got < calls:
            print("back to back (%s): %d of %d calls arrived" % (self.kind, got, calls))
        return got / (time.monotonic() - start) if got else None

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(10)
        self.rx.close()
        os.close(self.master)
        os.close(self.slave)
        shutil.rmtree(self.folder, ignore_errors=True)


def syscalls_per_call(target, calls=200):
    out = tempfile.mktemp(prefix="perf-e2e-strace-")
    tracer = subprocess.Popen(["strace", "-c", "-f", "-o", out, "-p", str(target.proc.pid)],
                              stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    target.drain()
    got = len(target.timed_calls(calls, paced=True))
    tracer.terminate()
    tracer.wait(10)
    with open(out) as f:
        text = f.read()
    os.unlink(out)
    m = re.search(r"^\s*100\.00\s+\S+\s+\S+\s+(\d+)", text, re.M)
    total = int(m.group(1)) if m else 0
    calls = {}
    for row in re.finditer(r"^\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?([a-z_0-9]+)$", text, re.M):
        calls[row.group(2)] = int(row.group(1)) / max(got, 1)
    target.syscall_mix = ", ".join("%s %.1f" % kv for kv in sorted(calls.items(), key=lambda kv: -kv[1]))
    return total / max(got, 1)


def stages(targets, calls):
    """Where the time of a paced NAME line goes, from kernel trace points recorded with perf
    (scheduler wake-ups, system call entries and exits of the harness and the targets):
    harness write -> target woken -> target back from its poll -> its first send ->
    send returned -> harness back from select. Medians in microseconds, per target."""
    if not shutil.which("perf"):
        return None
    daemons = [t for t in targets if t.proc]
    pids = {t.proc.pid: t.kind for t in daemons}
    me = os.getpid()
    own = "||".join("common_pid==%d" % p for p in list(pids) + [me])
    woken = "||".join("pid==%d" % p for p in pids)
    data = tempfile.mktemp(prefix="perf-e2e-trace-")
    rec = subprocess.Popen(["perf", "record", "-q", "-a", "-o", data,
                            "-e", "sched:sched_wakeup", "--filter", woken,
                            "-e", "raw_syscalls:sys_enter", "--filter", own,
                            "-e", "raw_syscalls:sys_exit", "--filter", own],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)
    for i in range(calls):
        for t in daemons[i % len(daemons):] + daemons[:i % len(daemons)]:
            t.one_call(i, True)
    rec.send_signal(2)
    rec.wait(60)
    text = subprocess.run(["perf", "script", "-i", data, "-F", "pid,time,event,trace"],
                          capture_output=True, text=True).stdout
    os.unlink(data)
    line = re.compile(r"^\s*(\d+)\s+([\d.]+):\s+(\S+):\s+(.*)$")
    # A connected UDP socket may send with write (the Qt relay): no daemon writes before its
    # first datagram.
    polls, sends, selects = {"7", "271"}, {"1", "44", "46"}, {"7", "23", "270", "271"}
    spans = {k: {} for k in pids.values()}
    call = None
    for row in text.splitlines():
        m = line.match(row)
        if not m:
            continue
        pid, at, event, rest = int(m.group(1)), float(m.group(2)) * 1e6, m.group(3), m.group(4)
        nr = rest.split()[1] if rest.startswith("NR ") else None
        if pid == me and event.endswith("sys_exit") and nr == "1":
            call = {"write": at}
        elif call is None:
            continue
        elif event == "sched:sched_wakeup":
            w = re.search(r"pid=(\d+)", rest)
            if w and int(w.group(1)) in pids and "woken" not in call:
                call.update(woken=at, who=int(w.group(1)))
        elif pid == call.get("who"):
            if event.endswith("sys_exit") and nr in polls and "running" not in call:
                call["running"] = at
            elif event.endswith("sys_enter") and nr in sends and "running" in call and "send" not in call:
                call["send"] = at
            elif event.endswith("sys_exit") and nr in sends and "send" in call and "sent" not in call:
                call["sent"] = at
        elif pid == me and event.endswith("sys_exit") and nr in selects and "sent" in call:
            steps = spans[pids[call["who"]]]
            marks = [call["write"], call["woken"], call["running"], call["send"], call["sent"], at]
            for name, a, b in zip(STAGES, marks, marks[1:]):
                steps.setdefault(name, []).append(b - a)
            steps.setdefault("total", []).append(at - call["write"])
            call = None
    return {k: {name: sorted(v)[len(v) // 2] for name, v in steps.items()} for k, steps in spans.items()
            if steps}


STAGES = ("to woken", "to running", "to send", "send", "to harness")


def start_to_heartbeat(exe, starts=20, kind="program"):
    ms = []
    for _ in range(starts):
        t = Target(kind, exe)
        begin = time.monotonic()
        t.launch()
        end = begin + 10
        while time.monotonic() < end:
            if select.select([t.rx], [], [], end - time.monotonic())[0]:
                if b"class=xap-hbeat.alive" in t.rx.recv(65536).lower():
                    ms.append((time.monotonic() - begin) * 1000)
                    break
        t.stop()
    return stats(ms)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("program")
    a.add_argument("relay")
    a.add_argument("--calls", type=int, default=2000)
    a.add_argument("--qt-relay")
    a.add_argument("--min-qt")
    a.add_argument("--program-b")
    args = a.parse_args()
    in_private_network("PERF_E2E_NETNS")
    exe, relay = os.path.abspath(args.program), os.path.abspath(args.relay)
    kinds = [("floor", None), ("relay", relay)]
    if args.qt_relay:
        kinds.append(("qt relay", os.path.abspath(args.qt_relay)))
    kinds.append(("program", exe))
    if args.program_b:
        kinds.append(("program b", os.path.abspath(args.program_b)))
        # Both programs off 127.0.0.1, so both take the same path to their own address.
        ADDRESSES.update({"program": "127.0.0.2", "program b": "127.0.0.4"})
        for address in ADDRESSES.values():
            subprocess.run(["ip", "addr", "add", address + "/8", "dev", "lo"], check=True)
    targets = [Target(kind, path) for kind, path in kinds]
    rows = {t.kind: {} for t in targets}
    for t in targets:
        t.start()
        if t.proc:
            rows[t.kind]["rss0"] = rss_kb(t.proc.pid)
            rows[t.kind]["threads"] = threads(t.proc.pid)
    # The timed modes take the targets in turn, call by call and each first in turn, so each
    # sees the same machine.
    for mode, paced in (("paced", True), ("one", False)):
        cpu0 = {t.kind: sched_ns(t.proc.pid) for t in targets if t.proc}
        us = {t.kind: [] for t in targets}
        for i in range(args.calls):
            for t in targets[i % len(targets):] + targets[:i % len(targets)]:
                u = t.one_call(i, paced)
                if u is not None:
                    us[t.kind].append(u)
        for t in targets:
            rows[t.kind][mode] = stats(us[t.kind])
            if paced and t.proc:
                rows[t.kind]["cpu"] = (sched_ns(t.proc.pid) - cpu0[t.kind]) / 1000 / args.calls
    trace = stages(targets, 300)
    time.sleep(1.5)  # the calls so far are written to the history before counting
    for t in targets:
        r = rows[t.kind]
        if t.proc:
            r["sys"] = syscalls_per_call(t)
            r["mix"] = t.syscall_mix
        r["b2b"] = t.back_to_back(args.calls * 5)
        if t.proc:
            r["rss1"] = rss_kb(t.proc.pid)
    time.sleep(3)  # idle means settled: the last back-to-back calls are written first
    s0 = {t.kind: switches(t.proc.pid) for t in targets if t.proc}
    time.sleep(10)
    for t in targets:
        if t.proc:
            rows[t.kind]["idle"] = (switches(t.proc.pid) - s0[t.kind]) / 10
        t.stop()
    for kind, path in kinds[1:]:
        t = Target(kind, path)
        rows[kind]["touched"] = code_touched.measure(
            t, code_touched.WINDOWS["program" if is_program(kind) else kind])
        t.stop()
    rows["program"]["start"] = start_to_heartbeat(exe)
    if args.program_b:
        rows["program b"]["start"] = start_to_heartbeat(os.path.abspath(args.program_b), kind="program b")
    bare = None
    if args.min_qt:
        q = subprocess.Popen([os.path.abspath(args.min_qt)])
        time.sleep(1)
        bare = rss_kb(q.pid)
        q.terminate()
        q.wait(5)

    def us3(s):
        return "-" if not s else "%.0f / %.0f / %.0f" % s

    def num(v, fmt):
        return "-" if v is None else fmt % v

    table = [
        ("NAME line -> announcement, paced: median / p99 / max us", lambda r: us3(r.get("paced"))),
        ("whole call in one write: median / p99 / max us", lambda r: us3(r.get("one"))),
        ("back to back, calls per second", lambda r: num(r.get("b2b"), "%.0f")),
        ("CPU per paced call, us", lambda r: num(r.get("cpu"), "%.0f")),
        ("system calls per paced call", lambda r: num(r.get("sys"), "%.1f")),
        ("resident memory at start / after, MB",
         lambda r: "-" if "rss0" not in r else "%.1f / %.1f" % (r["rss0"] / 1024, r["rss1"] / 1024)),
        ("threads", lambda r: num(r.get("threads"), "%d")),
        ("idle wake-ups per second", lambda r: num(r.get("idle"), "%.2f")),
        ("start -> first heartbeat: median / p99 / max ms",
         lambda r: "-" if not r.get("start") else "%.1f / %.1f / %.1f" % r["start"]),
        ("code touched, NAME line read -> first send: lines / pages",
         lambda r: "-" if not r.get("touched") else "%.0f / %.0f" % r["touched"]),
    ]
    names = {"floor": "floor", "relay": "minimal relay", "qt relay": "minimal Qt relay",
             "program": "xapvynCID", "program b": "xapvynCID (B)"}
    columns = [t.kind for t in targets]
    print("%-58s" % ("figure (%d calls per mode)" % args.calls) +
          "".join(" %-22s" % names[k] for k in columns))
    for name, cell in table:
        print("%-58s" % name + "".join(" %-22s" % cell(rows[k]) for k in columns))

    def ratio(kind, key, index=None, of="program"):
        a, b = rows[of].get(key), rows[kind].get(key)
        if index is not None:
            a, b = a and a[index], b and b[index]
        return "-" if not a or not b else "%.2fx" % (a / b)

    for of in [k for k in columns if is_program(k)]:
        for kind in [k for k in columns if k in ("relay", "qt relay")]:
            print("%s / %s: paced median %s, one-write median %s, CPU per paced call %s"
                  % (names[of], names[kind], ratio(kind, "paced", 0, of), ratio(kind, "one", 0, of),
                     ratio(kind, "cpu", None, of)))
    for kind in columns[1:]:
        print("system calls per paced call, %s: %s" % (names[kind], rows[kind].get("mix", "-")))
    if trace:
        print("where a paced NAME line's time goes (kernel trace of 300 calls each; median us):")
        print("  (harness write -> target woken -> back from poll -> first send -> sent -> harness"
              " back from select)")
        print("  %-18s" % "" + "".join(" %-11s" % n for n in STAGES + ("total",)))
        for kind in columns[1:]:
            if kind in trace:
                print("  %-18s" % names[kind] +
                      "".join(" %-11.0f" % trace[kind].get(n, float("nan")) for n in STAGES + ("total",)))
        # Where the difference lies: the kernel's stages or the daemon's own work on the line.
        for of in [k for k in columns if is_program(k) and k in trace and "relay" in trace]:
            more = {n: trace[of][n] - trace["relay"][n] for n in ("total", "to send")}
            print("  %s takes %.0f us more than the minimal relay; %.0f of them between"
                  " its poll and its first send (its own work on the line)"
                  % (names[of], more["total"], more["to send"]))
    else:
        print("where a paced NAME line's time goes: perf is not installed, no trace")
    if bare is not None:
        print("resident memory of a bare Qt Core + Network program (bench/min_qt.cpp): %.1f MB"
              % (bare / 1024))


if __name__ == "__main__":
    main()
