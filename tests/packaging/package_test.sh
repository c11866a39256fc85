#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from the build folder (into a scratch
# folder, so a package made by hand stays), its control file and contents, and its programs,
# entry and file types unpacked into a scratch root.
#
# Usage: package_test.sh BUILD_FOLDER CPACK
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/../support/shell_checks.sh"

"$2" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
deb=$(echo "$work"/out/warpkit_*.deb)
[ -f "$deb" ] || { echo "not one package: $deb" >&2; exit 1; }

# What no link shows (fonts, Qt's texts, platform plugin, GL driver), and some that links do.
depends=$(dpkg-deb -f "$deb" Depends)
for need in fonts-noto-cjk qt6-translations-l10n qt6-qpa-plugins libgl1-mesa-dri libqt6widgets6 \
    libc6; do
    [[ ", $depends," == *", $need"[\ ,]* ]] || fail "Depends lacks $need: $depends"
done

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort >"$work/files"
diff -u - "$work/files" >&2 <<'LIST' || fail "package contents differ"
./usr/bin/warpkit
./usr/bin/warpkit-export
./usr/share/applications/warpkit.desktop
./usr/share/doc/warpkit/README.md
./usr/share/doc/warpkit/docs/export.md
./usr/share/doc/warpkit/docs/formats.md
./usr/share/doc/warpkit/docs/hostile-files.md
./usr/share/doc/warpkit/docs/installing.md
./usr/share/doc/warpkit/docs/layout.md
./usr/share/doc/warpkit/docs/performance.md
./usr/share/doc/warpkit/docs/using.md
./usr/share/icons/hicolor/scalable/apps/warpkit.svg
./usr/share/mime/packages/warpkit.xml
LIST

dpkg -x "$deb" "$work/root"
share=$work/root/usr/share
version=$("$work/root/usr/bin/warpkit-export" --version) || fail "warpkit-export --version failed"
[ "$(env -u DISPLAY "$work/root/usr/bin/warpkit" --version)" = "${version/-export/}" ] ||
    fail "versions: $version and $(env -u DISPLAY "$work/root/usr/bin/warpkit" --version)"
desktop-file-validate "$share/applications/warpkit.desktop" || fail "desktop entry invalid"

# The file types compiled as the shared-mime-info trigger compiles them at install: the entry's
# types are the ones defined, a project is known by its name, an object file by its magic.
update-mime-database "$share/mime" >"$work/mime.log" 2>&1 || fail "MIME: $(cat "$work/mime.log")"
for type in application/x-warpkit-project model/x-qxm; do
    grep -q "^MimeType=.*$type;" "$share/applications/warpkit.desktop" || fail "entry lacks $type"
    [ -f "$share/mime/$type.xml" ] || fail "MIME database lacks $type"
done
grep -q ':application/x-warpkit-project:\*\.twp$' "$share/mime/globs2" || fail "no *.twp glob"
grep -aq 'QXM v91' "$share/mime/magic" || fail "no QXM magic"

finish "package $(basename "$deb") checked"
