#!/usr/bin/env python3
"""Boots the machine for one scenario and keeps what it reported for the rows.

usage: boot.py SCENARIO --program voren-cp852 --sim voren-sim --cache DIR --out DIR

OUT then holds results.txt (the guest's sections), console.txt, each
printer's log and dump snapshots, reference.bin (what an update through a
pseudo-terminal on this host leaves in the printer) and timings.json. When
this host cannot run a machine, OUT holds only `skipped` with the reason, and
the run prints "[  SKIPPED ] reason".
"""

import argparse
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import image  # noqa: E402
from machine import QEMU, Machine, MachineError, accelerator  # noqa: E402

# The guest's whole run, boot to power-off, under TCG beside other tests.
DEADLINE = {"uart": 240, "usb": 240, "cts_low": 120}


def reference_table(program, sim, workdir):
    dump = workdir / "reference.bin"
    printer = subprocess.Popen([str(sim), "--dump", str(dump), "--lifetime", "60"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    path = printer.stdout.readline().strip()
    try:
        subprocess.run([str(program), "--device", path], capture_output=True, timeout=60)
    finally:
        printer.terminate()
        printer.wait(10)
    return dump


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=DEADLINE)
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("--sim", type=Path, required=True)
    parser.add_argument("--cache", type=Path, required=True)
    parser.add_argument("--out", type=Path, required=True)
    args = parser.parse_args()
    shutil.rmtree(args.out, ignore_errors=True)
    args.out.mkdir(parents=True)

    def skip(reason):
        (args.out / "skipped").write_text(reason)
        print(f"[  SKIPPED ] {reason}")
        return 0

    if not shutil.which(QEMU):
        return skip(f"{QEMU} is not installed (scripts/install-deps)")
    # The monitor's socket path must stay short: the work is in /tmp.
    with tempfile.TemporaryDirectory(prefix=f"voren-machine-{args.scenario}-") as folder:
        workdir = Path(folder)
        try:
            kernel, initramfs = image.build(args.cache, args.program, workdir)
        except image.Unavailable as e:
            return skip(str(e))
        reference = reference_table(args.program, args.sim, workdir)
        if not reference.exists():
            print(f"{args.scenario}: an update through a pseudo-terminal on this host left no dump")
            return 1
        shutil.copy(reference, args.out)
        machine = Machine(kernel, initramfs, args.sim, workdir, args.scenario,
                          accelerator(kernel, args.cache), cts_low=args.scenario == "cts_low")
        failure = None
        try:
            machine.run(DEADLINE[args.scenario])
        except MachineError as e:
            failure = str(e)
        finally:
            logs = machine.stop()
        for name, log in logs.items():
            (args.out / f"printer-{name}.log").write_text(log)
        for kept in ["results.txt", "console.txt", "qemu.txt", *map(str, workdir.glob("*-snapshot.bin"))]:
            if (workdir / kept).exists():
                shutil.copy(workdir / kept, args.out)
        (args.out / "timings.json").write_text(json.dumps({"accel": machine.accel, **machine.seconds}))
        print(f"{args.scenario}: {machine.accel}, "
              + ", ".join(f"{k} {v:.1f} s" for k, v in machine.seconds.items()))
        if failure:
            print(f"{args.scenario}: {failure}")
            return 1
        return 0


if __name__ == "__main__":
    sys.exit(main())
