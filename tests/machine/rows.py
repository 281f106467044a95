#!/usr/bin/env python3
"""The machine leg's rows: each checks what a scenario's boot (boot.py) kept.

usage: rows.py ROW --results DIR   (DIR holds one folder a scenario)
"""

import argparse
import json
import re
import sys
from pathlib import Path

# The line settings the port setup asks for: even parity, 8 data bits, one
# stop bit, CTS flow control (stty's words), at 38400 baud.
SETUP = {"parenb", "-parodd", "cs8", "-cstopb", "crtscts"}
IN_USE = "jest zajety przez inny program"
MISSING = "W tym komputerze nie ma portu"


class Results:
    """One scenario's sections ("@@ NAME" then text) and files."""

    def __init__(self, folder):
        self.folder = folder
        self.sections = {}
        name = None
        for line in (folder / "results.txt").read_text(errors="replace").splitlines():
            if line.startswith("@@ mark "):
                continue
            if line.startswith("@@ "):
                name = line[3:].strip()
                self.sections[name] = ""
            elif name is not None:
                self.sections[name] += line + "\n"

    def __getitem__(self, name):
        return self.sections.get(name, "").strip()

    def file(self, name):
        path = self.folder / name
        return path.read_bytes() if path.exists() else b""


class Row:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)
        return condition

    def succeeded(self, results, run):
        return self.expect(results[f"{run} status"] == "0",
                           f"{run}: status {results[f'{run} status'] or '(none)'}, output:\n"
                           f"{results[f'{run} output']}")

    def failed_saying(self, results, run, fragment):
        output = results[f"{run} output"]
        self.expect(results[f"{run} status"] == "1" and fragment in output,
                    f"{run}: status {results[f'{run} status'] or '(none)'}, "
                    f"expected exit 1 and {fragment!r}, output:\n{output}")
        return output


def settings(stty):
    """(baud, words) of `stty -a`."""
    speed = re.search(r"speed (\d+) baud", stty)
    return (speed.group(1) if speed else None), set(stty.split())


def check_update(row, results, printer):
    if row.succeeded(results, "update"):
        print(f"the update took {results['update seconds']} s (the guest's clock)")
    row.expect(results.file(f"{printer}-snapshot.bin") == results.file("reference.bin"),
               "the printer holds something else than an update through a pseudo-terminal leaves")
    if row.expect(results["update during"], "no settings read while the program held the port"):
        baud, words = settings(results["update during"])
        row.expect(baud == "38400" and SETUP <= words,
                   f"while held: {baud} baud, lacking {sorted(SETUP - words)}")


def update_uart(row, r):
    check_update(row, r["uart"], "uart")
    row.expect("CTS" in r["uart"]["update modem lines"].split()[-1].split("|"),
               f"the UART's CTS is not high: {r['uart']['update modem lines']}")


def update_ftdi(row, r):
    check_update(row, r["usb"], "ftdi")


def settings_put_back(row, r):
    for port, results in [("ttyS1", r["uart"]), ("ttyUSB0", r["usb"])]:
        before, after = settings(results["update before"]), settings(results["update after"])
        row.expect(before[0] and before == after,
                   f"{port} after the update: {after[0]} baud, "
                   f"{sorted(after[1] ^ before[1])} changed from before")


def port_list(row, r):
    usb = r["usb"]
    listing = usb["list"]
    uart_line = next((l for l in listing.splitlines() if l.startswith("COM2 /dev/ttyS1")), "")
    adapter_line = next((l for l in listing.splitlines() if l.startswith("COM7 /dev/ttyUSB0")), "")
    sysfs = dict(line.split("=", 1) for line in usb["sysfs"].splitlines() if "=" in line)
    row.expect("sterownik" in uart_line, f"COM2, the UART, with its driver:\n{listing}")
    for shown in [f"{sysfs.get('idVendor')}:{sysfs.get('idProduct')}", sysfs.get("product"),
                  sysfs.get("serial"), sysfs.get("driver"), sysfs.get("location")]:
        row.expect(shown and shown in adapter_line,
                   f"COM7 (VOREN_COM7, the adapter) lacks {shown!r} of sysfs:\n{listing}")
    ports = {}
    for line in usb["list json"].splitlines():
        try:
            port = json.loads(line)
            ports[port["port"]] = port
        except (ValueError, KeyError, TypeError):
            row.expect(False, f"--list --json gave {line!r}")
    row.expect(ports.get("COM2", {}).get("device") == "/dev/ttyS1"
               and ports["COM2"]["description"]["driver"], f"--list --json, COM2: {ports.get('COM2')}")
    adapter = ports.get("COM7", {}).get("description", {})
    expected = {"vendor_id": sysfs.get("idVendor"), "product_id": sysfs.get("idProduct"),
                "manufacturer": sysfs.get("manufacturer"), "product": sysfs.get("product"),
                "serial": sysfs.get("serial"), "driver": sysfs.get("driver"),
                "location": sysfs.get("location")}
    got = {key: adapter.get(key) for key in expected}
    row.expect(got == expected and sysfs.get("idVendor") == "0403" and sysfs.get("idProduct") == "6001",
               f"--list --json, COM7: {got}, sysfs: {expected}")


