#!/usr/bin/env bash
# The Debian package `make deb` builds: exactly the installed tree under /usr,
# a stripped program, library dependencies worked out from it, no lintian
# error or warning. As root, also installs it with apt, runs it from the PATH
# and purges it again, leaving nothing behind. Needs no display.
# Usage: test_debian_package.sh <path-to-quorvel> <artifact-dir>
set -euo pipefail
program=$1
E2E_ARTIFACTS=${2:-/tmp}/debian_package
source "$(dirname "$0")/lib.sh"

readonly kSkipped=77
readonly kExpectedFiles=(
    /usr/bin/quorvel
    /usr/lib/quorvel/quorvel
    /usr/lib/quorvel/sprites32.gif
    /usr/lib/quorvel/tall15.bmp
    /usr/lib/quorvel/toolbar16.bmp
    /usr/share/applications/quorvel.desktop
    /usr/share/doc/quorvel/changelog.gz
    /usr/share/doc/quorvel/copyright
    /usr/share/icons/hicolor/128x128/apps/quorvel.png
    /usr/share/icons/hicolor/16x16/apps/quorvel.png
    /usr/share/icons/hicolor/256x256/apps/quorvel.png
    /usr/share/icons/hicolor/32x32/apps/quorvel.png
    /usr/share/icons/hicolor/48x48/apps/quorvel.png
    /usr/share/icons/hicolor/64x64/apps/quorvel.png
    /usr/share/man/man1/quorvel.1.gz
    /usr/share/metainfo/io.github.quorvel.Quorvel.metainfo.xml
)

build=$(dirname "$program")
[ -f "$build/CPackConfig.cmake" ] || { echo "SKIP: $program is not in a build folder, nothing to package"; exit $kSkipped; }
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed (make deps installs it)"; exit $kSkipped; }
done
trap e2e_cleanup EXIT
e2e_temp_home

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$E2E_WORK/package" >"$E2E_WORK/cpack.log" 2>&1 ||
    e2e_fail "cpack failed: $(tail -n 5 "$E2E_WORK/cpack.log")"
version=$("$program" --version | awk '{print $NF}')
deb=$E2E_WORK/package/quorvel_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || e2e_fail "no $(basename "$deb"): $(ls "$E2E_WORK/package")"

# Files and links only: the folders follow from them.
dpkg-deb -c "$deb" >"$E2E_WORK/listing"
awk '$1 !~ /^d/ {print $6}' "$E2E_WORK/listing" | sed 's|^\.||' | sort >"$E2E_WORK/contents"
printf '%s\n' "${kExpectedFiles[@]}" | sort >"$E2E_WORK/expected"
diff -u "$E2E_WORK/expected" "$E2E_WORK/contents" >"$E2E_WORK/contents.diff" ||
    e2e_fail "the package holds other files than the installed tree: $(cat "$E2E_WORK/contents.diff")"
grep -q ' ./usr/bin/quorvel -> ../lib/quorvel/quorvel$' "$E2E_WORK/listing" ||
    e2e_fail "/usr/bin/quorvel is not a relative link to the program"

dpkg-deb -x "$deb" "$E2E_WORK/root"
readelf -S "$E2E_WORK/root/usr/lib/quorvel/quorvel" >"$E2E_WORK/sections"
grep -q '\.debug_info' "$E2E_WORK/sections" &&
    e2e_fail "the packaged program keeps its debug information"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
    grep -q "\b$library\b" <<<"$depends" || e2e_fail "the package does not depend on $library: $depends"
done

# Errors and warnings fail; what remains at the pedantic levels is in the README.
lintian --fail-on error,warning "$deb" >"$E2E_WORK/lintian.log" 2>&1 ||
    e2e_fail "lintian: $(grep -E '^[EW]:' "$E2E_WORK/lintian.log")"

# Installing touches the machine itself: only as root, and never over a copy
# someone installed already.
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: not root, so apt install and purge were not tried; the package itself is right"
    exit $kSkipped
fi
if dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q installed; then
    echo "SKIP: quorvel is installed on this machine already; installing and purging were not tried"
    exit $kSkipped
fi
apt=(apt-get -o DPkg::Lock::Timeout=120 -y -q)
purge()
{
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge quorvel >>"$E2E_WORK/apt.log" 2>&1
}
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" >"$E2E_WORK/apt.log" 2>&1 || {
    purge || true
    e2e_fail "apt install failed: $(tail -n 5 "$E2E_WORK/apt.log")"
}
installed_ok=true
[ "$(PATH=/usr/bin:/bin command -v quorvel)" = /usr/bin/quorvel ] || installed_ok=false
[ "$(/usr/bin/quorvel --version)" = "$("$program" --version)" ] || installed_ok=false
purge || e2e_fail "apt purge failed: $(tail -n 5 "$E2E_WORK/apt.log")"
$installed_ok || e2e_fail "the installed package gives no working quorvel on the PATH"
for file in "${kExpectedFiles[@]}"; do
    [ ! -e "$file" ] && [ ! -L "$file" ] || e2e_fail "$file is left after apt purge"
done
for folder in /usr/lib/quorvel /usr/share/doc/quorvel; do
    [ ! -e "$folder" ] || e2e_fail "$folder is left after apt purge"
done
echo "PASS: the package holds the installed tree, stripped, with its dependencies; lintian is clean; apt installs and purges it"
