#!/usr/bin/env bash
# Installs the build into a temporary root with DESTDIR, then builds the .deb
# and unpacks it into another root; runs the command line from both.
# Usage: install_test.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
links=$(sed -n 's/^ORVANE_INSTALL_LINK_DIR:PATH=//p' "$build/CMakeCache.txt")
udev=$(sed -n 's/^ORVANE_INSTALL_UDEV_DIR:PATH=//p' "$build/CMakeCache.txt")

fail() { echo "FAIL: $*" >&2; exit 1; }

check_root() {
  local root=$1 what=$2
  local cli=$root$prefix/orvane-bootload-cli
  [ -x "$cli" ] || fail "$what: no $cli"
  [ -f "$root$prefix/BootloadConfiguration.xml" ] || fail "$what: no sample configuration"
  for d in FirmwareApp FirmwareKernel UniFirmwareApp; do
    [ -d "$root$prefix/$d" ] || fail "$what: no $d folder"
  done
  [ "$(readlink "$root$links/orvane-bootload-cli")" = "$prefix/orvane-bootload-cli" ] || fail "$what: link"
  [ -f "$root$udev/70-orvane-bootload.rules" ] || fail "$what: udev rules"
  if [ -x "$root$prefix/orvane-bootload" ]; then
    [ -f "$root/usr/share/applications/orvane-bootload.desktop" ] || fail "$what: desktop entry"
  fi

  "$cli" --version | grep -q '^orvane-bootload-cli ' || fail "$what: --version"
  # The installed program finds the sample configuration and the firmware folder beside itself.
  XDG_CONFIG_HOME=$tmp/none "$cli" udev-rules >/dev/null || fail "$what: sample configuration does not load"
  cp "$tmp/demo/FirmwareApp/demo_application.fm" "$root$prefix/FirmwareApp/"
  XDG_CONFIG_HOME=$tmp/none "$cli" list 2>/dev/null | grep -q 'demo_application.fm *application' \
    || fail "$what: list does not show the module in the installed FirmwareApp"
  echo "ok: $what"
}

"$build/src/cli/orvane-bootload-cli" make-demo "$tmp/demo" >/dev/null

DESTDIR=$tmp/root "$cmake" --install "$build" >/dev/null
check_root "$tmp/root" "cmake --install"

(cd "$build" && "$cpack" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libtinyxml2; do
  [[ $depends == *"$lib"* ]] || fail "package does not depend on $lib"
done
dpkg-deb -c "$deb" | grep -q 'conffiles' && fail "conffiles listed as content"
dpkg-deb -I "$deb" conffiles | grep -qx "$prefix/BootloadConfiguration.xml" || fail "configuration is not a conffile"
dpkg-deb -x "$deb" "$tmp/debroot"
check_root "$tmp/debroot" "dpkg -x"
