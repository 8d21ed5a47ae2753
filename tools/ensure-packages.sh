#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet,
# and nothing when all are, so a warm machine pays nothing. Root, or sudo.
#   tools/ensure-packages.sh PACKAGE...
set -euo pipefail
missing=$(for p in "$@"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
done)
[ -z "$missing" ] && exit 0
echo "installing:" $missing
SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
# Another process may hold the dpkg lock for a while: wait for it.
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq $missing
