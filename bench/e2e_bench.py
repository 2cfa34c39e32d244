#!/usr/bin/env python3
"""End-to-end latency of the real program: from the NAME line written into the modem's
pseudo-terminal to the call's arrival at each output, one call at a time, calls paced
like a modem (lines 1 ms apart). On loopback in a network namespace of its own, so the
fixed xAP hub port and a private mosquitto broker do not meet anything else.

  xap:    NAME line -> CID.Incoming datagram at the hub port
  mqtt:   NAME line -> <base>/call message at an MQTT subscriber (a mosquitto broker
          started here; the subscriber is a minimal MQTT 3.1.1 client in this script)
  ncid:   NAME line -> "CID:" line at one NCID client
  ncid32: NAME line -> "CID:" line at the last of 32 NCID clients

Each mode starts the program afresh with only that output configured (the call history
is always on). Prints calls, median and 99th percentile in microseconds.

Usage: bench/e2e_bench.py BUILD/xapvynCID [--calls 2000] [--modes xap,mqtt,ncid,ncid32]
Runs itself again under `unshare -n` (root).
"""
import argparse, os, pty, select, shutil, socket, struct, subprocess, sys, tempfile, time, tty
from benchrig import in_private_network, program_folder, start_program, wait_text, write


MQTT_PORT, NCID_PORT = 18830, 13333


def program(exe, folder, link, mode):
    ringlet = "XAPNode=bench\r\nCIDCommPort=%s\r\n" % link
    if mode == "mqtt":
        ringlet += "[MQTT]\r\nHost=127.0.0.1\r\nPort=%d\r\nDiscovery=0\r\n" % MQTT_PORT
    if mode.startswith("ncid"):
        ringlet += "[NCID]\r\nListen=127.0.0.1:%d\r\n" % NCID_PORT
    return start_program(exe, program_folder(folder, ringlet))


# ---- a minimal MQTT 3.1.1 subscriber (QoS 0) ----

def mqtt_string(s):
    b = s.encode()
    return struct.pack("!H", len(b)) + b


def mqtt_packet(kind, body):
    n, length = len(body), b""
    while True:
        byte, n = n % 128, n // 128
        length += bytes([byte | (0x80 if n else 0)])
        if not n:
            return bytes([kind]) + length + body


