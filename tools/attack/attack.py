#!/usr/bin/env python3
"""Repeated attacks on ovrel's device writes, judged by the emulator's memory.

Every trial runs in a private mount namespace with its own /run/lock (a
tmpfs) and its own data, config and runtime folders, against its own
ovrel-devsim on a pseudo-terminal. A trial is judged by the emulator's
memory file (saved after every block, so a write cut short shows torn) and
by the backup folder, and only then by what ovrel said.

  attack.py run [--build DIR] [--work DIR] [--only NAME,...] [--scale F] [--seed N]

prints one line per failed trial and a table of trials, held and failed per
attack. See README.md beside this file.
"""

import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.abspath(__file__)
MEMORY_SIZE = 2048
# Commands a read of the whole memory takes (blocks of 128 bytes).
READ_BLOCKS = 16
# Whatever a client does, it ends well within this; a client still running
# then is stuck (waiting on a lock it should have been refused).
CLIENT_LIMIT_S = 90
EXIT_BUSY = 5

# ---------------------------------------------------------------- emulator


class Sim:
    """One ovrel-devsim with its memory file and log, in folder."""

    def __init__(self, build, folder, memory, extra=()):
        self.memory_file = os.path.join(folder, "memory.bin")
        self.log_file = os.path.join(folder, "devsim.log")
        with open(self.memory_file, "wb") as out:
            out.write(memory)
        self.log = open(self.log_file, "wb")
        self.proc = subprocess.Popen(
            [os.path.join(build, "ovrel-devsim"), "--log", "--save-each-block",
             "--memory", self.memory_file, *extra],
            stdout=subprocess.PIPE, stderr=self.log)
        self.port = self.proc.stdout.readline().decode().strip()
        if not self.port.startswith("/dev/pts/"):
            raise RuntimeError("the emulator printed no port")

    def memory(self):
        with open(self.memory_file, "rb") as f:
            return f.read()

    def commands(self):
        """The letters of the commands received so far, in order."""
        with open(self.log_file, "rb") as f:
            lines = f.read().decode(errors="replace").splitlines()
        prefix = "ovrel-devsim: "
        return "".join(l[len(prefix)] for l in lines
                       if l.startswith(prefix) and len(l) > len(prefix) + 1
                       and l[len(prefix) + 1] == " ")

    def wait_commands(self, count, letter=None, limit_s=60):
        end = time.monotonic() + limit_s
        while time.monotonic() < end:
            got = self.commands()
            if (got.count(letter) if letter else len(got)) >= count:
                return True
            time.sleep(0.002)
        return False

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


# ------------------------------------------------------------------ clients


class Trial:
    """The folders of one trial: data (backups), config, runtime, files."""

    def __init__(self, build, files):
        self.build = build
        self.files = files
        self.root = tempfile.mkdtemp(prefix="ovrel-attack-")
        self.env = dict(os.environ)
        for name in ("XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"):
            path = os.path.join(self.root, name.lower())
            os.mkdir(path, 0o700)
            self.env[name] = path
        self.env["OVREL_PORTS"] = ""
        self.env.pop("OVREL_EXTRA_PORTS", None)
        self.env["QT_QPA_PLATFORM"] = "offscreen"
        self.backup_folder = os.path.join(self.env["XDG_DATA_HOME"], "ovrelware", "backups")

    def start(self, args):
        out = tempfile.TemporaryFile(dir=self.root)
        err = tempfile.TemporaryFile(dir=self.root)
        proc = subprocess.Popen([self.files["ovrel"], "--json", *args], cwd=self.files["dir"],
                                env=self.env, stdout=out, stderr=err)
        proc.out, proc.err = out, err
        return proc

    def finish(self, proc):
        """Exit status (negative: ended by that signal), result object, stderr."""
        try:
            proc.wait(CLIENT_LIMIT_S)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            proc.stuck = True
        proc.ended = time.monotonic()
        proc.out.seek(0)
        proc.err.seek(0)
        result = {}
        for line in proc.out.read().decode(errors="replace").splitlines():
            try:
                event = json.loads(line)
            except ValueError:
                continue
            if event.get("event") == "result":
                result = event
        return proc.returncode, result, proc.err.read().decode(errors="replace")

    def finish_all(self, procs):
        """finish() of each, each one's end time taken when it ended."""
        end = time.monotonic() + CLIENT_LIMIT_S
        running = list(procs)
        while running and time.monotonic() < end:
            for proc in list(running):
                if proc.poll() is not None:
                    proc.ended_at = time.monotonic()
                    running.remove(proc)
            time.sleep(0.005)
        outcomes = [self.finish(p) for p in procs]
        for proc in procs:
            proc.ended = getattr(proc, "ended_at", proc.ended)
        return outcomes

    def run(self, args):
        return self.finish(self.start(args))

    def backups(self):
        """name -> bytes of every backup file."""
        if not os.path.isdir(self.backup_folder):
            return {}
        found = {}
        for name in sorted(os.listdir(self.backup_folder)):
            path = os.path.join(self.backup_folder, name)
            if name.endswith(".svl") and os.path.isfile(path):
                with open(path, "rb") as f:
                    found[name] = f.read()
        return found

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


