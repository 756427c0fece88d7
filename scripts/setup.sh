#!/usr/bin/env bash
# Installs every system package the project needs (Debian 12).  Idempotent:
# quiet and quick when everything is present.
set -euo pipefail
PKGS=(g++ cmake make pkg-config libgtest-dev libgmock-dev libforms-dev libforms-doc
      libx11-dev libsqlite3-dev sqlite3 xvfb xauth xfonts-base xfonts-75dpi xfonts-100dpi
      xdotool imagemagick x11-utils
      netcat-openbsd libreadline-dev python3 groff-base)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
