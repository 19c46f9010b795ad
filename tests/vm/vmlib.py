"""A virtual machine with a real Linux kernel, its FTDI USB-serial driver and udev.

QEMU (TCG) boots the Debian kernel with the host's root read-only over 9p and a folder of
the test read-write (the share, /tmp/share in the guest). Its emulated FTDI adapters
(usb-serial on an xHCI controller) are driven by the guest kernel's own ftdi_sio. Each
adapter's far end is a pseudo-terminal on the host, served by termsim: an adapter is
attached while the host holds its pty open, so starting termsim on it is the plug-in, and
device_del over QMP is the pull-out.

Every wait is bounded and every failure raises VmError naming what failed.
"""
import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ["virtio_pci", "virtio_console", "9pnet_virtio", "9p", "xhci_pci", "ftdi_sio"]


class VmError(Exception):
    pass


class QemuCrashed(VmError):
    """QEMU itself died of a signal that we did not send: a fault of the emulator, not of
    the program under test."""


def run(cmd, what, **kwargs):
    """Runs cmd; a failure raises VmError with what was tried and its output."""
    try:
        return subprocess.run(cmd, check=True, capture_output=True, text=True, **kwargs).stdout
    except FileNotFoundError:
        raise VmError(f"{what}: {cmd[0]} is not installed (scripts/setup installs it)")
    except subprocess.CalledProcessError as e:
        raise VmError(f"{what}: {' '.join(cmd)} failed: {(e.stderr or e.stdout).strip()}")


def wait_for(condition, timeout, what, step=0.02):
    """Polls condition() until it returns a true value; raises VmError after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise VmError(f"{what}: not within {timeout:g} s")
        time.sleep(step)


def die_with_parent():
    """For the programs the test starts: a killed test (a ctest timeout) takes them along."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def write_atomic(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)
    os.replace(tmp, path)


# --- the guest kernel and its initramfs -------------------------------------------------

def kernel_package():
    """The package of the kernel Debian installs now, such as linux-image-6.1.0-57-amd64."""
    for attempt in range(2):
        out = run(["apt-cache", "depends", "linux-image-amd64"], "finding the guest kernel")
        m = re.search(r"Depends: (linux-image-[0-9][^\s]*-amd64)", out)
        if m:
            return m.group(1)
        if attempt == 0 and os.geteuid() == 0:  # a fresh machine may have no package lists
            run(["apt-get", "update", "-qq"], "updating the package lists")
    raise VmError("finding the guest kernel: apt-cache names no linux-image package for "
                  "linux-image-amd64 (run apt-get update)")


def fetch_kernel(cache):
    """Downloads and unpacks the kernel package into cache once; returns its folder."""
    package = kernel_package()
    tree = os.path.join(cache, package)
    if os.path.isdir(tree):
        return tree
    os.makedirs(cache, exist_ok=True)
    work = tempfile.mkdtemp(prefix="fetch.", dir=cache)
    try:
        print(f"vm: downloading {package}", flush=True)
        run(["apt-get", "download", "-q", package], "downloading the guest kernel", cwd=work)
        debs = [f for f in os.listdir(work) if f.endswith(".deb")]
        if len(debs) != 1:
            raise VmError(f"downloading the guest kernel: no {package} .deb arrived")
        unpacked = os.path.join(work, "tree")
        run(["dpkg-deb", "-x", os.path.join(work, debs[0]), unpacked], "unpacking the kernel")
        shutil.rmtree(os.path.join(unpacked, "usr"), ignore_errors=True)  # docs only
        version = os.listdir(os.path.join(unpacked, "lib", "modules"))[0]
        run(["busybox", "depmod", "-b", unpacked, version], "listing the kernel's modules")
        os.rename(unpacked, tree)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return tree


def module_order(tree):
    """The module files of MODULES with their dependencies, each after what it needs."""
    version = os.listdir(os.path.join(tree, "lib", "modules"))[0]
    base = os.path.join(tree, "lib", "modules", version)
    deps = {}
    with open(os.path.join(base, "modules.dep")) as f:
        for line in f:
            name, _, rest = line.partition(":")
            deps[name] = rest.split()
    by_name = {os.path.basename(p).split(".ko")[0].replace("-", "_"): p for p in deps}
    order = []
    for module in MODULES:
        if module not in by_name:
            raise VmError(f"the guest kernel has no module {module}")
        path = by_name[module]
        for p in deps[path][::-1] + [path]:  # modules.dep lists the deepest need last
            if p not in order:
                order.append(p)
    return base, order


