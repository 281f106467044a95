"""The guest's kernel and initramfs.

The kernel is Debian's current amd64 image package, found at run time
(`apt-cache depends linux-image-amd64`), fetched once with `apt-get download`
into the cache folder and unpacked there with `dpkg -x`, never installed;
the kernel proper is taken out of its compressed image there too. The
initramfs is built for each machine: busybox, the native program with the
libraries it links, the modules for xHCI, the FTDI adapter and the results
port with what they depend on, and the guest's init and scenarios.
"""

import fcntl
import lzma
import os
import re
import shutil
import stat
import subprocess
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUSYBOX = Path("/bin/busybox")
# Loaded in this order, each after what it depends on (read from the modules
# themselves: the package carries no modules.dep).
MODULES = ["xhci_pci", "ftdi_sio", "virtio_console", "virtio_pci"]
# The guest's users: the operator in no group that owns a port, another user
# beside them; /etc/group gives the ports' group.
PASSWD = "root:x:0:0:root:/root:/bin/sh\nkasjer:x:1000:1000::/tmp:/bin/sh\nserwis:x:1001:1001::/tmp:/bin/sh\n"
GROUP = "root:x:0:\ndialout:x:20:\nkasjer:x:1000:\nserwis:x:1001:\n"


class Unavailable(Exception):
    """What this host lacks to build the machine (the row skips, saying so)."""


def kernel_package():
    try:
        out = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], capture_output=True,
                             text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        raise Unavailable(f"apt-cache cannot name Debian's kernel package: {e}")
    found = re.search(r"Depends: (linux-image-\S+-amd64)", out)
    if not found:
        raise Unavailable("apt-cache names no linux-image-*-amd64 package")
    return found.group(1)


def unpacked_kernel(cache):
    """The unpacked package's folder, fetched and unpacked once per version."""
    package = kernel_package()
    tree = cache / package
    cache.mkdir(parents=True, exist_ok=True)
    with open(cache / "lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # rows side by side fetch it once
        if not (tree / "done").exists():
            shutil.rmtree(tree, ignore_errors=True)
            for old in cache.glob(package + "_*.deb"):
                old.unlink()
            got = subprocess.run(["apt-get", "download", package], cwd=cache, capture_output=True,
                                 text=True)
            debs = list(cache.glob(package + "_*.deb"))
            if got.returncode != 0 or not debs:
                raise Unavailable(f"apt-get download {package} failed: {got.stderr.strip()}")
            subprocess.run(["dpkg", "-x", str(debs[0]), str(tree)], check=True)
            debs[0].unlink()
            unpack_vmlinux(next((tree / "boot").glob("vmlinuz-*")), tree / "vmlinux")
            (tree / "done").touch()
    return tree


def unpack_vmlinux(bzimage, target):
    """The kernel itself, out of its self-unpacking image. QEMU starts it at its
    PVH entry, which spares the guest unpacking it: under TCG that is two
    thirds of the boot (23 s against 8 s to the first process, measured)."""
    data = bzimage.read_bytes()
    start = data.find(b"\xfd7zXZ\0")
    if start < 0:
        raise Unavailable(f"{bzimage} holds no xz stream (the kernel is packed otherwise)")
    target.write_bytes(lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(data[start:]))


def module_order(modules_root, wanted):
    """The .ko files to load, each after those it depends on."""
    files = {p.stem.replace("-", "_"): p for p in modules_root.rglob("*.ko")}
    order, seen = [], set()

    def visit(name):
        if name in seen:
            return
        seen.add(name)
        if name not in files:
            raise Unavailable(f"the kernel package has no module {name}")
        depends = re.search(rb"\0depends=([^\0]*)\0", files[name].read_bytes())
        for dep in filter(None, (depends.group(1).decode() if depends else "").split(",")):
            visit(dep.replace("-", "_"))
        order.append(files[name])

    for name in wanted:
        visit(name)
    return order


def linked_libraries(program):
    """The loader and every shared library the program links, by their paths."""
    out = subprocess.run(["ldd", str(program)], capture_output=True, text=True, check=True).stdout
    return [Path(p) for p in re.findall(r"(/\S+) \(0x", out)]


def cpio_newc(root, target):
    """root packed as an uncompressed newc archive, which the kernel unpacks as is."""
    with open(target, "wb") as out:
        def entry(name, st, data):
            fields = [0, st.st_mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
            header = b"070701" + b"".join(b"%08X" % f for f in fields)
            out.write(header + name.encode() + b"\0")
            out.write(b"\0" * (-(110 + len(name) + 1) % 4) + data + b"\0" * (-len(data) % 4))

        for path in sorted(root.rglob("*")):
            st = path.lstat()
            data = (os.readlink(path).encode() if stat.S_ISLNK(st.st_mode)
                    else path.read_bytes() if stat.S_ISREG(st.st_mode) else b"")
            entry(str(path.relative_to(root)), st, data)
        entry("TRAILER!!!", os.stat_result((0,) * 10), b"")


def build(cache, program, workdir):
    """(kernel, initramfs) for a machine that runs program; the initramfs goes in workdir."""
    if not BUSYBOX.exists():
        raise Unavailable(f"{BUSYBOX} is missing (busybox-static)")
    tree = unpacked_kernel(cache)
    kernel = tree / "vmlinux"
    root = workdir / "root"
    for folder in ["bin", "sbin", "usr/bin", "usr/sbin", "etc", "proc", "sys", "dev", "tmp",
                   "modules", "opt/voren"]:
        (root / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy2(BUSYBOX, root / "bin/busybox")
    shutil.copy2(program, root / "opt/voren" / program.name)
    for library in linked_libraries(program):
        (root / library.relative_to("/")).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(library.resolve(), root / library.relative_to("/"))
    names = []
    for number, module in enumerate(module_order(next((tree / "lib/modules").iterdir()), MODULES)):
        name = f"{number:02}-{module.name}"
        shutil.copy2(module, root / "modules" / name)
        names.append(name)
    (root / "modules/order").write_text("\n".join(names) + "\n")
    (root / "etc/passwd").write_text(PASSWD)
    (root / "etc/group").write_text(GROUP)
    for script in ["init", "scenarios.sh"]:
        shutil.copy2(HERE / script, root / script)
    (root / "init").chmod(0o755)
    initramfs = workdir / "initramfs.cpio"
    cpio_newc(root, initramfs)
    shutil.rmtree(root)
    return kernel, initramfs
