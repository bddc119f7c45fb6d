#!/usr/bin/env bash
# Kavro's "getips" lists exactly the running, non-loopback IPv4 addresses, in the
# kernel's order: checked in a network namespace made for the purpose.
set -euo pipefail
kavro=$1
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root for a network namespace"; exit 77; }
command -v unshare >/dev/null && command -v ip >/dev/null || { echo "SKIP: needs unshare and ip"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'getips\r\n' >"$work/kavro.cmd"
mkdir "$work/tmp"
unshare -n bash -euc '
  ip link set lo up
  ip link add a0 type veth peer name a1
  ip link add b0 type veth peer name b1
  ip addr add 10.9.0.1/24 dev a0
  ip addr add 10.9.0.7/24 dev a0
  ip addr add 10.9.1.1/24 dev a1
  ip addr add 10.9.2.1/24 dev b0      # b0 stays down: not listed
  ip link set a0 up; ip link set a1 up
  cd "$1"; TMPDIR="$1/tmp" "$2"
  # the kernel order, as ip lists it, of the running interfaces
  ip -o -4 addr show up | awk "\$2 != \"lo\" && \$2 != \"b0\" {sub(/\\/.*/, \"\", \$4); print \$4}" >"$1/expected"
' _ "$work" "$kavro"
actual=$(cat "$work/log.txt")
expected=$(cat "$work/expected")
if [ "$(sort <<<"$actual")" != $'10.9.0.1\n10.9.0.7\n10.9.1.1' ] || [ "$actual" != "$expected" ]; then
  echo "FAIL: expected"; echo "$expected"; echo "got"; echo "$actual"; exit 1
fi
[ -z "$(ls -A "$work/tmp")" ] || { echo "FAIL: the capture was left behind:"; ls -lAR "$work/tmp"; exit 1; }
echo "ok: getips lists exactly the namespace's running addresses"