def build_initramfs(tree, out):
    """Writes the initramfs (busybox, the modules, tests/vm/init.sh as /init) to out."""
    busybox = shutil.which("busybox")
    if busybox is None:
        raise VmError("building the initramfs: busybox is not installed (busybox-static)")
    base, order = module_order(tree)
    stage = tempfile.mkdtemp(prefix="initramfs.", dir=os.path.dirname(out))
    try:
        for d in ("bin", "modules"):
            os.makedirs(os.path.join(stage, d))
        shutil.copy(busybox, os.path.join(stage, "bin", "busybox"))
        shutil.copy(os.path.join(HERE, "init.sh"), os.path.join(stage, "init"))
        names = []
        for p in order:
            names.append(os.path.basename(p))
            shutil.copy(os.path.join(base, p), os.path.join(stage, "modules", names[-1]))
        with open(os.path.join(stage, "modules", "order"), "w") as f:
            f.write("\n".join(names) + "\n")
        files = run(["find", "."], "listing the initramfs", cwd=stage)
        with open(out + ".tmp", "wb") as f:
            subprocess.run(["busybox", "cpio", "-o", "-H", "newc"], input=files.encode(),
                           stdout=f, stderr=subprocess.DEVNULL, cwd=stage, check=True)
        os.replace(out + ".tmp", out)
    finally:
        shutil.rmtree(stage, ignore_errors=True)


def prepare(cache):
    """The kernel image and a fresh initramfs in cache (the build tree's vm folder)."""
    tree = fetch_kernel(cache)
    kernels = [f for f in os.listdir(os.path.join(tree, "boot")) if f.startswith("vmlinuz-")]
    if not kernels:
        raise VmError(f"the kernel package in {tree} holds no vmlinuz")
    initrd = os.path.join(cache, "initramfs.cpio")
    build_initramfs(tree, initrd)
    return os.path.join(tree, "boot", kernels[0]), initrd


# --- QEMU and its adapters --------------------------------------------------------------

