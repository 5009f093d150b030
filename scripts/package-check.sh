#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package end to end on this machine:
#   1. validates the desktop entry, the AppStream metainfo and the icons,
#   2. builds the .deb with cpack from the given build directory and checks
#      its file list and its Depends,
#   3. runs lintian on it as a distribution would (every tag, pedantic
#      ones too) and fails on any error or warning,
#   4. installs it with apt-get,
#   5. checks that every file dpkg lists is there, the installed desktop
#      entry and metainfo still validate, the manual pages read cleanly and
#      the programs carry the hardening (BIND_NOW, fortified calls, stack
#      protector, PIE, RELRO),
#   6. starts the installed program, then the installed demo, on Qt's
#      offscreen platform as an unprivileged user, and waits until their
#      windows are shown,
#   7. runs the installed tr640ctl against its virtual unit as an
#      unprivileged user: a dump as JSON, a preset pulled into a file and
#      pushed back,
#   8. starts the installed tr640-bridge over a virtual unit against a
#      Mosquitto broker on loopback, changes a value through the broker and
#      checks the answer and the retained state,
#   9. removes the package again, checks that its files are gone, and purges
#      it.
#
# Usage: scripts/package-check.sh [build-dir]   (default: build)
# Needs root (or sudo) for apt-get; needs no display. Every step is bounded
# in time. A tr640 package that was installed before the check is left
# installed (at the version built here) rather than removed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build}
app_id=io.github.tr640.Control
package=tr640
# The programs in /usr/bin; each has its manual page in section 1.
programs=(tr640 tr640-demo tr640ctl tr640-bridge)
startup_seconds=${TR640_STARTUP_SECONDS:-30}  # to wait for the windows
settle_seconds=3                              # to stay up once they are shown
icon_sizes=(16 22 24 32 48 64 128 256)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package-check: FAIL: $*" >&2
  exit 1
}
step() {
  echo "-- [${SECONDS}s] $*"
}

work=$(mktemp -d)
chmod 755 "$work"
installed_here=0
app_pid=
broker_pid=
bridge_pid=
cleanup() {
  for pid in "$bridge_pid" "$broker_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid" 2>/dev/null || true
    fi
  done
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill -KILL "$app_pid" 2>/dev/null || true
  fi
  if [ "$installed_here" -eq 1 ]; then
    echo "package-check: removing $package after a failure"
    timeout 300 "${as_root[@]}" apt-get remove -y "$package" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Width and height of a PNG, from its IHDR chunk.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

step "desktop entry, metainfo and icons"
desktop=packaging/linux/$app_id.desktop
metainfo=packaging/linux/$app_id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
timeout 60 appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
[ -f "packaging/icons/$app_id.svg" ] || fail "missing packaging/icons/$app_id.svg"
for size in "${icon_sizes[@]}"; do
  png=packaging/icons/hicolor/${size}x${size}/apps/$app_id.png
  [ -f "$png" ] || fail "missing $png"
  [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png"), not ${size}x${size}"
done

step "build ($build/)"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTR640_BUILD_TESTS=OFF -DTR640_BUILD_BENCH=OFF
fi
cmake --build "$build" -j "$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
release=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | sed 's/.*="//; s/"$//')
[ "$release" = "$version" ] || fail "newest release in $metainfo is '$release', the project is at '$version'"
release=$(sed -n 's/^## \([^ ]*\) (.*$/\1/p' CHANGELOG.md | head -n 1)
[ "$release" = "$version" ] || fail "newest release in CHANGELOG.md is '$release', the project is at '$version'"
contact=$(sed -n 's/^TR640_PACKAGE_CONTACT:STRING=//p' "$build/CMakeCache.txt")
case $contact in
  *@example.*|*@localhost*|"") fail "the maintainer address '$contact' is a placeholder" ;;
esac

