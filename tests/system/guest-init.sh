#!/bin/busybox sh
# The guest's first and only process: brings up the serial drivers, runs the check's scenario
# (/scenario.sh, packed beside this by the driver) and powers off. Lines starting with "@@ "
# are meant for the driver on the host; everything else on the console is for a failure's report.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
    insmod /lib/modules/$module.ko || echo "@@ insmod $module failed"
done

# Marks a moment in QEMU's trace: a write to the scratch register of the second UART (0x2f8 + 7)
# shows there as "serial_write write addr 0x07 val N", between the adapter's own requests.
mark() {
    printf "\\$(printf %o "$1")" | dd of=/dev/port bs=1 seek=767 count=1 2>/dev/null
}

# Waits up to 30 s for every named device.
wait_for() {
    for device in "$@"; do
        tries=300
        until [ -e "$device" ]; do
            tries=$((tries - 1))
            [ "$tries" -gt 0 ] || { echo "@@ missing $device"; return 1; }
            sleep 0.1
        done
    done
}

# flash NAME ARGS...: runs morvik2-flash with ARGS and tells the driver what it printed
# ("@@ NAME out LINE", "@@ NAME err LINE"), its wall-clock, user and system seconds
# ("@@ NAME-time R U S") and, last, its exit status ("@@ NAME exit STATUS"). $RUN_AS, when set,
# is the command that runs it as another user.
flash() {
    name=$1
    shift
    time -f '%e %U %S' -o /tmp/$name.time $RUN_AS /bin/morvik2-flash "$@" >/tmp/$name.out 2>/tmp/$name.err
    status=$?
    sed "s/^/@@ $name out /" /tmp/$name.out
    sed "s/^/@@ $name err /" /tmp/$name.err
    echo "@@ $name-time $(tail -n 1 /tmp/$name.time)"
    echo "@@ $name exit $status"
}

# Waits up to 30 s until FILE holds a line with TEXT.
wait_for_line() {
    tries=300
    until grep -qF "$2" "$1" 2>/dev/null; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { echo "@@ never saw $2 in $1"; return 1; }
        sleep 0.1
    done
}

# Asks the driver to act on the hardware (pull an adapter out, plug it back); the scenario then
# waits for the effect itself.
ask() {
    echo "@@ ask $1"
}

echo "@@ booted $(cut -d ' ' -f 1 /proc/uptime)"
. /scenario.sh
echo "@@ done"
poweroff -f
