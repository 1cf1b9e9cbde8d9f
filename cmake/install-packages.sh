#!/bin/sh
# install-packages.sh -- installs those of the given Debian packages that are missing, leaving the daemons they bring off
#
#   cmake/install-packages.sh PACKAGE...
#
# Run as root (the Makefile runs it through sudo when it is not). One
# apt-get update, and only when something is missing.
#
# The test packages bring daemons: munge, and Slurm's slurmctld and slurmd.
# Their maintainer scripts start them at once (invoke-rc.d) and enable them
# at every boot (update-rc.d for init scripts, deb-systemd-helper for
# systemd's units). The Slurm test starts daemons of its own, with its own
# key, sockets and ports, so the machine is left as it was: while the
# packages are installed, a policy-rc.d denies every start (invoke-rc.d asks
# it first; status 101 means "not allowed"), and afterwards each of those
# services that the install brought is stopped, should another policy have
# let it start, and disabled, init script and systemd unit alike. A service
# that was on the machine before is not touched.
set -eu

services="munge slurmctld slurmd"
policy=/usr/sbin/policy-rc.d

missing=
for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

present() { [ -e "/etc/init.d/$1" ] || [ -e "/lib/systemd/system/$1.service" ]; }
new=
for s in $services; do
    present "$s" || new="$new $s"
done

# A policy already in place is the machine's own and is left alone.
if [ ! -e "$policy" ]; then
    trap 'rm -f "$policy"' EXIT
    trap 'exit 130' INT TERM HUP
    printf '#!/bin/sh\n# Made by rootzoom'"'"'s cmake/install-packages.sh for the time of one install: no service starts.\nexit 101\n' >"$policy"
    chmod 755 "$policy"
fi

echo "installing from Debian:$missing"
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing

for s in $new; do
    present "$s" || continue
    if [ -d /run/systemd/system ]; then
        systemctl stop "$s.service" >/dev/null 2>&1 || true
    else
        "/etc/init.d/$s" stop >/dev/null 2>&1 || true
    fi
    # update-rc.d turns the init script's start links into stop links and,
    # where systemctl is installed, disables the unit too; without it the
    # links deb-systemd-helper made for the unit are removed here. Its
    # record of them stays, so an upgrade finds the unit off and leaves it so.
    update-rc.d "$s" disable >/dev/null 2>&1 || true
    command -v systemctl >/dev/null || rm -f /etc/systemd/system/*.wants/"$s.service"
    echo "left $s stopped and disabled, as it was not installed before: the Slurm test starts its own"
done
