# SPDX-License-Identifier: MIT
"""Listening to the program: a private sound server with a null sink, its
monitor recorded with parec, and the sounds found in the recording.

The server is PulseAudio (SoundServer) or PipeWire with its PulseAudio
service (PipeWireServer, at PipeWire's own 48 kHz: what a Debian desktop
runs), chosen by server(). It runs as the current user (root in CI) with its
own runtime folder and no autospawn; the program reaches it through
PULSE_SERVER. Everything it creates lives in one temporary folder that
stop() removes with the server.

Sounds are found by their samples: the expected sound is what the program's
decode helper makes of the file at the player's volume, and an onset is the
first place after a drop where the recording holds its first 50 ms, sample
for sample within a small error. That tells the chime from the buzz and a
new sound from the one it replaced.

When a drop happened is read off the same recording: a reference client
(pacat with a 5 ms buffer) plays a click just before the button is let go
and another a moment after, and the drop lies between them by the test's
clock. The program's delay is measured against that client's, so the
recorder's and the server's own latency do not count.
"""

import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import numpy as np

import quizdriver

RATE = 44100
SINK = "orbenvaletest"


class SoundServer:
    # How closely a sound in the recording must match the program's samples
    # (find_onset): to the sample here, where nothing is resampled.
    TOLERANCE = 0.05
    BELOW_HZ = None
    EARLY = 0.005  # s: how much earlier than the drop a sound is looked for

    def __init__(self, work=None):
        self.dir = Path(tempfile.mkdtemp(prefix="orbenvale-pulse.", dir=work))
        self.proc = None
        self.socket = self.dir / "native"

    def env(self):
        """What a client needs to reach this server and no other."""
        return {"PULSE_SERVER": f"unix:{self.socket}", "PULSE_COOKIE": str(self.dir / "cookie")}

    def start(self, timeout=10):
        """Starts the server; again after kill(), at the same address."""
        for tool in ("pulseaudio", "parec", "pactl"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing: run tools/install-deps.sh")
        for d in ("run", "home", "state"):
            (self.dir / d).mkdir(mode=0o700, exist_ok=True)
        self.socket.unlink(missing_ok=True)
        script = self.dir / "server.pa"
        # The sink is suspended a second after the last stream goes quiet,
        # as a desktop's server does it (after longer).
        script.write_text(
            f"load-module module-null-sink sink_name={SINK} rate={RATE} channels=2\n"
            f"load-module module-native-protocol-unix socket={self.socket} auth-anonymous=1\n"
            f"load-module module-suspend-on-idle timeout=1\n"
            f"set-default-sink {SINK}\n")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.dir / "home"),
               "XDG_RUNTIME_DIR": str(self.dir / "run"), "PULSE_RUNTIME_PATH": str(self.dir / "run"),
               "PULSE_STATE_PATH": str(self.dir / "state")}
        # -n: only the modules above; --system=false lets root run a user
        # server; no idle exit while the test is quiet.
        self.launch(["pulseaudio", "--daemonize=no", "--system=false", "-n", "--exit-idle-time=-1",
                     "--disallow-exit", "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                     "-F", str(script)], env)
        self.wait_for("pulseaudio", lambda: SINK in self.pactl("info"), timeout)
        return self

    def launch(self, argv, env):
        """Starts the server's processes, in a process group of their own."""
        self.log = open(self.dir / "server.log", "w")
        self.proc = subprocess.Popen(argv, env=env, cwd=self.dir, stdin=subprocess.DEVNULL, stdout=self.log,
                                     stderr=subprocess.STDOUT, start_new_session=True)

    def wait_for(self, what, answered, timeout):
        """Waits until the server answers as asked, or raises with its log."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError(f"{what} ended at start:\n{self.server_log()}")
            if answered():
                return
            time.sleep(0.1)
        raise RuntimeError(f"{what} did not answer within {timeout} s:\n{self.server_log()}")

    def pactl(self, *args):
        r = subprocess.run(["pactl", *args], env={**os.environ, **self.env()}, capture_output=True, text=True,
                           timeout=10)
        return r.stdout if r.returncode == 0 else ""

    def sink_state(self):
        """The test sink's state in the server's own word: RUNNING, IDLE or SUSPENDED."""
        for line in self.pactl("list", "sinks", "short").splitlines():
            fields = line.split("\t")
            if len(fields) >= 5 and fields[1] == SINK:
                return fields[-1].strip()
        return None

    def corked(self, client):
        """Whether the streams of a client (by its name) are corked, as the
        server sees them: True, False, or None when it has none."""
        states, current = [], {}
        for line in self.pactl("list", "sink-inputs").splitlines() + ["Sink Input #end"]:
            line = line.strip()
            if line.startswith("Sink Input #"):
                if current.get("name") == client:
                    states.append(current.get("corked"))
                current = {}
            elif line.startswith("Corked:"):
                current["corked"] = line.split(":", 1)[1].strip() == "yes"
            elif line.startswith("application.name = "):
                current["name"] = line.split("=", 1)[1].strip().strip('"')
        return all(states) if states else None

    def serve_tests(self, purpose):
        """Starts the server for a test and points the programs it starts at
        it, with the sound engine telling what it does (shown with a failure).
        False, with the reason printed, when no server starts."""
        try:
            self.start()
        except RuntimeError as e:
            print(f"FAILED: no sound server to {purpose}: {e}", file=sys.stderr)
            return False
        os.environ.update(self.env())
        os.environ["QT_LOGGING_RULES"] = "orbenvale.sound.debug=true"
        return True

    def pause(self):
        """Freezes the server, as a desktop's stuck sound server is: it
        accepts connections and answers nothing."""
        os.killpg(self.proc.pid, signal.SIGSTOP)

    def resume(self):
        os.killpg(self.proc.pid, signal.SIGCONT)

    def kill(self):
        """Ends the server at once, as a crash does."""
        os.killpg(self.proc.pid, signal.SIGKILL)
        self.proc.wait(5)
        self.log.close()

    def server_log(self):
        try:
            return (self.dir / "server.log").read_text(errors="replace")[-3000:]
        except OSError:
            return ""

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGCONT)
                os.killpg(self.proc.pid, signal.SIGTERM)
                self.proc.wait(5)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait(5)
        self.proc = None
        if getattr(self, "log", None):
            self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class PipeWireServer(SoundServer):
    """PipeWire, its session manager and its PulseAudio service, started as
    a desktop starts them (in a private D-Bus session and runtime folder),
    at PipeWire's own 48 kHz, with a null sink made the default. The
    session manager suspends an idle sink after its own 5 s."""

    NAME = "pipewire"
    # Resampled to 48 kHz and back, a sound lands between samples: its
    # match is looser, and still tells one sound from another.
    TOLERANCE = 0.25
    BELOW_HZ = 4000
    EARLY = 0.03

    def start(self, timeout=15):
        for tool in ("pipewire", "wireplumber", "pipewire-pulse", "dbus-run-session", "parec", "pactl"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing: run tools/install-deps.sh")
        for d in ("run", "home"):
            (self.dir / d).mkdir(mode=0o700, exist_ok=True)
        self.socket = self.dir / "run" / "pulse" / "native"
        script = self.dir / "servers.sh"
        script.write_text("pipewire & sleep 0.3; wireplumber & sleep 0.3; pipewire-pulse & wait\n")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.dir / "home"),
               "XDG_RUNTIME_DIR": str(self.dir / "run"), "DISABLE_RTKIT": "1",
               # Its notes too: among them each cycle of the graph a client missed.
               "PIPEWIRE_DEBUG": "3"}
        self.launch(["dbus-run-session", "--", "sh", str(script)], env)
        self.wait_for("pipewire-pulse", lambda: bool(self.pactl("info")), timeout)
        self.pactl("load-module", "module-null-sink", f"sink_name={SINK}")
        self.pactl("set-default-sink", SINK)
        self.wait_for(f"pipewire's sink {SINK}", lambda: self.sink_state() is not None, timeout)
        return self

    def env(self):
        return {"PULSE_SERVER": f"unix:{self.socket}"}

    def missed_cycles(self, client):
        """How many of the graph's cycles found a client's stream not ready,
        by PipeWire's own log ("client missed N wakeups"): that cycle the
        stream is silent, however much of its sound the server holds."""
        try:
            log = (self.dir / "server.log").read_text(errors="replace")
        except OSError:
            return 0
        found = re.findall(r"\(" + re.escape(client) + r"-\d+\) client missed (\d+) wakeups", log)
        return sum(int(n) for n in found)


def server(name=None, work=None):
    """The sound server to listen with: "pulseaudio" (the default) or
    "pipewire", by name or by ORBENVALE_SOUND_SERVER."""
    name = name or os.environ.get("ORBENVALE_SOUND_SERVER", "pulseaudio")
    return PipeWireServer(work) if name == "pipewire" else SoundServer(work)


class Recorder:
    """Records the null sink's monitor from start() on. Sample n of the
    recording was played at about clock() + n / RATE (CLOCK_MONOTONIC): the
    offset is the smallest difference seen between a block's arrival and
    its place in the recording, once the stream has settled (the monitor
    hands over what it has buffered in a burst at first)."""

    SETTLE = 0.5

    def __init__(self, server):
        self.server = server
        self.data = bytearray()
        self.offset = None
        self.began = None
        self.arrivals = []  # (time, frames recorded by then)
        self.lock = threading.Lock()

    def start(self):
        # A 10 ms buffer keeps the monitor streaming without gaps.
        self.proc = subprocess.Popen(
            ["parec", "-d", f"{SINK}.monitor", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2",
             "--latency-msec=10"],
            env={**os.environ, **self.server.env()}, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        deadline = time.monotonic() + 5
        while self.offset is None:
            if time.monotonic() > deadline:
                raise RuntimeError("parec recorded nothing within 5 s")
            time.sleep(0.01)
        return self

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic()
            if not chunk:
                return
            with self.lock:
                self.data += chunk
                if self.began is None:
                    self.began = now
                self.arrivals.append((now, len(self.data) // 4))
                if now - self.began < self.SETTLE:
                    continue
                frames = len(self.data) // 4
                offset = now - frames / RATE
                if self.offset is None or offset < self.offset:
                    self.offset = offset

    def frames(self):
        with self.lock:
            return len(self.data) // 4

    def stop(self):
        """Ends the recording; parec hands over what it still holds when it
        is interrupted, not when it is killed."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(3)
        self.thread.join(5)

    def left(self):
        with self.lock:
            return np.frombuffer(bytes(self.data[:len(self.data) // 4 * 4]), "<i2").reshape(-1, 2)[:, 0].astype(np.float64)

    def save(self, path):
        import wave
        with self.lock:
            data = bytes(self.data[:len(self.data) // 4 * 4])
        with wave.open(str(path), "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(data)

    def sample_at(self, t):
        return int(round((t - self.offset) * RATE))

    def time_of(self, n):
        """When sample n was played, by the recording's clock."""
        return self.offset + n / RATE

    def delivered(self, n):
        """When sample n reached the recorder: no earlier than it was played."""
        with self.lock:
            for t, frames in self.arrivals:
                if frames > n:
                    return t
        return None


def _click():
    """5 ms of noise between 13 and 18 kHz: where the quiz's sounds have none, and
    kept whole by a server that resamples (44.1 to 48 kHz and back)."""
    rng = np.random.default_rng(20261210)
    spectrum = np.fft.rfft(rng.standard_normal(Reference.CLICK))
    freqs = np.fft.rfftfreq(Reference.CLICK, 1 / RATE)
    spectrum[(freqs < 13000) | (freqs > 18000)] = 0
    wave = np.fft.irfft(spectrum, Reference.CLICK)
    return wave / np.abs(wave).max() * Reference.AMPLITUDE


class Reference:
    """A client with a 5 ms buffer that plays a click on request: where the
    click lands in the recording marks the moment it was asked for. The
    test's clock is mapped onto the recording by these clicks alone."""

    CLICK = 220
    TEMPLATE = 64  # enough of it to recognise, should the server cut its start
    AMPLITUDE = 20000
    WAVE = None

    def __init__(self, server):
        self.server = server
        self.clicks = []  # test clock times, in order
        self.found = {}  # click number -> sample
        self.lock = threading.Lock()

    def start(self):
        self.proc = subprocess.Popen(
            ["pacat", "--playback", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2",
             "--latency-msec=5", "--client-name=reference"],
            env={**os.environ, **self.server.env()}, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        # The click and enough silence after it that the client starts playing at once.
        wave = np.zeros((RATE // 50, 2), dtype="<i2")
        wave[:self.CLICK, :] = np.round(self.wave())[:, None]
        self.block = wave.tobytes()
        time.sleep(0.3)  # connected
        return self

    def click(self):
        """Plays a click; returns the time just before it was handed over."""
        t = time.monotonic()
        os.write(self.proc.stdin.fileno(), self.block)
        with self.lock:
            self.clicks.append(t)
        return t

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(3)

    @classmethod
    def wave(cls):
        if cls.WAVE is None:
            cls.WAVE = _click()
        return cls.WAVE

    @classmethod
    def find(cls, recording, start, end):
        """First sample in [start, end) where a click begins, or None: the
        best match within a millisecond of the first good one."""
        n = cls.TEMPLATE
        start, end = max(0, start), min(len(recording) - n, end)
        if end <= start:
            return None
        w = recording[start:end + n - 1]
        t = np.round(cls.wave()[:n])
        score = np.correlate(w, t, mode="valid") / float(np.dot(t, t))
        hits = np.nonzero(score > 0.7)[0]
        if not len(hits):
            return None
        first = hits[0]
        return int(start + first + np.argmax(score[first:first + RATE // 1000]))

    def locate(self, recording):
        """Finds the clicks played so far in the recording: the first one
        anywhere, each later one near where the one before it puts it."""
        with self.lock:
            clicks = list(self.clicks)
        offset, previous, since = None, None, None
        for k, t in enumerate(clicks):
            if k in self.found:
                offset, previous, since = self.found[k] - t * RATE, self.found[k], t
                continue
            # Never where the click before it is: two clicks asked for a few
            # milliseconds apart are both in the recording, the second one
            # after the first.
            after = 0 if previous is None else previous + self.CLICK
            if offset is None:
                at = self.find(recording, after, len(recording))
            else:
                # The recording's clock and the test's drift apart (a
                # fraction of a percent): after a long quiet, look wider.
                guess = int(round(t * RATE + offset))
                reach = int(RATE * (0.03 + 0.005 * max(0.0, t - since)))
                at = self.find(recording, max(after, guess - reach), guess + reach)
            if at is None:
                return
            self.found[k] = at
            offset, previous, since = at - t * RATE, at, t

    def sample_at(self, t):
        """Where the test's time t lies in the recording, by the clicks found
        within two seconds of it (else the nearest one); None before any. A
        click can come late (handed over while the one before still plays,
        or the client scheduled late) but never early: the one that came
        soonest says best where the recording stands."""
        with self.lock:
            clicks = list(self.clicks)
        known = [(abs(clicks[k] - t), at - clicks[k] * RATE) for k, at in self.found.items()]
        if not known:
            return None
        near = [offset for distance, offset in known if distance <= 2.0]
        return int(round(t * RATE + (min(near) if near else min(known)[1])))

    def clicks_within(self, start, end):
        return [at for at in self.found.values() if start - self.CLICK <= at < end]


def without_clicks(segment, at, clicks):
    """A copy of a stretch of recording that starts at sample at, with the
    reference's clicks in it zeroed."""
    out = segment.copy()
    for c in clicks:
        lo, hi = c - at - 2, c - at + Reference.CLICK + 2
        if hi > 0 and lo < len(out):
            out[max(0, lo):max(0, hi)] = 0
    return out


def expected_sound(decoder, path):
    """The left channel of a sound as the program plays it: as the decode
    helper makes it, at the media player's volume (from the layout)."""
    out = subprocess.run([str(decoder), str(path)], capture_output=True, check=True, timeout=30).stdout
    pcm = np.frombuffer(out, "<i2").reshape(-1, 2)[:, 0].astype(np.float64)
    return np.round(pcm * quizdriver.LAYOUT["playerVolume"] / 100)


def lowpass(x, hz):
    """x without what lies above hz (a windowed-sinc filter, no delay)."""
    taps = 63
    k = np.arange(taps) - taps // 2
    h = np.sinc(2 * hz / RATE * k) * np.hamming(taps)
    return np.convolve(x, h / h.sum(), mode="same")


def aligned(recording, sound, at, span_ms=10, template_ms=50, below_hz=None):
    """The sample within span_ms of at where the recording best holds the
    sound's beginning: where a server resamples, a match found with its
    looser tolerance may sit a little to one side."""
    n = int(RATE * template_ms / 1000)
    span = int(RATE * span_ms / 1000)
    lo, hi = max(0, at - span), min(len(recording) - n, at + span)
    if hi <= lo:
        return at
    w, t = recording[lo:hi + n - 1], sound[:n]
    if below_hz:
        w, t = lowpass(w, below_hz), lowpass(t, below_hz)
    cross = np.correlate(w, t, mode="valid")
    sq = np.concatenate([[0.0], np.cumsum(w * w)])
    residual = (sq[n:] - sq[:-n]) - 2 * cross + float(np.dot(t, t))
    return int(lo + np.argmin(residual))


def find_onset(recording, sound, start, end, template_ms=50, tolerance=0.05, below_hz=None):
    """First sample in [start, end) where the recording holds the sound's
    beginning, or None. A match leaves a residual below tolerance times the
    template's energy; with below_hz, both are compared below that
    frequency only (where a resampled sound's half-sample shift is small)."""
    n = int(RATE * template_ms / 1000)
    t = sound[:n]
    start = max(0, start)
    end = min(len(recording) - n, end)
    if end <= start:
        return None
    w = recording[start:end + n - 1]
    if below_hz:
        w, t = lowpass(w, below_hz), lowpass(t, below_hz)
    cross = np.correlate(w, t, mode="valid")
    sq = np.concatenate([[0.0], np.cumsum(w * w)])
    energy = sq[n:] - sq[:-n]
    tt = float(np.dot(t, t))
    residual = energy - 2 * cross + tt
    good = residual < tolerance * tt
    hits = np.nonzero(good)[0]
    if not len(hits):
        return None
    # A quiet lead-in matches a few samples either side: take the best
    # place within 10 ms of the first match.
    first = hits[0]
    return int(start + first + np.argmin(residual[first:first + RATE // 100]))


class Pointer:
    """The mouse button through XTEST on the test's own connection, so the
    moment of a drop is known to the millisecond."""

    def __init__(self, display):
        self.d = display
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.d.x.XFlush.argtypes = [ctypes.c_void_p]

    def release(self):
        """Lets go of button 1; returns the time just before it went to the
        X server (taken before, as other threads may run during the call)."""
        t = time.monotonic()
        self.xtst.XTestFakeButtonEvent(self.d.dpy, 1, 0, 0)
        self.d.x.XFlush(self.d.dpy)
        return t


class DropListener:
    """Hears drops on a recording of the server: lets go of a carried name
    between two clicks of the reference client, and tells from the recording
    when its sound began, against that client."""

    BEFORE = 0.06  # the clicks come this long before and after a drop: clear
    AFTER = 0.12   # of the first 50 ms of the sound, by which it is recognised

    def __init__(self, server, display):
        self.recorder = Recorder(server)
        self.reference = Reference(server)
        self.pointer = Pointer(display)

    def start(self):
        self.recorder.start()
        self.reference.start()
        self.reference.click()  # before any sound: where the recording's clock starts
        return self

    def let_go(self):
        """Lets go of the mouse button; returns (time of the drop, time of
        the click before it)."""
        before = self.reference.click()
        while time.monotonic() < before + self.BEFORE:
            time.sleep(0.001)
        t = self.pointer.release()
        threading.Timer(self.AFTER, self.reference.click).start()
        return t, before

    def heard(self, sound, t, until):
        """(sample, delay in seconds against the reference client) of the
        sound's first sample after the drop at t, looked for up to the time
        until; None when it is not there. Call once the later click is due."""
        rec = self.recorder.left()
        self.reference.locate(rec)
        here = self.reference.sample_at(t)
        if here is None:
            raise RuntimeError("the reference client's clicks are not in the recording")
        # A server that gives the reference client a longer period than the
        # program (PipeWire does) plays its clicks later: the program's sound
        # may then come a little before the drop by that clock.
        early = self.recorder.server.EARLY
        at = find_onset(rec, sound, here - int(early * RATE), here + int((until - t) * RATE),
                        tolerance=self.recorder.server.TOLERANCE, below_hz=self.recorder.server.BELOW_HZ)
        return None if at is None else (at, (at - here) / RATE)

    def stop(self):
        self.recorder.stop()
        self.reference.stop()
