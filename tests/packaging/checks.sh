#!/usr/bin/env bash
# Checks of the installed program and its Debian package: checks.sh CHECK.
# CTest passes BUILD_DIR, WORK_DIR, VERSION, APP_ID and PACKAGE.
set -euo pipefail

stage="$WORK_DIR/stage"
prefix=/usr
deb_dir="$WORK_DIR/deb"

fail() { echo "FAIL: $*" >&2; exit 1; }

need() {
  command -v "$1" >/dev/null || fail "$1 is not installed (scripts/setup installs it)"
}

# The expected "mode path" lines, paths relative to the prefix.
expected_files() {
  grep -v '^#' "$WORK_DIR/installed-files.txt" | sort -k2
}

the_deb() {
  local debs=("$deb_dir"/*.deb)
  [[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one package in $deb_dir, found: ${debs[*]}"
  echo "${debs[0]}"
}

desktop_key() {  # the value of an unlocalised key of the staged desktop entry
  sed -n "s/^$1=//p" "$stage$prefix/share/applications/$APP_ID.desktop"
}

stage() {
  rm -rf "$stage"
  DESTDIR="$stage" cmake --install "$BUILD_DIR" --prefix "$prefix"
}

# ROOT holds exactly the expected files and links under the prefix, with
# their modes and targets, in directories of mode 755, and nothing else.
compare_tree() {
  local root=$1 actual stray
  actual=$(cd "$root$prefix" && find . \( -type f -printf '%m %P\n' \) -o \( -type l -printf 'link %P -> %l\n' \) |
    sort -k2)
  if [[ "$actual" != "$(expected_files)" ]]; then
    diff <(expected_files) <(echo "$actual") >&2 || true
    fail "$root does not hold exactly the expected files (- expected, + found)"
  fi
  stray=$(find "$root" -mindepth 1 ! -type f ! -type d ! -type l -o ! -type d ! -path "$root$prefix/*" \
    -o -type d ! -perm 755)
  [[ -z "$stray" ]] || fail "special files, files outside $prefix or directories not 755: $stray"
}

installed_files() {
  compare_tree "$stage"
  # The menu shows the icon its entry names, from the theme, at every size
  # the theme's folder says.
  local icon png size
  icon=$(desktop_key Icon)
  for png in "$stage$prefix"/share/icons/hicolor/*/apps/*.png; do
    size=${png#"$stage$prefix/share/icons/hicolor/"}
    size=${size%%/*}
    [[ "$(basename "$png" .png)" == "$icon" ]] || fail "$png is not the icon '$icon' the menu entry names"
    file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not $size pixels: $(file -b "$png")"
  done
  # An installed program must find its libraries where the system keeps them,
  # never in the build tree it came from.
  for program in "$stage$prefix"/bin/*; do
    if readelf -d "$program" | grep -E 'R(UN)?PATH'; then
      fail "$program keeps a library search path"
    fi
  done
}

# The monitoring engines' plugin is printertest under another name, and runs
# its check: -V answers as a plugin does, with UNKNOWN (3).
installed_plugin() {
  local plugin="$stage$prefix/lib/nagios/plugins/check_printer" out rc=0
  [[ "$(readlink -f "$plugin")" == "$stage$prefix/bin/printertest" ]] || fail "$plugin is no link to printertest"
  out=$("$plugin" -V) || rc=$?
  [[ $rc -eq 3 && "$out" == "check_printer (printertest $VERSION)" ]] || fail "check_printer -V: status $rc, '$out'"
}

# Icinga 2 accepts the installed command with a host and a service that use
# it. As root it drops to its own user, who must be able to write its cache.
icinga2_definition() {
  need icinga2
  local dir="$WORK_DIR/icinga2"
  rm -rf "$dir" && mkdir -p "$dir" && chmod 777 "$dir"
  cat >"$dir/icinga2.conf" <<CONF
const PluginDir = "$stage$prefix/lib/nagios/plugins"
const PluginContribDir = PluginDir
const ManubulonPluginDir = PluginDir
const NodeName = "printertest-check"
const ZoneName = NodeName
include <itl>
include <plugins>
include "$stage$prefix/share/icinga2/include/plugins-contrib.d/printertest.conf"
object Host "shop12-printer" {
  address = "192.168.1.50"
  check_command = "printertest"
}
object Service "receipt-printer" {
  host_name = "shop12-printer"
  check_command = "printertest"
  vars.printertest_warning = "0.5"
  vars.printertest_critical = "@2:"
}
CONF
  # As the user running the test: icinga2 would drop to its own user, which
  # cannot reach a build tree under a private home.
  icinga2 daemon -C -c "$dir/icinga2.conf" -DCacheDir="$dir" -DRunAsUser="$(id -un)" -DRunAsGroup="$(id -gn)" ||
    fail "icinga2 refused the printertest command"
}

installed_version() {
  local bin="$stage$prefix/bin" out
  out=$("$bin/OrvanePrinterTest" --version)
  [[ "$out" == "OrvanePrinterTest $VERSION" ]] || fail "OrvanePrinterTest --version says '$out'"
  out=$("$bin/virtual-printer" --version)
  [[ "$out" == "virtual-printer $VERSION" ]] || fail "virtual-printer --version says '$out'"
  "$bin/printertest" --help >/dev/null || fail "printertest --help failed"
  if out=$("$bin/printertest" --version 2>&1); then
    [[ "$out" == *"$VERSION"* ]] || fail "printertest --version says '$out'"
  fi
  echo "installed programs say version $VERSION"
}

# The menu starts the console with the entry's Exec line (no field codes in
# it): the program must be in bin/ and stay up with its window open. A
# loopback printer keeps it off the network.
desktop_exec_runs() {
  local exec try rc=0
  exec=$(desktop_key Exec)
  try=$(desktop_key TryExec)
  [[ -n "$exec" && "$exec" != *%* ]] || fail "Exec line '$exec' is empty or has field codes"
  read -r -a argv <<<"$exec"
  [[ "${argv[0]}" == "$try" ]] || fail "TryExec '$try' is not the program Exec starts ('${argv[0]}')"
  [[ -x "$stage$prefix/bin/${argv[0]}" ]] || fail "Exec names '${argv[0]}', which is not installed in bin/"
  PATH="$stage$prefix/bin:$PATH" timeout -k 5 10 "${argv[@]}" --printer 127.0.0.1 || rc=$?
  [[ $rc -eq 124 ]] || fail "'$exec' ended with status $rc instead of showing the console"
  echo "'$exec' was still showing the console after 10 s"
}

desktop_file_validate() {
  need desktop-file-validate
  desktop-file-validate "$stage$prefix/share/applications/$APP_ID.desktop"
  # A Chinese desktop shows the entry in Chinese.
  for key in 'Name\[zh_CN\]' 'Comment\[zh_CN\]'; do
    [[ -n "$(desktop_key "$key")" ]] || fail "the menu entry has no $key"
  done
}

# validate-tree also checks the metadata against the desktop entry and icons.
appstream_validate() {
  need appstreamcli
  appstreamcli validate --no-net --explain "$stage$prefix/share/metainfo/$APP_ID.metainfo.xml"
  # validate-tree passes a tree without metadata; it must find ours.
  local out
  out=$(appstreamcli validate-tree --no-net "$stage") || fail "$out"
  [[ "$out" != *dir-no-metadata-found* ]] || fail "validate-tree found no metadata: $out"
}

build_deb() {
  need dpkg-shlibdeps
  rm -rf "$deb_dir"
  cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$deb_dir"
  rm -rf "$deb_dir/_CPack_Packages"
  the_deb >/dev/null
}

deb_control() {
  local deb field value
  deb=$(the_deb)
  dpkg-deb --info "$deb"
  [[ "$(dpkg-deb -f "$deb" Package)" == "$PACKAGE" ]] || fail "package name"
  [[ "$(dpkg-deb -f "$deb" Version)" == "$VERSION" ]] || fail "version is not $VERSION"
  [[ "$(dpkg-deb -f "$deb" Architecture)" == "$(dpkg --print-architecture)" ]] || fail "architecture"
  for field in Maintainer Section Installed-Size; do
    [[ -n "$(dpkg-deb -f "$deb" $field)" ]] || fail "no $field field"
  done
  value=$(dpkg-deb -f "$deb" Description)
  [[ $(wc -l <<<"$value") -gt 2 ]] || fail "no long description"
  # Computed from the libraries the programs link, plus what Qt loads at run
  # time: without a platform plugin the console cannot open.
  value=$(dpkg-deb -f "$deb" Depends)
  local names
  names=$(tr ',|' '\n\n' <<<"$value" | awk '{ print $1 }')
  for lib in libqt6core6 libqt6gui6 libqt6widgets6 libstdc++6 libc6 qt6-qpa-plugins; do
    grep -qxF "$lib" <<<"$names" || fail "Depends does not name $lib: $value"
  done
  # The registry of card makers is a wish: the programs run without it.
  ! grep -qxF ieee-data <<<"$names" || fail "Depends names ieee-data, which the programs do without: $value"
  value=$(dpkg-deb -f "$deb" Recommends)
  names=$(tr ',|' '\n\n' <<<"$value" | awk '{ print $1 }')
  grep -qxF ieee-data <<<"$names" || fail "Recommends does not name ieee-data: $value"
}

# The package holds what the install stages, owned by root.
deb_contents() {
  local deb unpacked="$WORK_DIR/unpacked" owners
  deb=$(the_deb)
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -p -C "$unpacked"
  compare_tree "$unpacked"
  owners=$(dpkg-deb --fsys-tarfile "$deb" | tar -t -v --numeric-owner | awk '$2 != "0/0"')
  [[ -z "$owners" ]] || fail "not owned by root: $owners"
}

lintian_check() {
  need lintian
  local deb
  deb=$(the_deb)
  lintian --fail-on error,warning --display-info --pedantic --tag-display-limit 0 "$deb"
}

case "${1:-}" in
  stage | installed_files | installed_version | installed_plugin | icinga2_definition | desktop_exec_runs | desktop_file_validate | \
    appstream_validate | build_deb | deb_control | deb_contents) "$1" ;;
  lintian) lintian_check ;;
  *) fail "unknown check '${1:-}'" ;;
esac