step "cpack"
rm -rf "$build/package"
(cd "$build" && timeout 300 cpack -G DEB -B package) || fail "cpack"
debs=("$build"/package/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "expected one .deb in $build/package, found: ${debs[*]}"
fi
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
tr ',|' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' >"$work/depends"
for need in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6charts6 libhidapi-hidraw0 libudev1 libmosquitto1 fonts-wqy-microhei; do
  grep -qxF "$need" "$work/depends" || fail "Depends lacks $need"
done
expected_files=(
  /usr/lib/udev/rules.d/70-tr640.rules
  "/usr/share/doc/$package/changelog.gz"
  "/usr/share/doc/$package/copyright"
  /usr/share/bash-completion/completions/tr640ctl
  /usr/lib/systemd/system/tr640-bridge.service
  /etc/default/tr640-bridge
  "/usr/share/applications/$app_id.desktop"
  "/usr/share/metainfo/$app_id.metainfo.xml"
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
)
for size in "${icon_sizes[@]}"; do
  expected_files+=("/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for program in "${programs[@]}"; do
  expected_files+=("/usr/bin/$program" "/usr/share/man/man1/$program.1.gz")
done
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort >"$work/in-deb"
printf '%s\n' "${expected_files[@]}" | sort >"$work/expected"
diff -u "$work/expected" "$work/in-deb" || fail "the package holds other files than expected"
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -x './postinst' >/dev/null || fail "no postinst in the package"
[ -n "$(dpkg-deb -f "$deb" Homepage)" ] || fail "the package names no Homepage, where users find the issue tracker"

step "lintian"
# A copy that unprivileged users (lintian below, apt's download user later)
# can read.
cp "$deb" "$work/"
chmod 644 "$work/$(basename "$deb")"
local_deb=$work/$(basename "$deb")
# Every tag, the pedantic and informational ones too, is printed; errors and
# warnings fail the check. An override, should one ever be needed, goes in
# the package as /usr/share/lintian/overrides/tr640 with a comment saying
# why.
# Lintian warns against running as root, so it runs as nobody when it can.
as_lintian=()
if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null 2>&1; then
  as_lintian=(runuser -u nobody -- env HOME="$work")
fi
(cd "$work" && timeout 600 "${as_lintian[@]}" lintian -I --pedantic --fail-on none "$local_deb") >"$work/lintian" 2>&1 ||
  { cat "$work/lintian" >&2; fail "lintian did not run"; }
if [ -s "$work/lintian" ]; then
  cat "$work/lintian"
else
  echo "lintian: no tags"
fi
if grep -E '^[EW]: ' "$work/lintian" >/dev/null; then
  fail "lintian reports errors or warnings"
fi

step "install"
installed_before=0
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep "install ok installed" >/dev/null; then
  installed_before=1
  echo "package-check: $package was installed before; it will be upgraded and left installed"
fi
[ "$installed_before" -eq 1 ] || installed_here=1
if ! timeout 600 "${as_root[@]}" apt-get install -q -y --no-install-recommends "$local_deb"; then
  # Package lists may be missing on a fresh machine.
  timeout 600 "${as_root[@]}" apt-get update
  timeout 600 "${as_root[@]}" apt-get install -q -y --no-install-recommends "$local_deb" || fail "apt-get install $local_deb"
fi
[ "$(dpkg-query -W -f='${Version}' "$package")" = "$version" ] || fail "installed $package is not at $version"

step "installed files"
dpkg -L "$package" >"$work/listed"
while IFS= read -r path; do
  [ -e "$path" ] || fail "dpkg -L lists $path, which is not there"
done <"$work/listed"
for path in "${expected_files[@]}"; do
  grep -qx "$path" "$work/listed" || fail "dpkg -L does not list $path"
done
for program in "${programs[@]}"; do
  exe=/usr/bin/$program
  [ -x "$exe" ] || fail "$exe is not executable"
  if ldd "$exe" | grep 'not found' >/dev/null; then
    ldd "$exe" >&2
    fail "$exe misses shared libraries"
  fi
  # lintian formats each page the same way and reports what man-db warns
  # about; a clean page gives no warning.
  page=/usr/share/man/man1/$program.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
    fail "man cannot format $page"
  [ -z "$warnings" ] || fail "$page: $warnings"
  zcat "$page" | grep "^\.SH NAME" >/dev/null || fail "$page has no NAME section"
done
# The hardening that Release and RelWithDebInfo builds get. Control-flow
# protection (-fcf-protection) is not among the flags Debian 12's
# dpkg-buildflags gives, so it is not asked for.
for program in "${programs[@]}"; do
  hardening-check --nocfprotection "/usr/bin/$program" || fail "/usr/bin/$program lacks hardening"
  readelf -d "/usr/bin/$program" | grep -E '\(FLAGS(_1)?\).*\b(BIND_NOW|NOW)\b' >/dev/null || fail "/usr/bin/$program is not linked with BIND_NOW"
  readelf --dyn-syms -W "/usr/bin/$program" | grep -E '__[a-z]+_chk' >/dev/null || fail "/usr/bin/$program calls no fortified function"
done
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "installed desktop entry does not validate"
timeout 60 appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" || fail "installed metainfo does not validate"
while IFS= read -r cmd; do
  [ "$(command -v "$cmd")" = "/usr/bin/$cmd" ] || fail "desktop entry runs '$cmd', which is not /usr/bin/$cmd"
done < <(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "/usr/share/applications/$app_id.desktop")
grep -q 'ATTRS{idVendor}=="0483", ATTRS{idProduct}=="6912"' /usr/lib/udev/rules.d/70-tr640.rules || fail "udev rule does not name 0483:6912"

# Starts an installed program on the offscreen platform and waits until each
# named top-level window has been painted and flushed to its backing store,
# which Qt's widget painting log reports ("Flushing ... of Class(..., name=...)").
# Then the program must still run for a few seconds and must have printed
# nothing that looks like a failure. Runs as nobody when started as root.
check_starts() {
  local exe=$1
  shift
  local name
  name=$(basename "$exe")
  local log=$work/$name.log pidfile=$work/$name.pid home=$work/home-$name runtime=$work/run-$name
  mkdir -p "$home" "$runtime"
  chmod 700 "$runtime"
  local as_user=()
  if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null 2>&1; then
    chown nobody:nogroup "$home" "$runtime"
    as_user=(runuser -u nobody --)
  fi
  : >"$pidfile"
  chmod 666 "$pidfile"
  # shellcheck disable=SC2016 # $$ and $0 belong to the inner shell
  timeout -s KILL $((startup_seconds + settle_seconds + 20)) "${as_user[@]}" \
    sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" \
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.widgets.painting=true" \
    "$exe" </dev/null >"$log" 2>&1 &
  local chain=$!
  local started=$SECONDS
  while [ ! -s "$pidfile" ] && [ $((SECONDS - started)) -lt 10 ]; do sleep 0.1; done
  app_pid=$(cat "$pidfile")
  [ -n "$app_pid" ] || fail "$exe did not start"

  local window missing
  while :; do
    missing=()
    for window in "$@"; do
      grep -Eq "Flushing QRegion\(.*\) of [A-Za-z0-9_:]+\(0x[0-9a-f]+, name=\"$window\"\)" "$log" || missing+=("$window")
    done
    [ "${#missing[@]}" -eq 0 ] && break
    if ! kill -0 "$app_pid" 2>/dev/null; then
      tail -n 20 "$log" >&2
      fail "$exe ended before showing ${missing[*]}"
    fi
    [ $((SECONDS - started)) -lt "$startup_seconds" ] || fail "$exe did not show ${missing[*]} within ${startup_seconds}s"
    sleep 0.2
  done
  echo "$exe: shown ($*) after about $((SECONDS - started))s, running as $(stat -c %U "/proc/$app_pid")"
  sleep "$settle_seconds"
  kill -0 "$app_pid" 2>/dev/null || fail "$exe ended within ${settle_seconds}s of showing its windows"

  # What it printed while running; not what the kill below makes it say.
  grep -v '^qt\.widgets\.painting' "$log" >"$log.other" || true
  kill -TERM "$app_pid" 2>/dev/null || true
  wait "$chain" 2>/dev/null || true
  app_pid=
  if grep -Eiq 'fatal|abort|segmentation|core dump|could not|cannot|failed|error' "$log.other"; then
    cat "$log.other" >&2
    fail "$exe printed a failure"
  fi
  if [ -s "$log.other" ]; then
    echo "$exe printed (besides the painting log):"
    sort "$log.other" | uniq -c | sed 's/^/    /'
  fi
}

step "start the installed program"
check_starts /usr/bin/tr640 Form1
step "start the installed demo"
# The demo plugs its virtual unit in at once; the status window shows while
# the connect read runs.
check_starts /usr/bin/tr640-demo Form1 DemoDeviceWindow Form4

# Runs the installed tr640ctl with the given arguments in a bare environment,
# as nobody when started as root, from a directory that user may write to.
# A failure prints what it said.
ctl_home=$work/home-tr640ctl
run_ctl() {
  local as_user=()
  mkdir -p "$ctl_home"
  if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null 2>&1; then
    chown nobody:nogroup "$ctl_home"
    as_user=(runuser -u nobody --)
  fi
  local status=0
  (cd "$ctl_home" && timeout 60 "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$ctl_home" LANG=C.UTF-8 \
    /usr/bin/tr640ctl "$@" </dev/null 2>"$work/tr640ctl.err") || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$work/tr640ctl.err" >&2
    fail "tr640ctl $* ended with status $status"
  fi
}

step "run the installed tr640ctl"
run_ctl --version
run_ctl --virtual dump --json >"$work/dump.json"
python3 -m json.tool "$work/dump.json" >/dev/null || fail "tr640ctl --virtual dump --json printed no JSON"
grep -q '"name": *"mic1.eq3.gain"' "$work/dump.json" || fail "tr640ctl --virtual dump --json lacks mic1.eq3.gain"
echo "tr640ctl --virtual dump --json: $(grep -c '"name"' "$work/dump.json") parameters"
run_ctl --virtual preset pull check.Nddt
[ -s "$ctl_home/check.Nddt" ] || fail "tr640ctl --virtual preset pull wrote no check.Nddt"
run_ctl --virtual preset push check.Nddt
run_ctl preset show check.Nddt --json | python3 -m json.tool >/dev/null || fail "tr640ctl preset show --json printed no JSON"
echo "tr640ctl --virtual preset pull/push: $(stat -c %s "$ctl_home/check.Nddt") bytes, written back and read back the same"

# The installed bridge over one virtual unit, against a broker of its own on a
# free loopback port, as nobody when started as root.
step "run the installed tr640-bridge"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/mosquitto.conf"
[ "$(id -u)" -ne 0 ] || echo "user root" >>"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
broker_pid=$!
sub() { timeout 30 mosquitto_sub -h 127.0.0.1 -p "$port" "$@"; }
retained() { sub -C 1 -W 5 -t "$1" 2>/dev/null || true; }
# setpriv runs the bridge in its own process, so SIGTERM reaches it directly.
bridge_user=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1; then
  bridge_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${bridge_user[@]}" env -i PATH=/usr/bin:/bin LANG=C.UTF-8 \
  /usr/bin/tr640-bridge --broker "mqtt://127.0.0.1:$port" --virtual 1 </dev/null >"$work/bridge.log" 2>&1 &
bridge_pid=$!
started=$SECONDS
until [ "$(retained tr640/VIRTUAL-1/availability)" = online ]; do
  kill -0 "$bridge_pid" 2>/dev/null || { cat "$work/bridge.log" >&2; fail "tr640-bridge ended"; }
  [ $((SECONDS - started)) -lt 30 ] || { cat "$work/bridge.log" >&2; fail "VIRTUAL-1 did not come online"; }
  sleep 0.5
done
sub -C 1 -W 20 -t tr640/VIRTUAL-1/response >"$work/response" &
answer=$!
sleep 1  # the subscription is made before the command goes
timeout 10 mosquitto_pub -h 127.0.0.1 -p "$port" -t tr640/VIRTUAL-1/mic1.volume/set -m 77 || fail "mosquitto_pub"
wait "$answer" || fail "no response from tr640-bridge"
grep -q '"status":"ok"' "$work/response" || fail "tr640-bridge answered $(cat "$work/response")"
[ "$(retained tr640/VIRTUAL-1/mic1.volume)" = 77 ] || fail "the retained mic1.volume is not 77"
kill -TERM "$bridge_pid"
wait "$bridge_pid" || fail "tr640-bridge did not end cleanly on SIGTERM"
bridge_pid=
[ "$(retained tr640/bridge/state)" = offline ] || fail "tr640-bridge did not say offline on its way out"
kill -TERM "$broker_pid"
wait "$broker_pid" 2>/dev/null || true
broker_pid=
echo "tr640-bridge --virtual 1: online, mic1.volume set to 77 through the broker, offline after SIGTERM"

step "remove"
if [ "$installed_before" -eq 1 ]; then
  echo "package-check: leaving the previously installed $package in place"
else
  timeout 300 "${as_root[@]}" apt-get remove -q -y "$package" || fail "apt-get remove $package"
  installed_here=0
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep "install ok installed" >/dev/null; then
    fail "$package is still installed: $(dpkg-query -W -f='${Status}' "$package")"
  fi
  # The options file is a configuration file: it stays until a purge.
  for path in "${expected_files[@]}"; do
    [ "$path" = /etc/default/tr640-bridge ] || [ ! -e "$path" ] || fail "$path is still there after removal"
  done
  # The maintainer scripts keep dpkg's record until a purge.
  timeout 120 "${as_root[@]}" dpkg --purge "$package" >/dev/null || fail "dpkg --purge $package"
  [ ! -e /etc/default/tr640-bridge ] || fail "/etc/default/tr640-bridge is still there after the purge"
fi

step "package check passed"
