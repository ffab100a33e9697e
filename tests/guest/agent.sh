#!/bin/bash
# Runs in the guest as its init process. It carries out the commands that the
# host's test harness sends over the second serial port:
#   run <script>   run the shell script (a file on the share) in a session of
#                  its own; its output goes to <script>.out and .err, and
#                  "done <script> <status>" comes back when it ends
#   kill <script>  end that script and everything it started
#   quit           power the machine off
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mkdir -p /dev/shm /dev/pts
mount -t tmpfs shm /dev/shm
mount -t devpts pts /dev/pts
mount -t tmpfs run /run
# Scratch space on the guest's own memory; /tmp only when the share does not
# lie under it (a checkout in /tmp).
mkdir -p /local
mount -t tmpfs local /local
case $share in
/tmp | /tmp/*) ;;
*) mount -t tmpfs tmp /tmp ;;
esac
[ -f /etc/ld.so.cache ] || ldconfig

stty -F /dev/ttyS1 raw -echo
exec 3<>/dev/ttyS1
echo "ready $(cut -d' ' -f1 /proc/uptime)" >&3

while read -r verb script <&3; do
  case $verb in
  run)
    (
      setsid bash "$script" >"$script.out" 2>"$script.err" </dev/null &
      echo $! >"$script.pid"
      wait $!
      echo "done $script $?" >&3
    ) &
    ;;
  kill)
    [ -f "$script.pid" ] && kill -9 -- "-$(cat "$script.pid")" 2>/dev/null
    ;;
  quit)
    break
    ;;
  esac
done
sync
echo o > /proc/sysrq-trigger
sleep 10
