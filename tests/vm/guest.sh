#!/bin/sh
# PID 1 of the virtual machine once the host's root is mounted: starts udev, as a real
# system does, then runs the scenario's commands that the host left in the share (run.sh),
# records their output and exit status there, and powers the machine off.
# Every file the host waits for is written under another name and renamed.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/tmp
share=/tmp/share

note() {
    printf '%s\n' "$1" > "$share/$2.tmp" && mv "$share/$2.tmp" "$share/$2"
}

uptime_at_start=$(cut -d' ' -f1 /proc/uptime)
# As a job of this shell: started with --daemon it ends on its own in this machine.
/lib/systemd/systemd-udevd >"$share/udevd.log" 2>&1 &
n=0
until udevadm control --ping 2>/dev/null; do
    n=$((n + 1))
    [ $n -lt 200 ] || { echo "guest: udevd does not answer" > "$share/udevd.failed"; break; }
    sleep 0.05
done
udevadm trigger --action=add
udevadm settle --timeout=30
note "$uptime_at_start $(cut -d' ' -f1 /proc/uptime)" booted

cd "$share" && sh ./run.sh >run.out 2>&1
note "$?" status
sync
exec busybox poweroff -f
