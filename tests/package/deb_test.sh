#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack, checked by lintian (no error, no warning)
# and appstreamcli, installed with apt into a fresh Debian 12 root (its dependencies resolved
# from the archive), run there, and removed without a file left behind. The root is made once by
# mmdebstrap and cached in the build folder (package-root.tar), with the packages apt fetched.
#   deb_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^project(velda_installer VERSION \([^ ]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"

# One build of the package at a time in this build folder.
exec 9>"$build/package.lock"
flock 9
(cd "$build" && cpack -G DEB >"$build/cpack-deb.log" 2>&1) || { cat "$build/cpack-deb.log"; fail "cpack"; }
deb="$build/velda-installer_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

lintian --fail-on error,warning "$deb" 2>&1 | tee "$build/lintian.log"

work=$(mktemp -d "${TMPDIR:-/tmp}/velda-deb.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

dpkg-deb -x "$deb" "$work/unpacked"
appstreamcli validate --no-net "$work"/unpacked/usr/share/metainfo/*.metainfo.xml

# The cached root: Debian 12 with apt, and what updates the desktop and MIME databases.
tarball="$build/package-root.tar"
if [ ! -f "$tarball" ]; then
  mmdebstrap --quiet --variant=apt --include=desktop-file-utils,shared-mime-info \
    --skip=cleanup/apt/lists bookworm "$build/package-root.part.tar" "deb http://deb.debian.org/debian bookworm main" \
    || fail "mmdebstrap"
  mv "$build/package-root.part.tar" "$tarball"
fi
archives="$build/package-apt-archives"
mkdir -p "$archives"
root="$work/root"
mkdir -p "$root"
tar -C "$root" -xf "$tarball"
cp "$archives"/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf"
"$build/examples/velda-sample" make "$src/examples/sample" "$root/tmp/velda.uxs" >/dev/null
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }

in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
cp -n "$root"/var/cache/apt/archives/*.deb "$archives/" 2>/dev/null || true

out=$(in_root velda-installer --version)
[ "$out" = "velda-installer $version" ] || fail "--version printed '$out'"
[ "$(in_root uxs --version)" = "uxs $version" ] || fail "uxs --version"
[ "$(in_root velda-sim --version)" = "velda-sim $version" ] || fail "velda-sim --version"
out=$(in_root velda-installer --virtual --virtual-clock --tui --yes --package /tmp/velda.uxs 2>&1) \
  || { echo "$out"; fail "the installation did not complete"; }
grep -q "Installation is completed" <<<"$out" || { echo "$out"; fail "no completion message"; }
in_root uxs show /tmp/velda.uxs >"$work/show.txt" || fail "uxs show"
[ -s "$work/show.txt" ] || fail "uxs show printed nothing"
in_root desktop-file-validate /usr/share/applications/velda-installer.desktop
for page in velda-installer uxs velda-sim; do
  [ -f "$root/usr/share/man/man1/$page.1.gz" ] || fail "no man page $page"
done
# The databases know the package type and the program that opens it.
[ -f "$root/usr/share/mime/application/x-velda-uxs.xml" ] || fail "MIME database not updated"
grep -q '^application/x-velda-uxs=velda-installer.desktop;' "$root/usr/share/applications/mimeinfo.cache" \
  || fail "desktop database not updated"

in_root dpkg -L velda-installer >"$work/files"
in_root dpkg -r velda-installer >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg -r"; }
left=""
while read -r f; do
  if [ -e "$root$f" ] && [ ! -d "$root$f" ]; then left+=" $f"; fi
done <"$work/files"
[ -z "$left" ] || fail "left behind after dpkg -r:$left"
[ ! -e "$root/usr/share/mime/application/x-velda-uxs.xml" ] || fail "MIME type still registered"
if grep -q 'velda-installer' "$root/usr/share/applications/mimeinfo.cache" 2>/dev/null; then
  fail "desktop database still names the installer"
fi
echo "deb: ok ($(basename "$deb"))"
