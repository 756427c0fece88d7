#!/usr/bin/env bash
# Installs every system package the project needs (Debian 12; PostgreSQL
# for korvald's second storage backend and its tests) and the
# Latin-1 locale de_DE.ISO-8859-1 that the viewer runs under (XForms inputs
# show Latin-1 letters only under a Latin-1 LC_CTYPE).  Idempotent: quiet
# and quick when everything is present.
set -euo pipefail
PKGS=(g++ cmake make pkg-config libgtest-dev libgmock-dev libforms-dev libforms-doc
      libx11-dev libsqlite3-dev sqlite3 postgresql libpq-dev
      xvfb xauth xfonts-base xfonts-75dpi xfonts-100dpi xdotool imagemagick x11-utils
      netcat-openbsd libreadline-dev python3 groff-base locales)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qix 'de_DE.iso88591'; then
  echo "setup: making the locale de_DE.ISO-8859-1"
  $SUDO localedef -i de_DE -f ISO-8859-1 de_DE.ISO-8859-1
fi