def latency_timer(row, r):
    usb = r["usb"]
    before, during, after = (usb[f"latency {when}"] for when in ["before", "during", "after"])
    row.succeeded(usb, "update")
    # QEMU's adapter reports a timer of 0 where a real one has 16: what counts
    # is low latency (1) while the port is held, and the first value after.
    row.expect(before not in ["", "1"] and during == "1" and after == before,
               f"latency timer before, during, after: {before!r}, {during!r}, {after!r}")
    # SIGKILL leaves the adapter in low latency: nothing of the run is left to
    # put it back, and the driver keeps the mode across opens.
    row.expect(usb["latency after kill"] == "1",
               f"after a run killed with SIGKILL the timer reads {usb['latency after kill']!r}")


def in_use(row, r):
    uart = r["uart"]
    for holder in ["second", "cat", "other_user"]:
        output = row.failed_saying(uart, holder, IN_USE)
        row.expect(MISSING not in output, f"{holder}: the held port is called missing:\n{output}")
    plain = uart["plain open while held"]
    row.expect("busy" in plain and "opened" not in plain,
               f"a user's plain open of the held UART was not refused as busy:\n{plain}")
    row.succeeded(uart, "update")


def no_permission(row, r):
    uart = r["uart"]
    output = row.failed_saying(uart, "denied", "Brak uprawnien do portu")
    row.expect("dialout" in output, f"the permission line names no group:\n{output}")
    row.expect(MISSING not in output and IN_USE not in output,
               f"the permission line is not alone:\n{output}")


def unplugged(row, r):
    usb = r["usb"]
    row.failed_saying(usb, "unplugged", "zostal odlaczony")
    try:
        took = float(usb["unplugged ended at"]) - float(usb["unplugged at"])
    except ValueError:
        took = None
    # The kernel's own time of the disconnect: from the mark to it is the
    # host's part (QMP, the emulated controller), after it the program's.
    disconnect = re.search(r"\[\s*([\d.]+)\] usb \S+: USB disconnect", usb["unplugged kernel"])
    after = None
    if disconnect and took is not None:
        after = float(usb["unplugged ended at"]) - float(disconnect.group(1))
    # The USB time-out a stuck control transfer waits out is 5 s: well under
    # it, so a run that waited one out cannot pass.
    if row.expect(after is not None and after < 3,
                  f"the run ended {after} s after the kernel saw the adapter go "
                  f"({took} s after the mark to unplug it):\n{usb['unplugged trace']}\n"
                  f"{usb['unplugged kernel']}"):
        print(f"the run ended {after:.2f} s after the kernel saw the adapter go, "
              f"{took:.2f} s after the mark to unplug it (the guest's clock)")
    row.expect(usb["left running"] == "", f"left running after the unplug: {usb['left running']}")
    row.succeeded(usb, "replugged")


def cts_low(row, r):
    row.expect("CTS" not in r["cts_low"]["cts modem lines"].split()[-1].split("|"),
               f"the rig did not hold CTS low: {r['cts_low']['cts modem lines']}")
    row.failed_saying(r["cts_low"], "cts", "linia CTS")


def late_answers(row, r):
    # The line after a run whose answers came late: a UART has no timer to
    # blame, and a timer already at 1 ms (or the 0 QEMU's adapter reports) is
    # no timer to shorten.
    for scenario, results in r.items():
        for name, text in results.sections.items():
            if not name.endswith(" output"):
                continue
            for line in text.splitlines():
                timer = re.search(r"\(latency timer (\d+) ms\)", line)
                row.expect(not (scenario != "usb" and ("Adapter" in line or "latency" in line)),
                           f"{scenario}, {name}: a UART called an adapter:\n{line}")
                row.expect(not ("Ustaw" in line and timer and int(timer.group(1)) <= 1),
                           f"{scenario}, {name}: the timer's own value advised:\n{line}")


def killed_then_other_user(row, r):
    uart = r["uart"]
    row.succeeded(uart, "after_kill")


# name: (the scenarios whose boots it reads, its check)
ROWS = {
    "update_uart": (["uart"], update_uart),
    "update_ftdi": (["usb"], update_ftdi),
    "settings_put_back": (["uart", "usb"], settings_put_back),
    "port_list": (["usb"], port_list),
    "latency_timer": (["usb"], latency_timer),
    "in_use": (["uart"], in_use),
    "no_permission": (["uart"], no_permission),
    "unplugged": (["usb"], unplugged),
    "cts_low": (["cts_low"], cts_low),
    "killed_then_other_user": (["uart"], killed_then_other_user),
    "late_answers": (["uart", "usb", "cts_low"], late_answers),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("row", choices=ROWS)
    parser.add_argument("--results", type=Path, required=True)
    args = parser.parse_args()
    scenarios, check = ROWS[args.row]
    loaded = {}
    for scenario in scenarios:
        folder = args.results / scenario
        if (folder / "skipped").exists():
            print(f"[  SKIPPED ] {(folder / 'skipped').read_text()}")
            return 0
        if not (folder / "results.txt").exists():
            print(f"{args.row}: the {scenario} boot left no results in {folder}")
            return 1
        loaded[scenario] = Results(folder)
    row = Row()
    check(row, loaded)
    for failure in row.failures:
        print(f"{args.row}: {failure}")
    return 1 if row.failures else 0


if __name__ == "__main__":
    sys.exit(main())
