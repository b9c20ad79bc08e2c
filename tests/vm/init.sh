#!/bin/busybox sh
# The guest's first process: mounts what the tests read, runs them, powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
boot=$(sed -n 's/.*velmora\.boot=\([a-z0-9]*\).*/\1/p' /proc/cmdline)
echo "guest: boot $boot"
sh /guest_test.sh "$boot"
poweroff -f
