#!/usr/bin/env bash
# Runs a command in a network namespace of its own, so that tests on the
# build's fixed loopback ports run side by side.
#
#   tests/isolated-network.sh command [args...]
#
# The namespace has its loopback and one end of a veth pair that carries the
# default route, so the machine counts as online: Wine asks for an interface
# with carrier and an IPv4 address, the Linux program for a default route.
# Both ends of the pair stay inside the namespace, so nothing sent there
# reaches another network. Needs the right to make a network namespace (root).
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: isolated-network.sh command [args...]" >&2
    exit 2
fi

exec unshare --net -- bash -c '
    set -e
    ip link set lo up
    ip link add qv-online type veth peer name qv-peer
    ip link set qv-peer up
    ip address add 192.0.2.1/24 dev qv-online
    ip link set qv-online up
    ip route add default via 192.0.2.2 dev qv-online
    exec "$@"' isolated-network "$@"
