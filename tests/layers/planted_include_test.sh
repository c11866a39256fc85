#!/usr/bin/env bash
# The layer check must fail, naming file and line, on each kind of wrong include planted in a
# copy of the tree, and pass on the tree as it is.
# Usage: planted_include_test.sh CHECK_SCRIPT SRC_DIR
set -uo pipefail
check=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$check" "$src" >/dev/null || { echo "FAIL: the tree itself does not pass"; exit 1; }

# planted file | line planted | what the report must name
cases=(
    "model/normals.h|#include \"app/tform1.h\"|src/model/normals.h:[0-9]+: includes app/tform1.h"
    "base/texts.h|#include \"model/qxm_reader.h\"|src/base/texts.h:[0-9]+: includes model/qxm_reader.h"
    "project/recovery.cpp|#include \"session/session.h\"|src/project/recovery.cpp:[0-9]+: includes session/session.h"
    "morph/key_track.cpp|#include <QString>|src/morph/key_track.cpp:[0-9]+: includes <QString>"
    "export/progress.cpp|#include \"view/gl_view.h\"|src/export/progress.cpp:[0-9]+: includes view/gl_view.h"
    "controls/form2.cpp|#include \"app/tform1.h\"|src/controls/form2.cpp:[0-9]+: includes app/tform1.h"
)
failed=0
for entry in "${cases[@]}"; do
    IFS='|' read -r file planted expected <<<"$entry"
    rm -rf "$work/src"
    cp -r "$src" "$work/src"
    cp "$src/../CMakeLists.txt" "$work/"
    echo "$planted" >>"$work/src/$file"
    if output=$("$check" "$work/src" 2>&1); then
        echo "FAIL: $planted in $file passed the check"
        failed=1
    elif ! grep -qE "$expected" <<<"$output"; then
        echo "FAIL: $planted in $file: the report does not name it: $output"
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "every planted include was reported"
exit "$failed"
