#!/bin/busybox sh
# PID 1 of the virtual machine's initramfs: loads the drivers the test needs, mounts the
# host's root (read-only) and the test's share (read-write) over 9p, and hands over to the
# guest script named on the kernel command line (kovirw_guest=PATH, a path on the host).
# udevd refuses to act inside a plain chroot, hence switch_root.
/bin/busybox --install -s /bin
export PATH=/bin

fail() {
    echo "kovirw-vm: $*"
    poweroff -f
}

mkdir -p /proc /sys /dev /newroot
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
while read -r module; do
    insmod "/modules/$module" || fail "cannot load the module $module"
done < /modules/order

opts=trans=virtio,version=9p2000.L,msize=262144
mount -t 9p -o "$opts,ro,cache=loose" hostroot /newroot || fail "cannot mount the host's root"
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs tmpfs /newroot/run
mount -t tmpfs tmpfs /newroot/tmp
mkdir /newroot/tmp/share
mount -t 9p -o "$opts" share /newroot/tmp/share || fail "cannot mount the test's share"
[ -n "$kovirw_guest" ] || fail "no kovirw_guest= on the kernel command line"
exec switch_root /newroot "$kovirw_guest"
