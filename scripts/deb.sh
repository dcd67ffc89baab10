#!/usr/bin/env bash
# Builds the Debian package from a clean copy of the tree and checks it as Debian
# would: lintian (no error, no warning), the desktop entry and the AppStream file.
# The .deb lands in build-deb/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
missing=()
for p in debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
out="$PWD/build-deb"
rm -rf "$out" && mkdir -p "$out/src"
git archive HEAD | tar -x -C "$out/src"
(cd "$out/src" && dpkg-buildpackage -us -uc -b -j"$(nproc)")
lintian --fail-on error,warning "$out"/*.deb
installed="$out/src/debian/garivolo/usr/share"
desktop-file-validate "$installed/applications/garivolo.desktop"
appstreamcli validate --pedantic --no-net "$installed"/metainfo/*.metainfo.xml
ls -l "$out"/*.deb