class Vm:
    """One QEMU run: boot, adapters plugged and pulled over QMP, power-off by the guest."""

    def __init__(self, kernel, initrd, workdir, share, memory=512):
        self.workdir = workdir
        self.share = share
        self.console = os.path.join(workdir, "console.log")
        self.qemu_log = os.path.join(workdir, "qemu.log")
        self.qmp_path = os.path.join(workdir, "qmp.sock")
        if len(self.qmp_path) > 100:  # a socket's path has room for 107 bytes
            self.qmp_path = os.path.join(tempfile.mkdtemp(prefix="kovirw-vm."), "qmp.sock")
        self.events = []
        self.ptys = {}  # chardev id -> pty path
        if shutil.which("qemu-system-x86_64") is None:
            raise VmError("qemu-system-x86_64 is not installed (scripts/setup installs it)")
        cmd = [
            "qemu-system-x86_64", "-accel", "tcg", "-m", str(memory), "-smp", "1",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", kernel, "-initrd", initrd,
            "-append", "console=hvc0 panic=-1 quiet loglevel=4 "
                       f"kovirw_guest={os.path.join(HERE, 'guest.sh')}",
            # The console is a virtio console, not a UART: a built-in serial port would be
            # published too, and a station without --port takes every port it finds.
            "-chardev", f"file,id=console,path={self.console}",
            "-device", "virtio-serial-pci", "-device", "virtconsole,chardev=console",
            "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
            "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,"
                       "multidevs=remap",
            "-virtfs", f"local,path={share},mount_tag=share,security_model=none,"
                       "multidevs=remap",
            "-device", "qemu-xhci,id=xhci",
            "-trace", "usb_serial_set_baud",
        ]
        self.started = time.monotonic()
        with open(self.qemu_log, "w") as log:
            self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
        self.buffer = b""
        try:
            self.sock = wait_for(self._connect, 10, "connecting to QEMU's QMP socket", step=0.05)
            self._read_message()  # the greeting
            self.qmp("qmp_capabilities")
        except VmError:
            self.kill()
            raise

    def _connect(self):
        if self.proc.poll() is not None:
            raise VmError(f"QEMU ended at start-up: {self.tail(self.qemu_log)}")
        try:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            s.connect(self.qmp_path)
            s.settimeout(30)
            return s
        except OSError:
            return None

    def _read_message(self):
        while b"\n" not in self.buffer:
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                raise VmError("QEMU's QMP socket gave no answer within 30 s")
            if not chunk:
                self._raise_ended("QEMU closed its QMP socket")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def qmp(self, command, **arguments):
        try:
            self.sock.sendall(json.dumps({"execute": command, "arguments": arguments}).encode())
        except OSError as e:
            self._raise_ended(f"QMP {command}: {e}")
        while True:
            m = self._read_message()
            if "event" in m:
                self.events.append(m)
            elif "error" in m:
                raise VmError(f"QMP {command} {arguments}: {m['error'].get('desc')}")
            elif "return" in m:
                return m["return"]

    def add_adapter(self, name, port):
        """An FTDI adapter in USB port `port` whose far end is a new pty; returns its path.
        The guest sees it once the pty is opened on the host."""
        pty = self.qmp("chardev-add", id=name, backend={"type": "pty", "data": {}})["pty"]
        self.ptys[name] = pty
        self.plug(name, port)
        return pty

    def plug(self, name, port):
        """(Re)inserts adapter `name` (its pty kept) into USB port `port`."""
        self.qmp("device_add", driver="usb-serial", id=f"usb-{name}", chardev=name,
                 bus="xhci.0", port=str(port))

    def pull(self, name):
        """Pulls adapter `name` out of its USB port; returns when QEMU has removed it."""
        self.qmp("device_del", id=f"usb-{name}")
        def deleted():
            self.qmp("query-status")  # reads the events queued meanwhile
            return any(e["event"] == "DEVICE_DELETED" and
                       e.get("data", {}).get("device") == f"usb-{name}" for e in self.events)
        wait_for(deleted, 10, f"QEMU removing the adapter {name}")
        self.events = [e for e in self.events if e.get("data", {}).get("device") != f"usb-{name}"]

    def wait_share(self, name, timeout):
        """Waits for the guest to write share/name; returns its text."""
        path = os.path.join(self.share, name)
        def ready():
            if os.path.exists(path):
                with open(path) as f:
                    return f.read() or " "
            if self.proc.poll() is not None:
                self._raise_ended(f"the virtual machine ended before it wrote {name}",
                                  self.console)
            return None
        return wait_for(ready, timeout, f"the guest writing {name}").strip()

    def baud_trace(self, name):
        """The rates adapter `name` was set to, as QEMU decoded the driver's divisors, oldest
        first."""
        info = self.qmp("human-monitor-command", **{"command-line": "info usb"})
        m = re.search(rf"Device \d+\.(\d+),.*ID: usb-{re.escape(name)}\b", info)
        if not m:
            raise VmError(f"QEMU lists no adapter {name}: {info}")
        with open(self.qemu_log, errors="replace") as f:
            found = re.findall(r"usb_serial_set_baud dev \d+:(\d+) baud rate (\d+)", f.read())
        return [int(rate) for address, rate in found if address == m.group(1)]

    def finish(self, timeout=30):
        """Waits for the guest to power off; kills QEMU after timeout s."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise VmError(f"the virtual machine did not power off within {timeout} s: "
                          f"{self.tail(self.console)}")
        finally:
            self.sock.close()

    def _raise_ended(self, what, log=None):
        """Raises for QEMU's end, naming how it ended (QemuCrashed for a signal), with the
        tail of log (QEMU's own by default)."""
        tail = self.tail(log or self.qemu_log)
        try:
            status = self.proc.wait(5)
        except subprocess.TimeoutExpired:
            raise VmError(f"{what}, but QEMU still runs: {tail}")
        if status < 0:
            try:
                name = signal.Signals(-status).name
            except ValueError:
                name = f"signal {-status}"
            raise QemuCrashed(f"{what}: QEMU was killed by {name}: {tail}")
        raise VmError(f"{what}: QEMU ended with status {status}: {tail}")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if not self.qmp_path.startswith(self.workdir):
            shutil.rmtree(os.path.dirname(self.qmp_path), ignore_errors=True)

    @staticmethod
    def tail(path, lines=15):
        try:
            with open(path, errors="replace") as f:
                return "\n" + "".join(f.readlines()[-lines:])
        except OSError:
            return "(no log)"
