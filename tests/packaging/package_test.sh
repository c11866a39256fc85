#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from the build folder (into a scratch
# folder, so a package made by hand stays), its control file, its contents, and its programs
# run from a scratch root it is unpacked into.
#
# Usage: package_test.sh BUILD_FOLDER CPACK
set -euo pipefail

build=$(cd "$1" && pwd)
cpack=$2

source "$(dirname "$0")/../support/shell_checks.sh"

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
debs=("$work"/out/warpkit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single package: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

# What no link shows (fonts, translations, platform plugin, GL driver) and what the links do.
depends=$(dpkg-deb -f "$deb" Depends)
for need in fonts-noto-cjk qt6-translations-l10n qt6-qpa-plugins libgl1-mesa-dri \
    libqt6widgets6 libqt6openglwidgets6 "libglu1-mesa | libglu1" libc6; do
    [[ ", $depends," == *", $need"[\ ,]* ]] || fail "Depends lacks $need: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = warpkit ] || fail "package name: $(dpkg-deb -f "$deb" Package)"

# Exactly these files, all under /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
printf '%s\n' ./usr/bin/warpkit ./usr/bin/warpkit-export \
    ./usr/share/applications/warpkit.desktop ./usr/share/doc/warpkit/README.md \
    ./usr/share/icons/hicolor/scalable/apps/warpkit.svg ./usr/share/mime/packages/warpkit.xml |
    sort >"$work/expected"
diff -u "$work/expected" "$work/files" >&2 || fail "package contents differ"

root=$work/root
dpkg -x "$deb" "$root"
version=$("$root/usr/bin/warpkit-export" --version) || fail "warpkit-export --version failed"
[[ "$version" =~ ^warpkit-export\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "warpkit-export: $version"
[ "$(env -u DISPLAY "$root/usr/bin/warpkit" --version)" = "${version/-export/}" ] ||
    fail "warpkit and warpkit-export report different versions"

share=$root/usr/share
desktop-file-validate "$share/applications/warpkit.desktop" || fail "desktop entry invalid"
grep -qx 'Exec=warpkit %f' "$share/applications/warpkit.desktop" || fail "entry does not open a file"
# The file types, compiled as the shared-mime-info trigger compiles them at install: the
# entry's types must be the ones defined, a project known by name, an object file by magic.
update-mime-database "$share/mime" >"$work/mime.log" 2>&1 || fail "MIME: $(cat "$work/mime.log")"
for type in application/x-warpkit-project model/x-qxm; do
    grep -q "^MimeType=.*$type;" "$share/applications/warpkit.desktop" || fail "entry lacks $type"
    [ -f "$share/mime/${type}.xml" ] || fail "MIME database lacks $type"
done
grep -q ':application/x-warpkit-project:\*\.twp$' "$share/mime/globs2" || fail "no *.twp glob"
grep -aq 'model/x-qxm' "$share/mime/magic" && grep -aq 'QXM v91' "$share/mime/magic" ||
    fail "no QXM magic"

finish "package $(basename "$deb") checked"
