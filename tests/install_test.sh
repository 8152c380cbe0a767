#!/bin/sh
# Installing like a desktop program: every file in a fresh DESTDIR, the
# desktop entry and metadata valid, and the same files in the Debian package.
# Usage: install_test.sh BUILD_FOLDER
set -u
build=$1
. "$(dirname "$0")/check.sh"
files="usr/bin/velmora usr/share/applications/org.velmora.Velmora.desktop usr/share/metainfo/org.velmora.Velmora.metainfo.xml
usr/share/icons/hicolor/scalable/apps/org.velmora.Velmora.svg usr/share/man/man1/velmora.1"

DESTDIR="$work/root" cmake --install "$build" --prefix /usr > /dev/null
check "the install succeeds" test $? -eq 0
for file in $files; do check "$file is installed" test -s "$work/root/$file"; done
check "the installed program runs" sh -c "'$work/root/usr/bin/velmora' --version | grep -q '^velmora [0-9]'"
check "the man page names every setting" grep -q -- "layer\\\\-width" "$work/root/usr/share/man/man1/velmora.1"
check "the desktop entry is valid" desktop-file-validate "$work/root/usr/share/applications/org.velmora.Velmora.desktop"
check "the metadata is valid" appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/org.velmora.Velmora.metainfo.xml"

(cd "$build" && cpack -G DEB -B "$work/package" > /dev/null)
package=$(ls "$work"/package/velmora_*.deb 2> /dev/null | head -n 1)
check "the package is built" test -n "$package"
listing=$(dpkg-deb -c "$package")
for file in $files; do check "the package holds $file" sh -c "echo \"\$1\" | grep -q \" ./$file\$\"" - "$listing"; done
check "the package's dependencies are computed" sh -c "dpkg-deb -f '$package' Depends | grep -q libqt6widgets6"

summary
