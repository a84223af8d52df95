#!/usr/bin/env bash
# The Windows downloads as a user gets them, each in a fresh Wine prefix of its own: the zip
# unpacked and its exe run into the simulated instrument; the NSIS installer run silently (/S),
# the installed exe run the same way, its Start menu entry and .uxs association in place, and the
# uninstaller removing all of it.
#   windows_packages_test.sh BUILD-DIR SOURCE-DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
version=$3
name="velda-installer-$version-windows-x86_64"
zip="$build/$name.zip"
setup="$build/$name-setup.exe"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip"
[ -f "$setup" ] || fail "no $setup"

# A prefix of our own, even inside the Windows tests' shared session.
unset VELDA_WINE_SESSION
source "$src/tests/windows/wine_session.sh"

wine "$build/examples/velda-sample.exe" make "$src/examples/sample" "$WORK/velda.uxs" >/dev/null
[ -s "$WORK/velda.uxs" ] || fail "no sample package"

install_completes() {  # install_completes EXE WHAT
  local out
  out=$(cd "$(dirname "$1")" && timeout 300 wine "$(basename "$1")" --virtual --virtual-clock --yes \
    --package "$WORK/velda.uxs" 2>&1) || { echo "$out"; fail "$2: the installation did not complete"; }
  grep -q "Installation is completed" <<<"$out" || { echo "$out"; fail "$2: no completion message"; }
}

mkdir -p "$WORK/zip"
unzip -q "$zip" -d "$WORK/zip"
for f in velda-installer.exe README.txt LICENSE.txt; do
  [ -f "$WORK/zip/$name/$f" ] || fail "the zip has no $name/$f"
done
grep -q "MIT License" "$WORK/zip/$name/LICENSE.txt" || fail "LICENSE.txt is not the licence"
install_completes "$WORK/zip/$name/velda-installer.exe" zip

# The installer, silently, as a user without administrator rights.
timeout 300 wine "$setup" /S || fail "the installer failed"
timeout 120 wineserver -w
profile=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
appdata=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
dir=$(winepath -u "$profile\\Programs\\VELDA Installer")
link=$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\VELDA Installer.lnk")
[ -f "$dir/velda-installer.exe" ] || fail "not installed into $dir"
[ -f "$dir/uninstall.exe" ] || fail "no uninstaller"
[ -f "$link" ] || fail "no Start menu entry"
wine reg query 'HKCU\Software\Classes\VeldaInstaller.uxs\shell\open\command' 2>/dev/null | tr -d '\r' |
  grep -q 'velda-installer.exe" "%1"' || fail ".uxs does not open with the installer"
wine reg query 'HKCU\Software\Classes\.uxs' 2>/dev/null | grep -q VeldaInstaller.uxs || fail "no .uxs association"
install_completes "$dir/velda-installer.exe" "installed exe"

# The uninstaller copies itself away and returns at once: wait for every program of the prefix.
timeout 300 wine "$dir/uninstall.exe" /S || fail "the uninstaller failed"
timeout 120 wineserver -w
[ ! -e "$dir" ] || fail "left behind: $(find "$dir")"
[ ! -e "$link" ] || fail "the Start menu entry is left"
if wine reg query 'HKCU\Software\Classes\VeldaInstaller.uxs' >/dev/null 2>&1; then fail "the .uxs class is left"; fi
if wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\velda-installer' >/dev/null 2>&1; then
  fail "the uninstall entry is left"
fi
echo "windows packages: ok ($name.zip, $name-setup.exe)"
