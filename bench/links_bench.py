#!/usr/bin/env python3
"""Link-healing figures of the real program, on loopback in a network namespace.

  serial: time from the modem's device coming back (after it was gone long
          enough for the retry backoff to reach its limit) to the first call
          announced on the xAP hub port.
  box:    time from a network caller-ID box starting to listen (after the
          program gave up its start-up wait) to the first call announced.
  cpu:    CPU time of two idle programs over a wait, one with its serial device
          gone, one with its box refusing, as a share of one core.

Usage: bench/links_bench.py BUILD/xapvynCID [--gone 40] [--box-after 45] [--cpu 60]
Runs itself again under `unshare -n` (root) so the fixed hub port is private.
"""
import argparse, os, pty, select, socket, subprocess, sys, tempfile, time, tty
import benchrig
from benchrig import in_private_network, start_program as start, wait_text


def program_folder(ringlet):
    return benchrig.program_folder(tempfile.mkdtemp(prefix="links-bench-"), ringlet)


def wait_incoming(hub, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        r, _, _ = select.select([hub], [], [], max(0.0, end - time.monotonic()))
        if r and b"class=CID.Incoming" in hub.recv(65536):
            return time.monotonic()
    return None


def ring(number):
    return ("RING\r\n\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = %s\r\nNAME = BENCH\r\n\r\n" % number).encode()


def serial_figure(exe, hub, gone):
    master, slave = pty.openpty()
    tty.setraw(slave)
    d = program_folder("")
    link = d + "/modem"
    os.symlink(os.ttyname(slave), link)
    benchrig.program_folder(d, "CIDCommPort=" + link + "\r\n")
    p = start(exe, d)
    assert wait_text(master, b"AT#CID=1", 10), "modem never initialised"
    os.close(master)
    os.close(slave)
    time.sleep(gone)
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.unlink(link)
    back = time.monotonic()
    os.symlink(os.ttyname(slave), link)
    ok = wait_text(master, b"AT#CID=1", 60)
    os.write(master, ring("5550001111"))
    t = wait_incoming(hub, 10) if ok else None
    p.terminate()
    p.wait(5)
    return None if t is None else t - back


def box_figure(exe, hub, after):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()  # refused from now on
    d = program_folder("CIDCommPort=127.0.0.1:%d\r\n" % port)
    p = start(exe, d)
    time.sleep(after)
    box = socket.socket()
    box.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    box.bind(("127.0.0.1", port))
    box.listen(1)
    up = time.monotonic()
    box.settimeout(120)
    conn, _ = box.accept()
    connected = time.monotonic() - up
    conn.sendall(b"###DATE01011200...NMBR5550002222...NAMEBENCH+++\r")
    t = wait_incoming(hub, 10)
    p.terminate()
    p.wait(5)
    return connected, None if t is None else t - up


def ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def cpu_figure(exe, seconds):
    master, slave = pty.openpty()
    d1 = program_folder("")
    link = d1 + "/modem"
    os.symlink(os.ttyname(slave), link)
    benchrig.program_folder(d1, "CIDCommPort=" + link + "\r\n")
    serial = start(exe, d1)
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    box = start(exe, program_folder("CIDCommPort=127.0.0.1:%d\r\n" % port))
    assert wait_text(master, b"AT#CID=1", 10)
    os.close(master)
    os.close(slave)
    time.sleep(15)  # past the box's start-up wait
    hz = os.sysconf("SC_CLK_TCK")
    t0 = {p.pid: ticks(p.pid) for p in (serial, box)}
    time.sleep(seconds)
    share = {name: (ticks(p.pid) - t0[p.pid]) / hz / seconds * 100
             for name, p in (("serial gone", serial), ("box refusing", box))}
    for p in (serial, box):
        p.terminate()
        p.wait(5)
    return share


def main():
    a = argparse.ArgumentParser()
    a.add_argument("exe")
    a.add_argument("--gone", type=float, default=40)
    a.add_argument("--box-after", type=float, default=45)
    a.add_argument("--cpu", type=float, default=60)
    args = a.parse_args()
    in_private_network("LINKS_BENCH_NETNS")
    hub = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    hub.bind(("127.0.0.1", 3639))
    print("serial: device back -> first call announced: %.3f s (device gone %.0f s)"
          % (serial_figure(args.exe, hub, args.gone), args.gone))
    connected, call = box_figure(args.exe, hub, args.box_after)
    print("box: listening -> connected %.3f s, -> first call announced %.3f s (box up after %.0f s)"
          % (connected, call, args.box_after))
    for name, pct in cpu_figure(args.exe, args.cpu).items():
        print("cpu over %.0f s, %s: %.4f %% of a core" % (args.cpu, name, pct))


if __name__ == "__main__":
    main()