class MqttSubscriber:
    def __init__(self, port, topics):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = b""
        connect = mqtt_string("MQTT") + bytes([4, 2]) + struct.pack("!H", 60) + mqtt_string("bench-sub")
        self.sock.sendall(mqtt_packet(0x10, connect))
        assert self.packet(10)[0] == 0x20, "no CONNACK"
        sub = struct.pack("!H", 1) + b"".join(mqtt_string(t) + b"\x00" for t in topics)
        self.sock.sendall(mqtt_packet(0x82, sub))
        assert self.packet(10)[0] == 0x90, "no SUBACK"

    def packet(self, timeout):
        end = time.monotonic() + timeout
        while True:
            if len(self.buf) >= 2:
                mult, length, i = 1, 0, 1
                while i < len(self.buf):
                    length += (self.buf[i] & 0x7F) * mult
                    mult *= 128
                    i += 1
                    if not self.buf[i - 1] & 0x80:
                        if len(self.buf) >= i + length:
                            kind, body = self.buf[0], self.buf[i:i + length]
                            self.buf = self.buf[i + length:]
                            return kind, body
                        break
            left = end - time.monotonic()
            if left <= 0:
                return None, None
            r, _, _ = select.select([self.sock], [], [], left)
            if r:
                got = self.sock.recv(65536)
                if not got:
                    return None, None
                self.buf += got

    def publish(self, timeout):
        """The next PUBLISH as (topic, payload), or None."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            kind, body = self.packet(end - time.monotonic())
            if kind is None:
                return None
            if kind >> 4 == 3:
                n = struct.unpack("!H", body[:2])[0]
                return body[2:2 + n].decode(), body[2 + n:]
        return None


# ---- NCID clients ----

def ncid_client():
    s = socket.create_connection(("127.0.0.1", NCID_PORT), timeout=10)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    seen = b""
    while b"300 End of connection startup" not in seen:
        got = s.recv(65536)
        assert got, "NCID server closed during start-up"
        seen += got
    return s


def wait_ncid(clients, timeout):
    """Time at which the last client has read a CID: line, or None."""
    pending, bufs = set(clients), {c: b"" for c in clients}
    end, last = time.monotonic() + timeout, None
    while pending and time.monotonic() < end:
        r, _, _ = select.select(list(pending), [], [], end - time.monotonic())
        for c in r:
            bufs[c] += c.recv(65536)
            if b"CID: " in bufs[c] and bufs[c].endswith(b"\r\n"):
                last = time.monotonic()
                pending.discard(c)
    return None if pending else last


def wait_hub(hub, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        r, _, _ = select.select([hub], [], [], end - time.monotonic())
        if r and b"class=CID.Incoming" in hub.recv(65536):
            return time.monotonic()
    return None


def drain(socks):
    for s in socks:
        while select.select([s], [], [], 0)[0]:
            if not s.recv(65536):
                break


def run_mode(exe, mode, calls):
    folder = tempfile.mkdtemp(prefix="e2e-bench-")
    broker = None
    hub = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    hub.bind(("127.0.0.1", 3639))
    if mode == "mqtt":
        write(folder + "/mosquitto.conf",
              "listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n" % MQTT_PORT)
        broker = subprocess.Popen(["mosquitto", "-c", folder + "/mosquitto.conf"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
    master, slave = pty.openpty()
    tty.setraw(slave)
    tty.setraw(master)
    link = folder + "/modem"
    os.symlink(os.ttyname(slave), link)
    p = program(exe, folder, link, mode)
    try:
        assert wait_text(master, b"AT#CID=1", 10), "modem never initialised"
        sub, clients = None, []
        if mode == "mqtt":
            sub = MqttSubscriber(MQTT_PORT, ["xapvyncid/bench/call", "xapvyncid/bench/status"])
            got = sub.publish(10)
            while got and got[0] != "xapvyncid/bench/status":
                got = sub.publish(10)
            assert got and got[1] == b"online", "the program never said online"
        if mode.startswith("ncid"):
            time.sleep(0.3)
            clients = [ncid_client() for _ in range(32 if mode == "ncid32" else 1)]
        time.sleep(0.5)
        drain([hub])
        us = []
        for i in range(calls):
            number = "555%07d" % (100000 + i)
            for line in ("RING", "DATE = 0101", "TIME = 1200", "NMBR = " + number):
                os.write(master, (line + "\r\n").encode())
                time.sleep(0.001)
            sent = time.monotonic()
            os.write(master, ("NAME = BENCH %d\r\n" % i).encode())
            if mode == "xap":
                t = wait_hub(hub, 5)
            elif mode == "mqtt":
                got, t = sub.publish(5), time.monotonic()
                while got and got[0] != "xapvyncid/bench/call":
                    got, t = sub.publish(5), time.monotonic()
                if got is None or number.encode() not in got[1]:
                    t = None
            else:
                t = wait_ncid(clients, 5)
            if t is not None:
                us.append((t - sent) * 1e6)
            drain([hub, master] if mode != "xap" else [master])
            time.sleep(0.002)
        return us
    finally:
        p.terminate()
        p.wait(10)
        if broker:
            broker.terminate()
            broker.wait(5)
        hub.close()
        os.close(master)
        os.close(slave)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("exe")
    a.add_argument("--calls", type=int, default=2000)
    a.add_argument("--modes", default="xap,mqtt,ncid,ncid32")
    args = a.parse_args()
    in_private_network("E2E_BENCH_NETNS")
    print("%-8s %7s %10s %10s" % ("output", "calls", "median us", "p99 us"))
    for mode in args.modes.split(","):
        us = sorted(run_mode(os.path.abspath(args.exe), mode, args.calls))
        if not us:
            print("%-8s %7d %10s %10s" % (mode, 0, "-", "-"))
            continue
        print("%-8s %7d %10.0f %10.0f" % (mode, len(us), us[len(us) // 2],
                                          us[min(len(us) - 1, len(us) * 99 // 100)]))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
