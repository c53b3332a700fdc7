#!/usr/bin/env bash
# Installs the build into a temporary root with DESTDIR, then builds the .deb
# and unpacks it into another root; runs the command line from both, checks
# the manual pages and the bash completion, and runs lintian on the .deb.
# Usage: install_test.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
links=$(sed -n 's/^ORVANE_INSTALL_LINK_DIR:PATH=//p' "$build/CMakeCache.txt")
udev=$(sed -n 's/^ORVANE_INSTALL_UDEV_DIR:PATH=//p' "$build/CMakeCache.txt")
data=$(sed -n 's/^ORVANE_INSTALL_DATA_DIR:PATH=//p' "$build/CMakeCache.txt")
pkg_prefix=$(sed -n 's/^ORVANE_PACKAGE_PREFIX:PATH=//p' "$build/CMakeCache.txt")
pkg_links=$(sed -n 's/^ORVANE_PACKAGE_LINK_DIR:PATH=//p' "$build/CMakeCache.txt")
pkg_config=$(sed -n 's/^ORVANE_PACKAGE_CONFIG_DIR:PATH=//p' "$build/CMakeCache.txt")
pkg_firmware=$(sed -n 's/^ORVANE_PACKAGE_FIRMWARE_DIR:PATH=//p' "$build/CMakeCache.txt")

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every command and option that --help names is offered by the completion,
# and nothing else.
check_completion() {
  local script=$1 cli=$2 what=$3
  local want got
  want=$("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'; "$cli" --help | grep -o -- '--[a-z0-9-]*' | grep -vx -- '--')
  got=$(bash -c 'source "$1"
    complete() { :; }
    offer() { COMP_WORDS=(orvane-bootload-cli "$@"); COMP_CWORD=$#; COMPREPLY=(); _orvane_bootload_cli; printf "%s\n" "${COMPREPLY[@]}"; }
    offer ""; offer --; offer inspect --; offer update --; offer make-demo --' _ "$script")
  [ "$(sort -u <<<"$want")" = "$(sort -u <<<"$got")" ] \
    || fail "$what: completion differs from --help: $(diff <(sort -u <<<"$want") <(sort -u <<<"$got") | grep '^[<>]' | tr '\n' ' ')"
  # The values of the many-reader options: the kinds of reader, and "all".
  got=$(bash -c 'source "$1"
    complete() { :; }
    offer() { COMP_WORDS=(orvane-bootload-cli "$@"); COMP_CWORD=$#; COMPREPLY=(); _orvane_bootload_cli; echo "${COMPREPLY[*]}"; }
    offer update --readers ""; offer update --all --reader ""; offer update --reader ser' _ "$script")
  [ "$got" = $'all\ntcp: tls: serial: hid:\nserial:' ] || fail "$what: completion of --readers and --reader: $(tr '\n' '|' <<<"$got")"
}

# ROOT WHAT PREFIX LINKS CONFIG_DIR FIRMWARE_DIR: where the last two differ
# from the program folder, it holds links to them.
check_root() {
  local root=$1 what=$2 prefix=$3 links=$4 config_dir=$5 firmware_dir=$6
  local cli=$root$prefix/orvane-bootload-cli
  [ -x "$cli" ] || fail "$what: no $cli"
  [ -f "$root$config_dir/BootloadConfiguration.xml" ] || fail "$what: no sample configuration"
  for d in FirmwareApp FirmwareKernel UniFirmwareApp; do
    [ -d "$root$firmware_dir/$d" ] || fail "$what: no $d folder"
    if [ "$firmware_dir" != "$prefix" ]; then
      [ "$(readlink "$root$prefix/$d")" = "$firmware_dir/$d" ] || fail "$what: $d is not linked into the program folder"
    fi
  done
  if [ "$config_dir" != "$prefix" ]; then
    [ "$(readlink "$root$prefix/BootloadConfiguration.xml")" = "$config_dir/BootloadConfiguration.xml" ] \
      || fail "$what: configuration is not linked into the program folder"
    # The links point into the target system: point them into this temporary root
    # so that the runs below go through them.
    ln -sfn "$root$config_dir/BootloadConfiguration.xml" "$root$prefix/BootloadConfiguration.xml"
    for d in FirmwareApp FirmwareKernel UniFirmwareApp; do ln -sfn "$root$firmware_dir/$d" "$root$prefix/$d"; done
  fi
  [ -f "$root$udev/70-orvane-bootload.rules" ] || fail "$what: udev rules"
  local programs=orvane-bootload-cli
  if [ -x "$root$prefix/orvane-bootload" ]; then
    [ -f "$root$data/applications/orvane-bootload.desktop" ] || fail "$what: desktop entry"
    programs+=" orvane-bootload"
  fi
  for program in $programs; do
    local target
    target=$(readlink "$root$links/$program") || fail "$what: no link to $program"
    [[ $target == /* ]] || target=$(realpath -m "$links/$target")
    [ "$target" = "$prefix/$program" ] || fail "$what: link to $program points to $target"
    local page=$root$data/man/man1/$program.1.gz
    gzip -t "$page" 2>/dev/null || fail "$what: no manual page $page"
    if command -v groff >/dev/null; then
      local warnings
      warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
      [ -z "$warnings" ] || fail "$what: manual page $program: $warnings"
    fi
  done
  check_completion "$root$data/bash-completion/completions/orvane-bootload-cli" "$cli" "$what"

  "$cli" --version | grep -q '^orvane-bootload-cli ' || fail "$what: --version"
  # The installed program finds the sample configuration and the firmware folder beside itself.
  XDG_CONFIG_HOME=$tmp/none "$cli" udev-rules >/dev/null || fail "$what: sample configuration does not load"
  cp "$tmp/demo/FirmwareApp/demo_application.fm" "$root$firmware_dir/FirmwareApp/"
  XDG_CONFIG_HOME=$tmp/none "$cli" list 2>/dev/null | grep -q 'demo_application.fm *application' \
    || fail "$what: list does not show the module in the installed FirmwareApp"
  echo "ok: $what"
}

"$build/src/cli/orvane-bootload-cli" make-demo "$tmp/demo" >/dev/null

DESTDIR=$tmp/root "$cmake" --install "$build" >/dev/null
check_root "$tmp/root" "cmake --install" "$prefix" "$links" "$prefix" "$prefix"

(cd "$build" && "$cpack" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libtinyxml2; do
  [[ $depends == *"$lib"* ]] || fail "package does not depend on $lib"
done
dpkg-deb -c "$deb" | grep -q 'conffiles' && fail "conffiles listed as content"
dpkg-deb -I "$deb" conffiles | grep -qx "$pkg_config/BootloadConfiguration.xml" || fail "configuration is not a conffile"
dpkg-deb -x "$deb" "$tmp/debroot"
# Debian policy: the package's programs are on /usr/bin, its configuration in /etc,
# nothing in /usr/local or /opt, whatever the plain install uses.
check_root "$tmp/debroot" "dpkg -x" "$pkg_prefix" "$pkg_links" "$pkg_config" "$pkg_firmware"
for d in usr/local opt; do
  [ -z "$(ls -A "$tmp/debroot/$d" 2>/dev/null)" ] || fail "package installs into /$d"
done
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || true
  grep -q '^E: ' "$tmp/lintian.log" && { cat "$tmp/lintian.log"; fail "lintian reports errors"; }
  echo "lintian: $(grep -c '^W: ' "$tmp/lintian.log" || true) warnings"
fi
