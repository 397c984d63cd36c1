#!/usr/bin/env bash
# Checks the package scripts/package.sh built in BUILD (default build/package):
# lintian finds no error, it holds the installed files, and its own binaries
# answer --version and --help and run one headless upgrade against the
# simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls "${1:-build/package}"/dedarida_*_amd64.deb)
lintian --fail-on error,warning "$deb"

contents=$(dpkg-deb -c "$deb")
for file in usr/bin/dedarida usr/bin/dedarida-sim \
    usr/share/applications/dedarida.desktop usr/share/applications/dedarida-station.desktop \
    usr/share/icons/hicolor/scalable/apps/dedarida.svg \
    usr/share/man/man1/dedarida.1.gz usr/share/man/man1/dedarida-sim.1.gz \
    usr/share/bash-completion/completions/dedarida \
    usr/share/doc/dedarida/README.md usr/share/doc/dedarida/copyright; do
    grep -q " \./$file\$" <<<"$contents" || { echo "package lacks $file"; exit 1; }
done

root=$(mktemp -d /tmp/dedarida-package.XXXXXX)
sim=
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null || true; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
"$bin/dedarida" --version
"$bin/dedarida" --help >/dev/null
"$bin/dedarida-sim" --help >/dev/null

"$bin/dedarida-sim" --link "$root/line" >"$root/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$root/line" ] && break; sleep 0.1; done
"$bin/dedarida" --upgrade --port "$root/line" --timeout 30 >"$root/upgrade.log" 2>&1 ||
    { tail -n 20 "$root/upgrade.log"; exit 1; }
tail -n 1 "$root/upgrade.log"
