#!/usr/bin/env bash
# Builds the Debian packages (packaging/debian) from a Release build, lets
# lintian judge them, installs them with apt into this machine's root, builds
# and runs the outside programs in packaging/consumers against /usr (CMake and
# pkg-config), captures the bundled page with the installed program, then
# purges everything and checks that no file was left behind or lost.
# Prints each package's installed size and Depends.
#
#   scripts/package-deb.sh [OUT_DIR]      (default: build-deb)
#
# Needs root (apt). Uses ccache when CMAKE_CXX_COMPILER_LAUNCHER says so.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
src=$PWD
out=$(realpath -m "${1:-build-deb}")
start=$SECONDS

fail() { echo "package-deb: $*" >&2; exit 1; }
step() { echo "package-deb: [$((SECONDS - start))s] $*"; }

bash scripts/install-deps.sh
tools=()
for p in debhelper lintian man-db; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || tools+=("$p")
done
if [ ${#tools[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tools[@]}" >/dev/null
fi

version=$(dpkg-parsechangelog -l packaging/debian/changelog -SVersion)
project_version=$(sed -n 's/^project(snapkit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$version" = "$project_version" ] ||
  fail "packaging/debian/changelog says $version, CMakeLists.txt $project_version"

# ---- build ------------------------------------------------------------------
# The source package is the files git tracks (as they are in the work tree;
# a new file counts once added) with packaging/debian as its debian/. Its
# folder keeps one name so that ccache finds the objects of the last run.
step "building the packages (Release)"
rm -rf "$out"
tree=$out/snapkit-$version
mkdir -p "$tree"
git ls-files -z |
  tar --null -T - -cf - | tar -xf - -C "$tree"
cp -r packaging/debian "$tree/debian"
(cd "$tree" && DEB_BUILD_OPTIONS="parallel=2 nocheck" dpkg-buildpackage -us -uc) \
  > "$out/build.log" 2>&1 || { tail -40 "$out/build.log"; fail "dpkg-buildpackage failed ($out/build.log)"; }
changes=$out/snapkit_${version}_$(dpkg --print-architecture).changes
[ -f "$changes" ] || fail "no $changes"
mapfile -t debs < <(ls "$out"/*.deb)
names=()
for d in "${debs[@]}"; do names+=("$(dpkg-deb -f "$d" Package)"); done

# ---- lintian ----------------------------------------------------------------
# Every warning left is overridden, with the reason, in packaging/debian.
step "lintian"
lintian --show-overrides "$changes" > "$out/lintian.log" 2>&1 || true
cat "$out/lintian.log"
! grep -q '^[EW]: ' "$out/lintian.log" || fail "lintian reports errors or warnings"

echo
printf '%-24s %10s  %s\n' package installed Depends
for d in "${debs[@]}" "$out"/*.ddeb; do
  [ -f "$d" ] || continue
  printf '%-24s %7s KiB  %s\n' "$(dpkg-deb -f "$d" Package)" "$(dpkg-deb -f "$d" Installed-Size)" \
    "$(dpkg-deb -f "$d" Depends)"
done
echo

# ---- install ----------------------------------------------------------------
for n in "${names[@]}"; do
  ! dpkg-query -W -f='${Status}' "$n" 2>/dev/null | grep -q installed ||
    fail "$n is installed already; purge it first"
done
# What the system holds before, to compare after the purge. Folders that
# change on their own (logs, caches, temporary files, work trees) stay out.
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /var/tmp -o -path /var/log -o -path /var/cache -o -path /var/lib/apt/lists \
    -o -path /work -o -path /root -o -path /home -o -path "$out" \) -prune -o -print |
    grep -v -E '^/var/lib/dpkg/(status|available|lock|triggers|updates|.*-old$)' | sort
}
snapshot > "$out/files-before"
dpkg-query -W -f='${Package}\n' | sort > "$out/packages-before"

work=$(mktemp -d /tmp/snapkit-deb-XXXXXX)
cleanup() {
  # Leave nothing installed if a step failed half way.
  if [ -f "$out/packages-before" ]; then
    mapfile -t added < <(dpkg-query -W -f='${Package}\n' | sort | comm -13 "$out/packages-before" -)
    if [ ${#added[@]} -gt 0 ]; then
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${added[@]}" > /dev/null 2>&1 || true
    fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT

deb_of() { for d in "${debs[@]}"; do [ "$(dpkg-deb -f "$d" Package)" = "$1" ] && echo "$d"; done; }
step "installing libsnapkit0, snapkit, libsnapkit-dev with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$(deb_of libsnapkit0)" "$(deb_of snapkit)" "$(deb_of libsnapkit-dev)" > "$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install"; }

# Servers that only capture get no GTK.
for n in libsnapkit0 snapkit; do
  ! dpkg-deb -f "$(deb_of $n)" Depends | grep -qi gtk || fail "$n depends on GTK"
done
# Each module the pkg-config files require comes from libsnapkit-dev's own
# Depends (the one oracle here that is not just what we installed before).
dev_depends=$(dpkg-deb -f "$(deb_of libsnapkit-dev)" Depends)
for pc in snapkit-host snapkitD5 snapkitD4; do
  for m in $(pkg-config --print-requires "$pc" | awk '{print $1}'); do
    owner=$(dpkg -S "$(pkg-config --variable=pcfiledir "$m")/$m.pc" | cut -d: -f1)
    [ "$owner" = libsnapkit-dev ] || grep -qw -- "$owner" <<< "$dev_depends" ||
      fail "$pc.pc requires $m (from $owner), which libsnapkit-dev does not depend on"
  done
done

# view without the desktop package names the package to install.
said=$(env -u WAYLAND_DISPLAY DISPLAY=:4999 snapkit view http://127.0.0.1:9/ 2>&1) && fail "view ran"
grep -q 'snapkit-desktop package' <<< "$said" || fail "view without snapkit-desktop said: $said"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$(deb_of snapkit-desktop)" > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
# Now the backend loads by its soname; the display it is given does not exist.
said=$(env -u WAYLAND_DISPLAY DISPLAY=:4999 snapkit view http://127.0.0.1:9/ 2>&1) && fail "view ran"
grep -q 'The desktop backend cannot start' <<< "$said" || fail "view with snapkit-desktop said: $said"

# ---- the installed program and outside programs ------------------------------
step "outside programs against /usr"
[ "$(command -v snapkit)" = /usr/bin/snapkit ] || fail "snapkit is not /usr/bin/snapkit"
snapkit --version
man -w snapkit | grep -q '^/usr/share/man/man1/snapkit.1.gz$' || fail "man snapkit: $(man -w snapkit 2>&1)"

/usr/bin/python3 - "$work/in.png" <<'PY'
import sys
from PIL import Image
im = Image.new('RGB', (7, 5), (0x12, 0x34, 0x56))
im.putpixel((6, 4), (255, 255, 255))
im.save(sys.argv[1])
PY
expected="7x5 123456"
# No prefix, no LD_LIBRARY_PATH: everything comes from the system's paths.
cmake -S "$src/packaging/consumers" -B "$work/cmake" -DCMAKE_BUILD_TYPE=Release \
  > "$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "consumer configure"; }
cmake --build "$work/cmake" -j2 > "$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "consumer build"; }
for p in D5 D4; do
  [ -x "$work/cmake/load_png_${p,,}" ] || fail "find_package gave no snapkit::$p"
  got=$(env -u LD_LIBRARY_PATH "$work/cmake/load_png_${p,,}" "$work/in.png")
  [ "$got" = "$expected" ] || fail "find_package program ($p) printed '$got', not '$expected'"
  std=20; [ "$p" = D4 ] && std=17
  # shellcheck disable=SC2046
  g++ -std=c++$std -o "$work/pc_$p" "$src/packaging/consumers/load_png.cpp" \
    $(env -u PKG_CONFIG_PATH pkg-config --cflags --libs snapkit$p)
  got=$(env -u LD_LIBRARY_PATH "$work/pc_$p" "$work/in.png")
  [ "$got" = "$expected" ] || fail "pkg-config program ($p) printed '$got', not '$expected'"
done

step "snapkit capture examples/page.html"
snapkit capture "$src/examples/page.html" "$work/page.png" --size 320x240
/usr/bin/python3 - "$work/page.png" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert('RGB')
assert im.size == (320, 180), im.size
assert len(set(im.getdata())) > 8, 'the capture is nearly blank'
PY

# ---- purge ------------------------------------------------------------------
step "purging"
mapfile -t added < <(dpkg-query -W -f='${Package}\n' | sort | comm -13 "$out/packages-before" -)
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${added[@]}" > "$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get purge"; }
snapshot > "$out/files-after"
# A file that appeared meanwhile and belongs to a package is another
# program's install running beside us, not something we left.
left=$(comm -13 "$out/files-before" "$out/files-after" | while read -r f; do
  dpkg -S "$f" > /dev/null 2>&1 || echo "$f"
done)
lost=$(comm -23 "$out/files-before" "$out/files-after")
[ -z "$left" ] || fail "left behind after the purge:
$left"
[ -z "$lost" ] || fail "gone after the purge:
$lost"

step "done: packages in $out (${added[*]} installed and purged, nothing left behind)"
