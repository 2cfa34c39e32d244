"""How much code a paced NAME line touches, from the read of the line to the first send:
distinct 64-byte code lines and 4 KiB code pages executed, counted by callgrind
(--dump-instr=yes) over a few paced calls. After the millisecond between a modem's lines
a core's caches no longer hold a daemon's code, so a wake-up costs about what it touches,
whatever the number of instructions."""
import os, re, shutil, subprocess, tempfile
from collections import defaultdict

# Per daemon: the function where the NAME line's work starts (counters zeroed) and the
# system call wrapper that ends it (counters written).
WINDOWS = {"relay": ("read", "send"),
           "qt relay": ("QIODevice::readAll*", "write"),
           "program": ("CommLink::OnSerialReadyRead*", "send")}


def _executed(path):
    """(object, function) -> set of code addresses with their own cost in one dump."""
    names = {"ob": {}, "fn": {}}
    ob = fn = None
    addr, after_call, trigger = 0, False, ""
    seen = defaultdict(set)
    with open(path, errors="replace") as f:
        for row in f:
            row = row.rstrip("\n")
            m = re.match(r"(c?ob|c?fn|fl|fi|fe|cfi|cfl)=\((\d+)\)(?: (.*))?$", row)
            if m:
                kind, key, name = m.groups()
                table = names.get(kind[-2:])
                if table is not None and name:
                    table[key] = name
                if kind == "ob":
                    ob = names["ob"].get(key)
                elif kind == "fn":
                    fn = names["fn"].get(key)
                continue
            if row.startswith("trigger:"):
                trigger = row
            if row.startswith("calls="):
                after_call = True
                continue
            if not row or not (row[0] in "+-*" or row.startswith("0x")):
                continue
            fields = row.split()
            a = fields[0]
            if a.startswith("0x"):
                addr = int(a, 16)
            elif a[0] in "+-":
                step = int(a[1:], 16) if a[1:].startswith("0x") else int(a[1:])
                addr += step if a[0] == "+" else -step
            if after_call:  # the cost of a call, not code executed at this address
                after_call = False
                continue
            if len(fields) > 2 and fields[2] != "0":
                seen[(ob, fn)].add(addr)
    return seen, trigger


def footprint(dumps, start):
    """Mean code lines and pages over the dumps of a NAME line's window: those in which the
    start function itself ran (the writes at later sends of the same call do not count)."""
    pattern = re.compile(re.escape(start.rstrip("*")) + (".*" if start.endswith("*") else r"$"))
    lines, pages, n = 0, 0, 0
    for path in dumps:
        seen, trigger = _executed(path)
        if "termination" in trigger:
            continue
        if not any(fn and pattern.match(fn) for (_, fn) in seen):
            continue
        lines += len({(ob, x >> 6) for (ob, _), a in seen.items() for x in a})
        pages += len({(ob, x >> 12) for (ob, _), a in seen.items() for x in a})
        n += 1
    return (lines / n, pages / n) if n else None


def measure(target, window, calls=12):
    """Runs an unstarted benchmark target under callgrind and counts what its NAME lines
    touch. target.command() gives its command line and environment; returns (lines, pages)."""
    if not shutil.which("valgrind"):
        return None
    start, send = window
    out = tempfile.mkdtemp(prefix="perf-e2e-callgrind-")
    command, env = target.command()
    proc = subprocess.Popen(["valgrind", "--tool=callgrind", "--instr-atstart=no", "--dump-instr=yes",
                             "--zero-before=" + start, "--dump-before=" + send,
                             "--callgrind-out-file=%s/cg.out" % out] + command,
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    target.proc = proc

    def instrument(state):
        subprocess.run(["callgrind_control", "-i", state, str(proc.pid)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    try:
        target.ready(60)
        instrument("on")
        for i in range(calls):
            target.one_call(i, True, timeout=20)
        instrument("off")
    finally:
        proc.terminate()
        proc.wait(60)
    dumps = [os.path.join(out, f) for f in os.listdir(out) if f.startswith("cg.out.")]
    result = footprint(dumps, start)
    shutil.rmtree(out, ignore_errors=True)
    return result
