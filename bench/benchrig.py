"""Helpers shared by the whole-program benchmarks of this folder."""
import os, select, sys, time


def in_private_network(tag):
    """Runs this script again under `unshare -n` (root) with loopback up, once."""
    if os.environ.get(tag) == "1":
        return
    os.environ[tag] = "1"
    inner = "ip link set lo up && exec \"$@\""
    os.execvp("unshare", ["unshare", "-n", "sh", "-c", inner, "sh", sys.executable] + sys.argv)


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)


def wait_text(fd, text, timeout):
    """True once text has been read from fd within timeout seconds."""
    seen, end = b"", time.monotonic() + timeout
    while time.monotonic() < end:
        r, _, _ = select.select([fd], [], [], 0.05)
        if r:
            seen += os.read(fd, 4096)
            if text in seen:
                return True
    return False
