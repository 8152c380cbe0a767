#!/bin/sh
# Installing like a desktop program: every file in a fresh DESTDIR, the
# desktop entry and metadata valid, and the same files in the Debian package.
# Usage: install_test.sh BUILD_FOLDER PYTHON_MODULE_BUILT (1 or 0)
set -u
build=$1
python=$2
. "$(dirname "$0")/check.sh"
python_dir=usr/lib/$(/usr/bin/python3 -c 'import sys; print("python%d.%d" % sys.version_info[:2])' 2> /dev/null)/dist-packages
files="usr/bin/velmora usr/share/applications/org.velmora.Velmora.desktop usr/share/metainfo/org.velmora.Velmora.metainfo.xml
usr/share/icons/hicolor/scalable/apps/org.velmora.Velmora.svg usr/share/man/man1/velmora.1"

DESTDIR="$work/root" cmake --install "$build" --prefix /usr > /dev/null
check "the install succeeds" test $? -eq 0
for file in $files; do check "$file is installed" test -s "$work/root/$file"; done
if [ "$python" = 1 ]; then
    module=$(cd "$work/root" && ls $python_dir/velmora/_velmora.*.so 2> /dev/null)
    check "the Python module is installed" test -n "$module"
    check "the installed module runs a world" env PYTHONPATH="$work/root/$python_dir" /usr/bin/python3 -c \
        "import velmora; w = velmora.World(seed=1); w.run(generations=1); assert w.generation == 1"
    check "the package holds its stub and typed marker" test -s "$work/root/$python_dir/velmora/_velmora.pyi" -a -e "$work/root/$python_dir/velmora/py.typed"
fi
check "the installed program runs" sh -c "'$work/root/usr/bin/velmora' --version | grep -q '^velmora [0-9]'"
check "the man page names every setting" grep -q -- "layer\\\\-width" "$work/root/usr/share/man/man1/velmora.1"
check "the desktop entry is valid" desktop-file-validate "$work/root/usr/share/applications/org.velmora.Velmora.desktop"
check "the metadata is valid" appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/org.velmora.Velmora.metainfo.xml"

(cd "$build" && cpack -G DEB -B "$work/package" > /dev/null)
package=$(ls "$work"/package/velmora_*.deb 2> /dev/null | head -n 1)
check "the package is built" test -n "$package"
listing=$(dpkg-deb -c "$package")
for file in $files; do check "the package holds $file" sh -c "echo \"\$1\" | grep -q \" ./$file\$\"" - "$listing"; done
check "the program's dependencies are computed" sh -c "dpkg-deb -f '$package' Depends | grep -q libqt6widgets6"
if [ "$python" = 1 ]; then
    python_package=$(ls "$work"/package/python3-velmora_*.deb 2> /dev/null | head -n 1)
    check "the Python package is built" test -n "$python_package"
    check "it holds the module and nothing of the program" sh -c \
        "dpkg-deb -c '$python_package' | grep -q ' ./$module\$' && ! dpkg-deb -c '$python_package' | grep -q usr/bin"
    check "its dependencies: the libraries it uses, its Python and numpy" sh -c \
        "dpkg-deb -f '$python_package' Depends | grep -q libzip && dpkg-deb -f '$python_package' Depends | grep -q 'python3 (<< ' && dpkg-deb -f '$python_package' Depends | grep -q python3-numpy"
fi
check "the program depends on its video libraries" sh -c "dpkg-deb -f '$package' Depends | grep -q libavformat"

summary
