"""One emulated machine: a 16550 and an FTDI adapter, each wired to a simulated printer.

QEMU gets a 16550 as ttyS1 (ttyS0 is the console, written to a file) and its
FTDI FT232 (usb-serial, 0403:6001) on an xHCI controller as ttyUSB0. Each
port's backend is a pseudo-terminal QEMU makes (-chardev pty), bridged by
socat to the pseudo-terminal of a voren-sim of its own; a pty backend has no
modem lines, so QEMU shows the guest CTS high. With `cts_low` the 16550's
backend is the simulator's terminal itself (-chardev serial): QEMU asks that
terminal for its modem lines, a pseudo-terminal has none, and the guest reads
CTS low. What the guest reports comes back on a virtio-serial port written to
a file; the monitor (QMP) plugs and unplugs the adapter.
"""

import fcntl
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

QEMU = "qemu-system-x86_64"
BAUD = "38400"
# The host's processor for KVM, less a register a nested hypervisor may refuse
# (QEMU aborts setting it); every processor TCG has.
CPU = {"kvm": ["-cpu", "host,-arch-capabilities"], "tcg": ["-cpu", "max"]}


class MachineError(Exception):
    pass


def accelerator(kernel, cache):
    """kvm where it boots this kernel, else tcg; VOREN_MACHINE_ACCEL=kvm|tcg chooses.

    /dev/kvm that opens is not enough: nested under another hypervisor it may
    take the machine and never start the kernel. So a first boot without an
    initramfs must reach the kernel's panic within 30 s; the answer is kept in
    the cache for this kernel."""
    chosen = os.environ.get("VOREN_MACHINE_ACCEL")
    if chosen:
        return chosen
    try:
        os.close(os.open("/dev/kvm", os.O_RDWR))
    except OSError:
        return "tcg"
    verdict = cache / f"accelerator-{kernel.parent.name}"
    with open(cache / "lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not verdict.exists():
            with tempfile.TemporaryDirectory(prefix="voren-kvm-") as folder:
                console = Path(folder) / "console"
                try:
                    subprocess.run([QEMU, "-nodefaults", "-display", "none", "-no-reboot",
                                    "-accel", "kvm", *CPU["kvm"], "-m", "128",
                                    "-kernel", str(kernel), "-append", "console=ttyS0 panic=-1",
                                    "-serial", f"file:{console}"],
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
                except subprocess.TimeoutExpired:
                    pass
                booted = console.exists() and "Kernel panic" in console.read_text(errors="replace")
            verdict.write_text("kvm" if booted else "tcg")
    return verdict.read_text()


class Monitor:
    """QEMU's machine protocol on a Unix socket: one command, one answer."""

    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(str(path))
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise MachineError("QEMU's monitor socket never opened")
                time.sleep(0.05)
        self.sock.settimeout(30)
        self.lines = self.sock.makefile("r")
        self.lines.readline()  # the greeting
        self.execute("qmp_capabilities")

    def execute(self, command, **arguments):
        try:
            return self._execute(command, arguments)
        except OSError as e:
            raise MachineError(f"QEMU's monitor failed during {command}: {e}") from e

    def _execute(self, command, arguments):
        self.sock.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        while True:
            line = self.lines.readline()
            if not line:
                raise MachineError(f"QEMU's monitor closed during {command}")
            answer = json.loads(line)
            if "return" in answer:
                return answer["return"]
            if "error" in answer:
                raise MachineError(f"{command}: {answer['error']['desc']}")

    def close(self):
        self.sock.close()


# The quiet after which the printer drops a command cut short. Longer than
# its own 2 s: a guest under TCG on a loaded host stalls for seconds, and a
# stall must not cut a sound run's block in two. scenarios.sh waits this long
# after a run it killed.
FRAME_GAP_MS = "6000"


class Printer:
    """A voren-sim paced at the line's rate, dumping what it stored."""

    def __init__(self, sim, workdir, name, lifetime):
        self.dump = workdir / f"{name}.bin"
        self.log = open(workdir / f"{name}.log", "w+")
        self.process = subprocess.Popen(
            [str(sim), "--baud", BAUD, "--dump", str(self.dump), "--lifetime", str(lifetime),
             "--frame-gap", FRAME_GAP_MS],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.path = self.process.stdout.readline().strip()
        if not self.path:
            raise MachineError(f"voren-sim for {name} printed no terminal")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.seek(0)
        return self.log.read()


class Machine:
    """Boots the guest for one scenario and collects what it reports."""

    def __init__(self, kernel, initramfs, sim, workdir, scenario, accel, cts_low=False):
        self.workdir = workdir
        self.results = workdir / "results.txt"
        self.console = workdir / "console.txt"
        self.accel = accel
        self.scenario = scenario
        self.kernel, self.initramfs, self.sim = kernel, initramfs, sim
        self.cts_low = cts_low
        self.printers = {}
        self.bridges = []
        self.qemu = None
        self.qemu_log = None
        self.monitor = None
        self.seconds = {}

    def _command(self, uart_backend):
        return [QEMU, "-nodefaults", "-display", "none", "-no-reboot", "-S",
                "-accel", self.accel, *CPU[self.accel], "-m", "256", "-smp", "1",
                "-kernel", str(self.kernel), "-initrd", str(self.initramfs),
                "-append", f"console=ttyS0 quiet panic=-1 voren.scenario={self.scenario}",
                "-chardev", f"file,id=console,path={self.console}",
                "-device", "isa-serial,chardev=console,index=0",
                "-chardev", uart_backend,
                "-device", "isa-serial,chardev=uart,index=1",
                "-device", "qemu-xhci,id=xhci",
                "-chardev", "pty,id=ftdi",
                "-device", "usb-serial,chardev=ftdi,id=ftdi,bus=xhci.0",
                "-device", "virtio-serial-pci",
                "-chardev", f"file,id=results,path={self.results}",
                "-device", "virtserialport,chardev=results,name=results",
                "-qmp", f"unix:{self.workdir / 'qmp'},server=on,wait=off"]

    def _bridge(self, qemu_terminal, printer):
        self.bridges.append(subprocess.Popen(
            ["socat", f"FILE:{qemu_terminal},raw,echo=0", f"FILE:{printer.path},raw,echo=0"],
            stdin=subprocess.DEVNULL))

    def run(self, deadline_seconds):
        """Boots and runs the scenario, acting on its marks as they come. QEMU is
        killed at the deadline."""
        started = time.monotonic()
        deadline = started + deadline_seconds
        lifetime = deadline_seconds + 30
        for name in ["uart", "ftdi"]:
            self.printers[name] = Printer(self.sim, self.workdir, name, lifetime)
        uart = (f"serial,id=uart,path={self.printers['uart'].path}" if self.cts_low
                else "pty,id=uart")
        self.qemu_log = open(self.workdir / "qemu.txt", "w")
        self.qemu = subprocess.Popen(self._command(uart), stdin=subprocess.DEVNULL,
                                     stdout=self.qemu_log, stderr=subprocess.STDOUT)
        try:
            self.monitor = Monitor(self.workdir / "qmp", deadline)
        except (OSError, MachineError) as e:
            self.qemu.kill()
            self.qemu.wait()
            raise MachineError(f"QEMU's monitor: {e}; QEMU said:\n{self._tail(self.workdir / 'qemu.txt')}")
        terminals = {c["label"]: c["filename"] for c in self.monitor.execute("query-chardev")}
        for name in ([] if self.cts_low else ["uart"]) + ["ftdi"]:
            self._bridge(terminals[name].removeprefix("pty:"), self.printers[name])
        self.monitor.execute("cont")
        booting = time.monotonic()
        marks_seen = 0
        while self.qemu.poll() is None:
            if "boot" not in self.seconds and self.results.exists() and self.results.stat().st_size:
                self.seconds["boot"] = time.monotonic() - booting
            if time.monotonic() > deadline:
                self.qemu.kill()
                self.qemu.wait()
                raise MachineError(
                    f"the guest did not power off within {deadline_seconds} s (scenario "
                    f"{self.scenario}); its console ends:\n{self._tail(self.console)}\n"
                    f"and its results:\n{self._tail(self.results)}")
            marks = [line[8:] for line in self._reported() if line.startswith("@@ mark ")]
            for mark in marks[marks_seen:]:
                try:
                    self.act(mark)
                except MachineError as e:
                    # A monitor that closed is mostly QEMU gone: say how.
                    try:
                        ended = f"exited with {self.qemu.wait(5)}"
                    except subprocess.TimeoutExpired:
                        ended = "still runs"
                    raise MachineError(
                        f"{e} (at the guest's mark {mark!r}, scenario {self.scenario}); QEMU "
                        f"{ended} and said:\n{self._tail(self.workdir / 'qemu.txt')}\n"
                        f"its console ends:\n{self._tail(self.console)}") from e
            marks_seen = len(marks)
            time.sleep(0.1)
        self.seconds["run"] = time.monotonic() - booting
        if "@@ end" not in self._reported():
            raise MachineError(f"the guest powered off before its scenario ended; console:\n"
                               f"{self._tail(self.console)}\nresults:\n{self._tail(self.results)}")

    def act(self, mark):
        """What the guest asks for at a mark: "snapshot uart|ftdi", "unplug", "plug"."""
        if mark.startswith("snapshot "):
            dump = self.printers[mark.split()[1]].dump
            if dump.exists():  # none when no update was complete
                shutil.copy(dump, self.workdir / f"{dump.stem}-snapshot.bin")
        elif mark == "unplug":
            self.monitor.execute("device_del", id="ftdi")
        elif mark == "plug":
            self.monitor.execute("device_add", driver="usb-serial", chardev="ftdi", id="ftdi",
                                 bus="xhci.0")
        else:
            raise MachineError(f"the guest asked for {mark!r}, which the host does not know")

    def _reported(self):
        """The results' lines so far: sections ("@@ NAME", then text) and marks
        ("@@ mark WHAT"); rows.py reads the sections."""
        return (self.results.read_text(errors="replace").splitlines()
                if self.results.exists() else [])

    def stop(self):
        """Ends everything this machine started; returns each printer's log."""
        if self.qemu and self.qemu.poll() is None:
            self.qemu.kill()
            self.qemu.wait()
        if self.monitor:
            self.monitor.close()
        if self.qemu_log:
            self.qemu_log.close()
        for bridge in self.bridges:
            bridge.terminate()
            bridge.wait()
        return {name: printer.stop() for name, printer in self.printers.items()}

    @staticmethod
    def _tail(path, lines=15):
        if not path.exists():
            return "(nothing)"
        return "\n".join(path.read_text(errors="replace").splitlines()[-lines:])
