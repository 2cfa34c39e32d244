"""Helpers shared by the whole-program benchmarks of this folder."""
import os, select, subprocess, sys, time


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


def program_folder(folder, ringlet, address="127.0.0.1"):
    """Settings for a headless run in folder: loopback only (address, a 127.x.y.z), OCID off,
    ringlet appended to [General] of vynRinglet.ini (later sections may follow in it)."""
    assert address.startswith("127."), "loopback only"
    os.makedirs(folder + "/home/Config", exist_ok=True)
    os.makedirs(folder + "/xdg/xapvynCID", exist_ok=True)
    write(folder + "/home/Config/vynXap.ini",
          "[Interface]\r\nBroadcastAddress=%s\r\nInterfaceAddress=%s\r\n" % (address, address))
    write(folder + "/home/Config/vynRinglet.ini", "[General]\r\nOCID=0\r\n" + ringlet)
    return folder


def start_program(exe, folder):
    """The program headless on the settings of program_folder, its standard error discarded."""
    env = dict(os.environ, XDG_CONFIG_HOME=folder + "/xdg")
    env.pop("DISPLAY", None)
    return subprocess.Popen([exe, "--headless", "--home", folder + "/home"], env=env,
                            stderr=subprocess.DEVNULL)
