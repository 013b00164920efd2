# Sourced by .ci/run and scripts/demo.sh.
#
# The bootstrapper takes a machine whose only network interface is loopback for one without a
# connection, and then stops with "Error: No Internet connection." before any download. On such
# a machine a dummy interface stands in while the caller runs, so that the downloads from
# 127.0.0.1 are made; nothing is ever sent through it. The caller removes it when it ends
# (remove_connection_stand_in, from its exit trap).
stand_in_for_a_connection() {
  if ip -o addr show scope global 2>/dev/null | grep -q .; then
    return 0
  fi
  # A dummy interface where the kernel has them, else a pair of virtual ethernet ends.
  if { ip link add corvanel0 type dummy 2>/dev/null ||
       ip link add corvanel0 type veth peer name corvanel1 2>/dev/null; } &&
     ip addr add 198.51.100.1/24 dev corvanel0 && ip link set corvanel0 up; then
    connection_stand_in=corvanel0
    echo "No network interface but loopback: a dummy one stands in for this run."
  else
    ip link del corvanel0 2>/dev/null || true
    echo "No network interface but loopback, and none can be added here: the bootstrapper will" \
         "report that there is no Internet connection." >&2
  fi
}

remove_connection_stand_in() {
  if [ -n "${connection_stand_in:-}" ]; then
    ip link del "$connection_stand_in" 2>/dev/null || true
    connection_stand_in=
  fi
}
