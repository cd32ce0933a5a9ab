#!/usr/bin/env bash
# Makes the Debian package of a build with cpack, unpacks it into a scratch root with dpkg -x
# and checks what it installs: the files listed, the desktop entry (desktop-file-validate), the
# AppStream metainfo (appstreamcli validate), both man pages (man -l), the programs, and the
# package's dependencies.
#
#   check-package.sh BUILD-DIR VERSION
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$(ls "$scratch"/out/brindle_"$version"_*.deb)
echo "Package: $(basename "$deb")"
dpkg -x "$deb" "$scratch/root"
root=$scratch/root

# Exactly these files, nothing of the tests or the build.
expected="./usr/bin/brindle
./usr/bin/brindle-cli
./usr/share/applications/brindle.desktop
./usr/share/icons/hicolor/128x128/apps/brindle.png
./usr/share/icons/hicolor/scalable/apps/brindle.svg
./usr/share/man/man1/brindle-cli.1.gz
./usr/share/man/man1/brindle.1.gz
./usr/share/metainfo/org.example.brindle.metainfo.xml"
files=$(cd "$root" && find . -type f | LC_ALL=C sort)
echo "Files:"; sed 's/^/  /' <<<"$files"
[ "$files" = "$expected" ] || fail "the package installs other files than these:"$'\n'"$expected"

desktop-file-validate "$root/usr/share/applications/brindle.desktop" || fail "desktop-file-validate"
[ -z "$(desktop-file-validate "$root/usr/share/applications/brindle.desktop")" ] || fail "the desktop entry has hints"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.example.brindle.metainfo.xml" ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.example.brindle.metainfo.xml" ||
  fail "the metainfo names no release $version"
for page in brindle brindle-cli; do
  warnings=$(MANWIDTH=80 man --warnings -E ascii -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >"$scratch/$page.txt")
  [ -z "$warnings" ] || fail "man -l $page.1.gz: $warnings"
  grep -q "^NAME" "$scratch/$page.txt" && grep -q "Brindle $version" "$scratch/$page.txt" ||
    fail "$page.1.gz renders no page of version $version"
done

"$root/usr/bin/brindle-cli" --version | grep -qF "$version" || fail "the installed brindle-cli does not run"
"$root/usr/bin/brindle" --version | grep -qF "$version" || fail "the installed brindle does not run"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
for package in libqt6widgets6 libqt6dbus6 libicu libstdc++6 zlib1g; do
  grep -q "$package" <<<"$depends" || fail "Depends names no $package"
done

[ "$failures" -eq 0 ] || exit 1
echo "The package installs and checks clean."
