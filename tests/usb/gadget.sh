# Sourced inside the test machine: the instrument's USB device, made with the gadget MIDI function
# on dummy_hcd (a host and a device controller in software), so that the kernel's own USB-MIDI
# driver (snd-usb-audio) serves it on the host side, as on a user's desktop.
#   GADGET: the configfs folder of the gadget, once make_gadget has run.

load_modules() {
  local m
  for m in configfs libcomposite dummy_hcd usb_f_midi snd-seq snd-seq-midi snd-usb-audio; do
    modprobe -d "$VELDA_VM_MODULES" "$m" || { echo "FAIL: modprobe $m" >&2; return 1; }
  done
  mountpoint -q /sys/kernel/config || mount -t configfs configfs /sys/kernel/config
}

# make_gadget: the device with the instrument's USB strings, one MIDI port each way, bound.
make_gadget() {
  GADGET=/sys/kernel/config/usb_gadget/velda
  mkdir -p "$GADGET"
  echo 0x1209 >"$GADGET/idVendor" # the open test range
  echo 0x0001 >"$GADGET/idProduct"
  mkdir -p "$GADGET/strings/0x409"
  echo HALVEN >"$GADGET/strings/0x409/manufacturer"
  echo "HALVEN USB" >"$GADGET/strings/0x409/product"
  mkdir -p "$GADGET/configs/c.1" "$GADGET/functions/midi.usb0"
  echo 1 >"$GADGET/functions/midi.usb0/in_ports"
  echo 1 >"$GADGET/functions/midi.usb0/out_ports"
  ln -s "$GADGET/functions/midi.usb0" "$GADGET/configs/c.1/"
  ls /sys/class/udc >"$WORK/udc.txt"
  echo "$(head -1 "$WORK/udc.txt")" >"$GADGET/UDC"
}

# seq_port NAME: the sequencer address (client:port) of the port called NAME, if any.
seq_port() {
  aconnect -l 2>/dev/null | awk -v want="$1" '
    /^client [0-9]+:/ { c = $2; sub(":", "", c) }
    /^    [0-9]+ / { p = $1; n = $0; sub(/^ *[0-9]+ '\''/, "", n); sub(/ *'\'' *$/, "", n); if (n == want) { print c ":" p; exit } }'
}

# wait_seq_port NAME [TENTHS]: waits until the port exists (default 15 s).
wait_seq_port() {
  local i
  for i in $(seq "${2:-150}"); do
    [ -n "$(seq_port "$1")" ] && return 0
    sleep 0.1
  done
  return 1
}

# connect_gadget: in the background (pid in CONNECT_PID), connects the ports "to USB gadget" and
# "from USB gadget" (velda-sim's with --usb-gadget, or a peer named alike) to the gadget's own MIDI
# port both ways, again after every re-enumeration (the gadget's port then comes back as a new
# one). Returns 1 when the first connection is not made within 5 s.
connect_gadget() {
  (
    while :; do
      g=$(seq_port f_midi)
      if [ -n "$g" ]; then
        aconnect "$(seq_port "to USB gadget")" "$g" 2>/dev/null
        aconnect "$g" "$(seq_port "from USB gadget")" 2>/dev/null
      fi
      sleep 0.1
    done
  ) &
  CONNECT_PID=$!
  for _ in $(seq 50); do
    aconnect -l | grep -q "Connected From: .*$(seq_port "to USB gadget")" && return 0
    sleep 0.1
  done
  return 1
}
