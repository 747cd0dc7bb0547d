#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds two outside programs
# against the installed files, one through find_package(snapkit) and one
# through pkg-config. Each loads a PNG (written by Pillow) through TPicture
# without naming a package symbol. Also checks the layout: headers, versioned
# sonames, the program, its man page, and the palette of the installed
# package. Last, the README's TSitelens example is built against the install
# and run with Chromium: one page it captures, one address it cannot reach.
# This is the prefix route; the Debian packages are checked by
# scripts/package-deb.sh.
#
#   scripts/check-install.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$(realpath "${1:-build}")
work=$(mktemp -d /tmp/snapkit-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "check-install: $*" >&2; exit 1; }

cmake --build "$build" -j2 --target snapkit-host snapkitD5 snapkit
if grep -q '^SNAPKIT_BUILD_D4:BOOL=ON' "$build/CMakeCache.txt"; then
  cmake --build "$build" -j2 --target snapkitD4
  packages="D5 D4"
else
  packages="D5"
fi
cmake --install "$build" --prefix "$prefix" > "$work/install.log"

libdir=$(ls -d "$prefix"/lib*/ | head -1)
libdir=${libdir%/}
for h in host/graphics/picture.h host/forms/form_reader.h capture/sitelens.h \
         dropurl/drop_url.h png/png_image.h zstream/zstream.h imaging/resample.h; do
  [ -f "$prefix/include/snapkit/$h" ] || fail "header $h not installed"
done
[ -z "$(find "$prefix/include" -path '*testing*' -print -quit)" ] || fail "test helpers installed"
for lib in snapkit-host $(for p in $packages; do echo snapkit$p; done); do
  soname=$(readelf -d "$libdir/lib$lib.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$lib.so.0" ] || fail "lib$lib.so has soname '$soname'"
  [ -f "$libdir/$soname" ] || fail "$soname missing"
done
if grep -q '^GTK3_FOUND:INTERNAL=1' "$build/CMakeCache.txt"; then
  cmake --build "$build" -j2 --target snapkit-desktop
  cmake --install "$build" --prefix "$prefix" > "$work/install.log"
  # Opened at run time by soname; nothing links it, so no bare .so.
  soname=$(readelf -d "$libdir/libsnapkit-desktop.so.0" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
  [ "$soname" = libsnapkit-desktop.so.0 ] || fail "libsnapkit-desktop.so.0 has soname '$soname'"
  [ ! -e "$libdir/libsnapkit-desktop.so" ] || fail "libsnapkit-desktop.so development link installed"
fi
[ -z "$(find "$prefix/include" -path '*desktop*' -print -quit)" ] || fail "desktop (GTK) headers installed"
# A program built against the install needs only what the headers include.
! grep -E 'PkgConfig::|JPEG::|glib|deflate' "$libdir"/cmake/snapkit/*.cmake "$libdir"/pkgconfig/*.pc ||
  fail "the installed CMake or pkg-config files pass on a library the headers do not need"
[ -f "$prefix/share/man/man1/snapkit.1" ] || fail "man page not installed"
"$prefix/bin/snapkit" --help > /dev/null
palette=$("$prefix/bin/snapkit" palette --icons "$work")
grep -q '^  Corvane: TSitelens$' <<< "$palette" || fail "palette: $palette"
[ -f "$work/TSITELENS.bmp" ] || fail "no palette picture written"

/usr/bin/python3 - "$work/in.png" <<'PY'
import sys
from PIL import Image
im = Image.new('RGB', (7, 5), (0x12, 0x34, 0x56))
im.putpixel((6, 4), (255, 255, 255))
im.save(sys.argv[1])
PY
expected="7x5 123456"

# 1. find_package(snapkit)
cmake -S "$src/packaging/consumers" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release > "$work/cmake.log" || { cat "$work/cmake.log"; fail "configure"; }
cmake --build "$work/cmake" > "$work/cmake-build.log" || { cat "$work/cmake-build.log"; fail "build"; }
for p in $packages; do
  got=$("$work/cmake/load_png_${p,,}" "$work/in.png")
  [ "$got" = "$expected" ] || fail "find_package program ($p) printed '$got', not '$expected'"
done

# 2. pkg-config
export PKG_CONFIG_PATH=$libdir/pkgconfig
for p in $packages; do
  std=20; [ "$p" = D4 ] && std=17
  # shellcheck disable=SC2046
  g++ -std=c++$std -o "$work/pc_$p" "$src/packaging/consumers/load_png.cpp" \
    $(pkg-config --cflags --libs snapkit$p) -Wl,-rpath,"$libdir"
  got=$("$work/pc_$p" "$work/in.png")
  [ "$got" = "$expected" ] || fail "pkg-config program ($p) printed '$got', not '$expected'"
done

# 3. The README's example, as a reader would paste it.
sed -n '/^## TSitelens in a program/,/^```$/p' README.md | sed '1,/^```cpp$/d;/^```$/d' \
  > "$work/readme_example.cpp"
grep -q 'OnCaptureError' "$work/readme_example.cpp" || fail "README example not found"
# shellcheck disable=SC2046
g++ -std=c++20 -o "$work/readme_example" "$work/readme_example.cpp" \
  $(pkg-config --cflags --libs snapkitD5) -Wl,-rpath,"$libdir"
mkdir "$work/run"
(cd "$work/run" && "$work/readme_example" "file://$src/examples/page.html") ||
  fail "README example could not capture examples/page.html"
/usr/bin/python3 - "$work/run/page.png" <<'PY' || fail "README example wrote no fitting page.png"
import sys
from PIL import Image
im = Image.open(sys.argv[1])
assert im.format == 'PNG' and 0 < im.width <= 320 and 0 < im.height <= 240, (im.format, im.size)
assert len(set(im.convert('RGB').getdata())) > 1, 'a picture of one colour'
PY
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
status=0
(cd "$work/run" && rm -f page.png && timeout 60 "$work/readme_example" "http://127.0.0.1:$port/") \
  2> "$work/unreachable.err" || status=$?
[ "$status" = 1 ] || fail "README example on a closed port exited with $status, not 1"
grep -q "^http://127.0.0.1:$port/: ." "$work/unreachable.err" ||
  fail "README example did not report the closed port: $(cat "$work/unreachable.err")"
[ ! -e "$work/run/page.png" ] || fail "README example wrote a picture of an unreachable page"

echo "check-install: installed layout, find_package and pkg-config programs ($packages) and the README example all good"
