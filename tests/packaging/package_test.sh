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
./usr/share/doc/warpkit/changelog.gz
./usr/share/doc/warpkit/copyright
./usr/share/doc/warpkit/docs/export.md
./usr/share/doc/warpkit/docs/formats.md
./usr/share/doc/warpkit/docs/hostile-files.md
./usr/share/doc/warpkit/docs/installing.md
./usr/share/doc/warpkit/docs/layout.md
./usr/share/doc/warpkit/docs/performance.md
./usr/share/doc/warpkit/docs/using.md
./usr/share/icons/hicolor/scalable/apps/warpkit.svg
./usr/share/man/man1/warpkit-export.1.gz
./usr/share/man/man1/warpkit.1.gz
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

# Debian's own checks: no error and no warning, and every informational tag explained in
# docs/installing.md. The test command installs lintian (scripts/setup.sh); without it, say so.
if command -v lintian >/dev/null; then
    lintian --display-info --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.log")"
    for tag in $(sed -n 's/^I: warpkit[^:]*: \([^ ]*\).*/\1/p' "$work/lintian.log" | sort -u); do
        grep -q -- "$tag" "$(dirname "$0")/../../docs/installing.md" ||
            fail "lintian tag $tag is not explained in docs/installing.md"
    done
else
    echo "lintian not installed (scripts/setup.sh installs it): Debian's checks skipped" >&2
fi

# What lintian only notes: the hardening the programs are built with (checked calls, canaries,
# relocations read-only at load) and no compiler notes; the manual pages are the programs' own.
for program in warpkit warpkit-export; do
    # Whole, not piped into grep -q, which would end readelf early and fail the pipe.
    elf=$(readelf -W --sections --dynamic --segments --dyn-syms "$work/root/usr/bin/$program")
    [[ $elf == *" .comment "* ]] && fail "$program keeps its .comment section"
    [[ $elf == *BIND_NOW* ]] || fail "$program is not linked with -z now"
    [[ $elf == *GNU_RELRO* ]] || fail "$program is not linked with -z relro"
    [[ $elf == *__stack_chk_fail@* ]] || fail "$program has no stack canaries"
    [[ $elf =~ __[a-z]+_chk@ ]] || fail "$program has no checked calls"
    page=$(gzip -dc "$share/man/man1/$program.1.gz")
    [[ $page == *$'\n'"$program \\- "* ]] || fail "the manual page of $program lacks its NAME line"
done
[[ $(gzip -dc "$share/doc/warpkit/changelog.gz") == "warpkit (${version##* }) "* ]] ||
    fail "the changelog's first entry is not version ${version##* }"

finish "package $(basename "$deb") checked"
