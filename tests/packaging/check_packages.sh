#!/bin/sh
# Builds the Debian packages of a build folder into a temporary folder and
# checks what each holds and what it depends on.
set -eu
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT INT TERM
fail() {
  echo "packages: $*"
  exit 1
}
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; fail "cpack failed"; }
tessary=$(ls "$out"/tessary_*.deb) || fail "no tessary package"
morvane=$(ls "$out"/morvane_*.deb) || fail "no morvane package"

depends=$(dpkg-deb -f "$tessary" Depends)
for d in apache2-bin libapache2-mod-php mariadb-server qt6-qpa-plugins; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$d\( \|$\)" || fail "tessary does not depend on $d: $depends"
done
held=$(dpkg-deb -c "$tessary")
for f in ./usr/bin/tessary ./usr/share/applications/tessary.desktop \
  ./usr/share/icons/hicolor/scalable/apps/tessary.svg; do
  echo "$held" | grep -q " $f\$" || fail "tessary lacks $f"
done
held=$(dpkg-deb -c "$morvane")
for f in ./usr/bin/morvane ./usr/bin/morvane-batch ./usr/share/applications/morvane.desktop; do
  echo "$held" | grep -q " $f\$" || fail "morvane lacks $f"
done
if echo "$held" | grep -q tessary; then fail "morvane holds the manager's files"; fi
echo "packages: morvane and tessary hold their programs and name their dependencies"