# What each kind of client runs, with the port appended.
CLIENTS = {
    "upload": ["upload", "A.svl"],
    "expect": ["upload", "--expect", "C.svl", "B.svl"],
    "add": ["add", "focus.svs"],
    "restore": ["restore", "D.svl"],
}


class Remote:
    """The desktop program, headless, serving remote control on the trial's
    private session bus, and a monitor of the bus that sees its replies."""

    SERVICE = "org.sorvani.Ovrelware"
    PATH = "/org/sorvani/Ovrelware"

    def __init__(self, t, sim):
        self.monitor_file = os.path.join(t.root, "bus.txt")
        self.monitor = subprocess.Popen(
            ["dbus-monitor", "--session", f"type='signal',interface='{self.SERVICE}.Remote'"],
            stdout=open(self.monitor_file, "wb"), stderr=subprocess.DEVNULL)
        env = dict(t.env, OVREL_PORTS=sim.port)
        self.app = subprocess.Popen([t.files["ovrelware"]], env=env, cwd=t.files["dir"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.lock = "/run/lock/LCK.." + sim.port[len("/dev/"):].replace("/", "_")
        end = time.monotonic() + CLIENT_LIMIT_S
        while time.monotonic() < end and not self.served():
            time.sleep(0.05)
        self.call("Request", "989", '"' + self.monitor_name() + '"')
        # The program finds the device when asked, as a remote client does
        # before its first upload.
        self.call("Request", "991", '""')
        self.found = self.outcome(991)[0] == 1

    def gdbus(self, *args):
        return subprocess.run(["gdbus", "call", "--session", *args], capture_output=True,
                              text=True)

    def served(self):
        done = self.gdbus("--dest", "org.freedesktop.DBus", "--object-path",
                          "/org/freedesktop/DBus", "--method",
                          "org.freedesktop.DBus.NameHasOwner", self.SERVICE)
        return "true" in done.stdout

    def call(self, method, *args):
        return self.gdbus("--dest", self.SERVICE, "--object-path", self.PATH, "--method",
                          f"{self.SERVICE}.Remote.{method}", *args)

    def monitor_name(self):
        with open(self.monitor_file) as f:
            for line in f:
                if line.strip().startswith('string ":'):
                    return line.split('"')[1]
        return ""

    def outcome(self, code, limit_s=CLIENT_LIMIT_S):
        """The reply to code (1 or 0, None when none came) and the reason of
        a failure sent before it."""
        end = time.monotonic() + limit_s
        while time.monotonic() < end:
            with open(self.monitor_file) as f:
                lines = f.read().splitlines()
            reason = ""
            for i, line in enumerate(lines[:-2]):
                if lines[i + 1].split()[-1] != str(code):
                    continue
                if "member=Failure" in line:
                    reason = lines[i + 2].strip()
                if "member=Reply" in line:
                    return int(lines[i + 2].split()[-1]), reason
            time.sleep(0.02)
        return None, ""

    def stop(self):
        for proc in (self.app, self.monitor):
            proc.kill()
            proc.wait()


def client_args(kind, port, extra=()):
    args = list(CLIENTS[kind])
    return args[:1] + list(extra) + ["--port", port] + args[1:]


def library_of(memory):
    """The used bytes of a library in a memory (its checksum offset + 1)."""
    length = memory[2] * 256 + memory[3] + 1
    return memory[:length] if 4 <= length <= MEMORY_SIZE else memory


def kept_in(backups, memory):
    lib = library_of(memory)
    return any(b == lib or b == memory for b in backups.values())


# --------------------------------------------------------------- the attacks


def concurrency(t, refs, rng, size, with_remote=False):
    """size clients at once: one winner, the rest busy at once (exit 5). With
    a remote client, the first is the desktop program's remote upload."""
    sim = Sim(t.build, t.root, refs["C"])
    remote = None
    try:
        kinds = [rng.choice(list(CLIENTS)) for _ in range(size)]
        if with_remote:
            remote = Remote(t, sim)
            if not remote.found:
                return "the desktop program did not find the device"
            shutil.copy(os.path.join(t.files["dir"], "E.svl"),
                        os.path.join(os.path.dirname(t.files["ovrelware"]), "LibToUpl.svl"))
            kinds[0] = "remote"
            requested = remote.call("Request", "993", '""')
            if requested.returncode != 0:
                return f"the remote request was not taken: {requested.stderr.strip()}"
        procs = [t.start(client_args(k, sim.port)) for k in kinds[1 if remote else 0:]]
        outcomes = t.finish_all(procs)
        if remote:
            reply, reason = remote.outcome(993)
            if reply is None:
                return "the remote client got no reply"
            if reply == 0 and "in use by another program" not in reason:
                return f"the remote upload failed, not as busy: {reason}"
            outcomes.insert(0, (0 if reply == 1 else EXIT_BUSY, {}, ""))
            procs.insert(0, None)
        memory = sim.memory()
    finally:
        if remote:
            remote.stop()
        sim.stop()
    winners = [i for i, o in enumerate(outcomes) if o[0] == 0]
    others = [o[0] for i, o in enumerate(outcomes) if i not in winners]
    if len(winners) != 1:
        return f"{len(winners)} winners among {kinds}: statuses {[o[0] for o in outcomes]}"
    if any(s != EXIT_BUSY for s in others):
        return f"a loser did not exit 5: {kinds} -> {[o[0] for o in outcomes]}"
    win = procs[winners[0]]
    late = [kinds[i] for i, p in enumerate(procs)
            if win and p and i != winners[0] and p.ended >= win.ended]
    if late:
        return f"refused only after the winner ended: {late}"
    if memory != refs[kinds[winners[0]]]:
        return f"memory is not the winner's ({kinds[winners[0]]})"
    return None


def stall(t, refs, rng):
    """The writer stopped after its read; an intruder tries; the writer goes on."""
    kind, intruder = rng.choice(list(CLIENTS)), rng.choice(list(CLIENTS))
    sim = Sim(t.build, t.root, refs["C"])
    try:
        writer = t.start(client_args(kind, sim.port))
        if not sim.wait_commands(READ_BLOCKS, "r"):
            return f"{kind} never read"
        os.kill(writer.pid, signal.SIGSTOP)
        time.sleep(rng.uniform(0, 0.3))
        held = sim.memory()
        status, result, _ = t.run(client_args(intruder, sim.port))
        during = sim.memory()
        os.kill(writer.pid, signal.SIGCONT)
        wstatus, wresult, werr = t.finish(writer)
        memory = sim.memory()
    finally:
        sim.stop()
    if status != EXIT_BUSY:
        return f"intruder {intruder} exit {status} while {kind} stalled: {result.get('message')}"
    if during != held:
        return f"intruder {intruder} changed the memory while {kind} stalled"
    if wstatus != 0:
        return f"stalled {kind} failed after SIGCONT: {wstatus} {wresult.get('message')}"
    if memory != refs[kind]:
        return f"memory after {kind} is not its own"
    if not kept_in(t.backups(), refs["C"]):
        return f"the memory {kind} replaced is in no backup"
    return None


# A fault on the line: the emulator's option, the client, the phase it hits.
def line_faults(rng):
    fault = rng.choice(["--flip-reply-bit", "--short-reply", "--garbage", "--bad-start",
                        "--wrong-letter"])
    kind = rng.choice(["add", "upload", "download"])
    reads = READ_BLOCKS * (2 if kind != "download" else 1)
    letter, nth = rng.choice([("r", rng.randint(1, reads)), ("r", rng.randint(1, reads)),
                              ("D", rng.randint(1, 16)), ("X", 1), ("I", 1)])
    if kind == "download" and letter in "DX":
        letter, nth = "r", rng.randint(1, READ_BLOCKS)
    return fault, kind, letter, nth


def damaged_line(t, refs, rng):
    """A damaged reply: the exchange fails with a reason, or all is right."""
    fault, kind, letter, nth = line_faults(rng)
    what = f"{kind} with {fault} {letter}:{nth}"
    sim = Sim(t.build, t.root, refs["C"], [fault, f"{letter}:{nth}"])
    try:
        if kind == "download":
            args = ["download", "--port", sim.port, "-o", os.path.join(t.root, "out.svl")]
        else:
            args = client_args(kind, sim.port, ["--verify"])
        status, result, err = t.run(args)
        memory = sim.memory()
        commands = sim.commands()
    finally:
        sim.stop()
    good = {refs["C"], refs.get(kind, refs["C"])}
    message = result.get("message", "")
    if memory not in good:
        # A fault in the blocks stops the write where it struck: the memory
        # is partly written, which the result must say, with what it
        # replaced kept for a restore.
        if letter != "D" or status == 0:
            return f"{what}: the memory is torn or corrupted (exit {status})"
        if commands.count("D") != nth or "E" in commands:
            return f"{what}: written on after a damaged reply: {commands}"
        if result.get("device") != "partly written":
            return f"{what}: torn memory said to be {result.get('device')}"
        if not kept_in(t.backups(), refs["C"]):
            return f"{what}: the memory replaced is in no backup"
    bad_backups = [n for n, b in t.backups().items()
                   if not any(b == library_of(m) or b == m for m in good)]
    if bad_backups:
        return f"{what}: a backup holds a damaged image: {bad_backups}"
    if status == 0:
        if kind == "download":
            with open(os.path.join(t.root, "out.svl"), "rb") as f:
                if f.read() != library_of(refs["C"]):
                    return f"{what}: downloaded file differs from the memory"
        elif memory != refs[kind]:
            return f"{what}: success but the memory is not the written one"
        return None
    if not message:
        return f"{what}: failed (exit {status}) without a reason"
    if message.startswith("Verified"):
        return f"{what}: failure message claims verification: {message}"
    # A fault in the first read comes before any write: nothing after it.
    if kind != "download" and letter in "rI" and nth <= READ_BLOCKS and "W" in commands:
        return f"{what}: written after a fault in the read (exit {status}: {message})"
    return None


def plant_reads(t, count, rng):
    """count newer plain-read backups of distinct images, as reads would leave."""
    os.makedirs(t.backup_folder, exist_ok=True)
    names = sorted(os.listdir(t.backup_folder))
    number = max([int(n.split("Z-")[1][:6]) for n in names if "Z-" in n] + [0])
    for i in range(count):
        number += 1
        image = bytes(rng.randrange(256) for _ in range(MEMORY_SIZE))
        name = f"2026-01-01T00-00-{i % 60:02d}Z-{number:06d}-read.svl"
        with open(os.path.join(t.backup_folder, name), "wb") as f:
            f.write(image)


def kill_blocks(t, refs, rng, block):
    """SIGKILL at a block, retries, prunes, then restore: the original back."""
    # Blocks that take a moment each, so that the kill lands in the block
    # meant rather than a few blocks later.
    sim = Sim(t.build, t.root, refs["A"], ["--delay", "D:40"])
    story = [f"kill at D{block}"]
    # What restore is to bring back: the memory before the last write, or,
    # when that write or one before it since the last whole one was cut
    # short, the memory before the first of those.
    expected, clean = None, True
    try:
        for attempt in range(rng.randint(1, 3)):
            before = sim.memory()
            if clean:
                expected = before
            upload = t.start(["upload", "--port", sim.port, "B.svl"])
            kill_at = block if attempt == 0 else rng.choice([None, rng.randint(1, 16)])
            if kill_at is not None:
                already = sim.commands().count("D")
                if not sim.wait_commands(already + kill_at, "D"):
                    return f"{story}: the upload never reached block {kill_at}"
                upload.kill()
                story.append(f"retry killed at D{kill_at}" if attempt else "killed")
            elif attempt:
                story.append("retry whole")
            status = t.finish(upload)[0]
            clean = kill_at is None and status == 0
        if rng.random() < 0.7:
            plant_reads(t, rng.randint(50, 70), rng)
            story.append("prune")
        for _ in range(rng.randint(1, 3)):
            t.run(["download", "--port", sim.port, "-o", os.path.join(t.root, "read.svl")])
        status, result, err = t.run(["restore", "--port", sim.port])
        memory = sim.memory()
    finally:
        sim.stop()
    if status != 0:
        return f"{story}: restore exit {status}: {result.get('message')}"
    if memory != expected:
        named = {refs["A"]: "A", refs["B"]: "B"}
        return (f"{story}: restore brought back {named.get(memory, 'a torn memory')}, "
                f"not {named.get(expected, 'a torn memory')}")
    return None


SIGNALS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGUSR1,
           signal.SIGALRM]


def signalled(t, refs, rng, counts):
    """A signal at a random command: the result says truly what the device holds."""
    kind = rng.choice(list(CLIENTS))
    sig = rng.choice(SIGNALS)
    at = rng.randint(0, counts[kind])
    what = f"{kind} {signal.Signals(sig).name} at command {at}"
    sim = Sim(t.build, t.root, refs["C"])
    try:
        proc = t.start(client_args(kind, sim.port))
        if at:
            sim.wait_commands(at)
        else:
            time.sleep(rng.uniform(0, 0.05))
        proc.send_signal(sig)
        status, result, err = t.finish(proc)
        memory = sim.memory()
    finally:
        sim.stop()
    said = result.get("device")
    if memory == refs["C"] and refs[kind] != refs["C"]:
        truth = "untouched"
    elif memory == refs[kind]:
        truth = "replaced"
    else:
        return f"{what}: the memory is torn (exit {status}, said {said})"
    if status == 0:
        return None if truth == "replaced" and said in (None, "replaced") else \
            f"{what}: exit 0 but device {said}, truly {truth}"
    if status != 128 + sig:
        return f"{what}: exit {status}: {result.get('message')}"
    if said != truth:
        return f"{what}: said device {said}, truly {truth}"
    return None


# ----------------------------------------------------------------- the runs


def prepare(build, work):
    """The files, a private copy of ovrel, and reference memories."""
    files = {"dir": work, "ovrel": os.path.join(work, "program", "ovrel")}
    os.makedirs(os.path.join(work, "program"), exist_ok=True)
    shutil.copy2(os.path.join(build, "ovrel"), files["ovrel"])
    # The emulator too is a copy, so that a rebuild meanwhile cannot meet a trial.
    shutil.copy2(os.path.join(build, "ovrel-devsim"), os.path.join(work, "program"))
    if os.path.exists(os.path.join(build, "ovrelware")) and shutil.which("dbus-run-session"):
        files["ovrelware"] = os.path.join(work, "program", "ovrelware")
        shutil.copy2(os.path.join(build, "ovrelware"), files["ovrelware"])
    source = os.path.join(os.path.dirname(HERE), "..", "..", "examples")
    ovrel = [files["ovrel"]]

    def quiet(args):
        subprocess.run(ovrel + args, cwd=work, check=True, capture_output=True)

    shutil.copy(os.path.join(source, "focus.svs"), work)
    shutil.copy(os.path.join(source, "relax.svs"), work)
    quiet(["sweep", "4", "40", "250", "-o", "up.svs"])
    quiet(["sweep", "40", "4", "250", "-o", "down.svs"])
    quiet(["sweep", "10", "20", "200", "-o", "mid.svs"])
    # A and B have the same shape: a memory cut between them passes a
    # library's check, which is what makes a torn memory dangerous.
    quiet(["compile", "-o", "A.svl", "up.svs", "down.svs", "up.svs", "down.svs"])
    quiet(["compile", "-o", "B.svl", "down.svs", "up.svs", "down.svs", "up.svs"])
    quiet(["compile", "-o", "C.svl", "mid.svs"])
    quiet(["compile", "-o", "D.svl", "relax.svs", "focus.svs"])
    quiet(["compile", "-o", "E.svl", "focus.svs", "mid.svs"])
    refs = {}
    build = os.path.dirname(files["ovrel"])
    t = Trial(build, files)
    try:
        def written(start, args):
            sim = Sim(build, t.root, start)
            try:
                status, result, err = t.run(args + ["--port", sim.port])
                if status != 0:
                    raise RuntimeError(f"reference {args}: {err}")
                return sim.memory(), sim.commands()
            finally:
                sim.stop()

        empty = bytes(MEMORY_SIZE)
        refs["C"], _ = written(empty, ["upload", "--no-backup", "C.svl"])
        refs["A"], _ = written(empty, ["upload", "--no-backup", "A.svl"])
        refs["B"], _ = written(refs["A"], ["upload", "--no-backup", "B.svl"])
        counts = {}
        for kind in CLIENTS:
            memory, commands = written(refs["C"], CLIENTS[kind][:1] + CLIENTS[kind][1:])
            refs[kind], counts[kind] = memory, len(commands)
        refs["remote"], _ = written(refs["C"], ["upload", "--no-backup", "E.svl"])
    finally:
        t.close()
    return files, refs, counts


def trial_main(args):
    """One trial, inside its namespace: prints its verdict as JSON."""
    with open(args.state) as f:
        state = json.load(f)
    refs = {k: bytes.fromhex(v) for k, v in state["refs"].items()}
    rng = random.Random(args.seed)
    t = Trial(state["build"], state["files"])
    try:
        name, param = args.attack, args.param
        if name in ("concurrency", "remote"):
            failure = concurrency(t, refs, rng, param, name == "remote")
        elif name == "stall":
            failure = stall(t, refs, rng)
        elif name == "line":
            failure = damaged_line(t, refs, rng)
        elif name == "kill":
            failure = kill_blocks(t, refs, rng, param)
        else:
            failure = signalled(t, refs, rng, state["counts"])
    except Exception as e:  # a trial that breaks is counted as failed
        where = traceback.extract_tb(e.__traceback__)[-1]
        failure = f"trial broke: {e!r} at line {where.lineno}"
    finally:
        t.close()
    print(json.dumps({"failure": failure}))


def in_namespace(state, attack, param, seed):
    """Runs one trial in a private mount namespace with its own /run/lock."""
    script = 'mount -t tmpfs -o mode=1777 ovrel-attack /run/lock && exec "$@"'
    # The remote client and the desktop program meet on a bus of their own.
    bus = ["dbus-run-session", "--"] if attack == "remote" else []
    command = ["unshare", "-m", "--propagation", "private", "--", "sh", "-c", script, "sh",
               *bus, sys.executable, HERE, "trial", "--state", state, "--attack", attack,
               "--param", str(param), "--seed", str(seed)]
    done = subprocess.run(command, capture_output=True, text=True)
    lines = done.stdout.strip().splitlines()
    if done.returncode != 0 or not lines:
        return f"trial did not run: {done.stderr.strip()[-300:]}"
    return json.loads(lines[-1])["failure"]


def plan(scale, remote):
    """(attack, label, param) for every trial, scaled."""
    n = lambda base: max(1, round(base * scale))
    trials = []
    for size, base in ((2, 12), (3, 10), (10, 6)):
        trials += [("concurrency", f"concurrency, {size} clients", size)] * n(base)
    if remote:
        for size, base in ((2, 5), (3, 4), (10, 3)):
            trials += [("remote", f"concurrency, {size} clients, one remote", size)] * n(base)
    trials += [("stall", "stall between read and write", 0)] * n(15)
    trials += [("line", "damaged line", 0)] * n(30)
    for block in range(1, 17):
        trials += [("kill", "SIGKILL at each block + retries, prunes, restore", block)] * n(2)
    trials += [("signal", "signals at varied moments", 0)] * n(36)
    return trials


def run_main(args):
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="ovrel-campaign-"))
    os.makedirs(work, exist_ok=True)
    build = os.path.abspath(os.path.join(args.build, "bin"))
    files, refs, counts = prepare(build, work)
    build = os.path.dirname(files["ovrel"])
    state = os.path.join(work, "state.json")
    with open(state, "w") as f:
        json.dump({"build": build, "files": files, "counts": counts,
                   "refs": {k: v.hex() for k, v in refs.items()}}, f)
    only = set(args.only.split(",")) if args.only else None
    table = {}
    rng = random.Random(args.seed)
    for attack, label, param in plan(args.scale, "ovrelware" in files):
        if only and attack not in only:
            continue
        seed = rng.randrange(1 << 30)
        failure = in_namespace(state, attack, param, seed)
        row = table.setdefault(label, [0, 0])
        row[0 if failure is None else 1] += 1
        if failure:
            print(f"FAILED {label} (seed {seed}): {failure}", flush=True)
    print(f"\n{'attack':52} trials  held  failed")
    for label, (held, failed) in table.items():
        print(f"{label:52} {held + failed:6} {held:5} {failed:7}")
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if any(f for _, f in table.values()) else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    run = sub.add_parser("run")
    run.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "..", "..", "build"))
    run.add_argument("--work")
    run.add_argument("--only")
    run.add_argument("--scale", type=float, default=1.0)
    run.add_argument("--seed", type=int, default=1)
    run.add_argument("--keep", action="store_true")
    trial = sub.add_parser("trial")
    trial.add_argument("--state", required=True)
    trial.add_argument("--attack", required=True)
    trial.add_argument("--param", type=int, default=0)
    trial.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()
    if args.mode == "trial":
        trial_main(args)
        return 0
    return run_main(args)


if __name__ == "__main__":
    sys.exit(main())
