# What the guest does, one function a scenario (one boot each). A scenario
# reports sections ("@@ NAME", then its text) that the host's rows check, and
# marks ("@@ mark WHAT") at which the host acts: copies a printer's dump,
# unplugs or plugs the adapter.

latency=/sys/class/tty/ttyUSB0/device/latency_timer

section() { echo "@@ $1"; }
uptime_seconds() { cut -d' ' -f1 /proc/uptime; }
# The settings as stty shows them (without its complaint that a serial port
# has no window size).
settings() { stty -F "$1" -a 2>/dev/null; }
mark() { echo "@@ mark $1"; }

# A run that takes longer than this hangs: it is ended (status 143).
run_limit=120

# Starts the program in the background as a user, its output in /tmp/NAME.out;
# its pid is in $! (timeout runs the program in its own process). The
# arguments hold no spaces (su takes one command).
start_program() {
  local user=$1 name=$2
  shift 2
  eval "started_$name=$(uptime_seconds)"
  if [ "$user" = root ]; then
    timeout $run_limit voren-cp852 "$@" >"/tmp/$name.out" 2>&1 &
  else
    su -s /bin/sh "$user" -c "exec timeout $run_limit voren-cp852 $*" >"/tmp/$name.out" 2>&1 &
  fi
}

# Waits for the run with this pid and reports its status, its seconds (the
# guest's clock) and its output.
report_program() {
  local pid=$1 name=$2 status
  wait "$pid"
  status=$?
  section "$name status"
  echo "$status"
  section "$name seconds"
  eval "echo \"\$(uptime_seconds) - \$started_$name\"" | bc
  section "$name output"
  cat "/tmp/$name.out"
  [ "$status" = 143 ] && echo "(hung: ended after $run_limit s)"
}

# Waits at most 20 s for the process to have the device open.
wait_for_open() {
  local pid=$1 device=$2
  for _ in $(seq 200); do
    for fd in /proc/"$pid"/fd/*; do
      [ "$(readlink "$fd")" = "$device" ] && return 0
    done
    sleep 0.1
  done
  echo "process $pid never opened $device"
  return 1
}

# Waits for a run to be sending: a second after it opened the port it has set
# the port up and is on its first blocks (a port left set up by an earlier
# run tells nothing, and the progress is not written to a file as it goes).
wait_for_update() {
  wait_for_open "$1" "$2" && sleep 1
}

# A full update through the device, as NAME: the terminal settings before,
# while the program holds the port (taken between two looks that find it
# running) and after; WHILE_HELD runs while it holds the port.
update_through() {
  local device=$1 name=$2 while_held=$3 pid during
  shift 3
  section "$name before"
  settings "$device"
  start_program root "$name" "$@"
  pid=$!
  wait_for_update "$pid" "$device"
  kill -0 "$pid" && during=$(settings "$device") && kill -0 "$pid" && {
    section "$name during"
    echo "$during"
  }
  $while_held
  report_program "$pid" "$name"
  section "$name after"
  settings "$device"
}

# After a run cut off mid-update the printer still waits for the rest of the
# command it was sent; it drops it after 6 s of quiet (FRAME_GAP_MS in
# machine.py). A run that started at once would have its first bytes taken
# for that rest.
wait_for_printer_to_drop_command() { sleep 7; }

# A run through the device killed with SIGKILL mid-update.
kill_mid_update() {
  local device=$1 pid
  shift
  start_program root killed "$@"
  pid=$!
  wait_for_update "$pid" "$device"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  wait_for_printer_to_drop_command
}

# Another run of ours beside the one that holds the UART.
second_run() {
  start_program root second --port 2
  report_program $! second
}

# Beside the run that holds the UART: another run of ours, and a user's
# plain open, which neither locks nor looks for holders (as Wine's).
beside_the_update() {
  local mode
  second_run
  mode=$(stat -c %a /dev/ttyS1)
  chmod 666 /dev/ttyS1
  section "plain open while held"
  su -s /bin/sh serwis -c 'exec 3<>/dev/ttyS1 && echo opened' 2>&1
  chmod "$mode" /dev/ttyS1
}

# A run next to a holder started in the background; ends the holder.
beside_holder() {
  local holder=$1 name=$2
  wait_for_open "$holder" /dev/ttyS1
  start_program root "$name" --port 2
  report_program $! "$name"
  kill "$holder"
  wait "$holder" 2>/dev/null
}

# The UART: a full update with another run beside it, other holders, a run
# killed mid-update and then another user's, and the operator refused.
scenario_uart() {
  uart_lines update
  update_through /dev/ttyS1 update beside_the_update --port 2
  mark "snapshot uart"
  chmod 666 /dev/ttyS1
  cat /dev/ttyS1 >/dev/null &
  beside_holder $! cat
  su -s /bin/sh serwis -c 'exec sleep 60' </dev/ttyS1 &
  beside_holder $! other_user
  kill_mid_update /dev/ttyS1 --port 2
  start_program serwis after_kill --port 2
  report_program $! after_kill
  chgrp dialout /dev/ttyS1
  chmod 660 /dev/ttyS1
  start_program kasjer denied --port 2
  report_program $! denied
}

read_latency() { section "latency during"; cat $latency; }

# The adapter: the port list, a full update with the latency timer read
# around it, a run killed mid-update, then the adapter unplugged under a run
# and plugged back for one more.
scenario_usb() {
  section list
  VOREN_COM7=/dev/ttyUSB0 voren-cp852 --list
  section "list json"
  VOREN_COM7=/dev/ttyUSB0 voren-cp852 --list --json
  section sysfs
  adapter=$(readlink -f /sys/class/tty/ttyUSB0/device/../..)
  for attribute in idVendor idProduct manufacturer product serial; do
    echo "$attribute=$(cat "$adapter/$attribute")"
  done
  echo "driver=$(basename "$(readlink /sys/class/tty/ttyUSB0/device/driver)")"
  echo "location=$(basename "$(readlink -f /sys/class/tty/ttyUSB0/device/..)")"
  section "latency before"
  cat $latency
  update_through /dev/ttyUSB0 update read_latency --device /dev/ttyUSB0
  mark "snapshot ftdi"
  section "latency after"
  cat $latency
  kill_mid_update /dev/ttyUSB0 --device /dev/ttyUSB0
  section "latency after kill"
  cat $latency

  start_program root unplugged --device /dev/ttyUSB0 --trace /tmp/unplugged.trace
  pid=$!
  wait_for_update "$pid" /dev/ttyUSB0
  section "unplugged at"
  uptime_seconds
  mark unplug
  wait "$pid"
  status=$?
  section "unplugged ended at"
  uptime_seconds
  section "unplugged status"
  echo "$status"
  section "unplugged output"
  cat /tmp/unplugged.out
  # Where the time went: the wire's last lines and the kernel's messages.
  section "unplugged trace"
  tail -n 4 /tmp/unplugged.trace
  section "unplugged kernel"
  dmesg | tail -n 12
  section "left running"
  pidof voren-cp852
  mark plug
  for _ in $(seq 100); do
    [ -e /dev/ttyUSB0 ] && break
    sleep 0.1
  done
  wait_for_printer_to_drop_command
  start_program root replugged --device /dev/ttyUSB0
  report_program $! replugged
}

# The UART's modem lines as its driver reads them ("CTS" among them when high).
uart_lines() {
  section "$1 modem lines"
  grep '^1:' /proc/tty/driver/serial
}

# The UART with CTS held low.
scenario_cts_low() {
  uart_lines cts
  start_program root cts --port 2
  report_program $! cts
}
