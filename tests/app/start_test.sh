#!/usr/bin/env bash
# The program started as a user or a file manager starts it: help, version and mistakes answered
# without a display; a project, an object file, a missing file, a pipe, a device and a language
# opened in the window, seen through the program's start report (WARPKIT_START_REPORT).
#
# Usage: start_test.sh WARPKIT MAKE_EXAMPLE_PROJECT EXAMPLES_FOLDER
set -euo pipefail

warpkit=$(realpath "$1")
make_project=$2
examples=$(cd "$3" && pwd)

source "$(dirname "$0")/../support/shell_checks.sh"

# without_display STATUS ARGS...: Qt on X would abort without a display, so an answer here
# proves the window was never needed.
without_display() {
    local want=$1 status=0
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$warpkit" "$@" >"$work/out" 2>"$work/err" ||
        status=$?
    [ "$status" -eq "$want" ] || fail "warpkit $* exited $status, not $want: $(cat "$work/err")"
}

without_display 0 --help
grep -q "^Usage: warpkit \[--lang ja|en\] \[FILE\]$" "$work/out" || fail "--help: $(cat "$work/out")"
without_display 0 --version
grep -Eq "^warpkit [0-9]+\.[0-9]+\.[0-9]+$" "$work/out" || fail "--version: $(cat "$work/out")"
without_display 2 --lang de "$examples/head.qxm"
[ "$(cat "$work/err")" = $'warpkit: unknown language \'de\' (ja or en)\nTry \'warpkit --help\'.' ] &&
    [ ! -s "$work/out" ] || fail "bad language: $(cat "$work/out" "$work/err")"

# opens WANT_REPORT ARGS...: runs the program in the window with the report hook (every message
# answered with OK, then exit 0) and compares the report, the drawn pixel count put as
# "drawn some" or "drawn 0".
opens() {
    local want=$1 status=0
    shift
    (cd "$work" && WARPKIT_START_REPORT="$work/report" timeout 60 "$warpkit" "$@") \
        >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq 0 ] || fail "warpkit $* exited $status: $(cat "$work/err")"
    local got
    got=$(sed -E 's/^drawn [1-9][0-9]*$/drawn some/' "$work/report" 2>/dev/null || true)
    [ "$got" = "$want" ] || fail "warpkit $*: report"$'\n'"$got"$'\n'"instead of"$'\n'"$want"
    rm -f "$work/report"
}

"$make_project" "$examples" "$work/face.twp"
cp "$examples/head.qxm" "$work/head.qxm"

opens $'language ja\nsource none\ntargets 0\nmodified 0\ndrawn 0'
opens $'language ja\nsource head\ntargets 0\nmodified 1\ndrawn some' head.qxm
opens $'language en\nsource head\ntargets 3\nmodified 0\ndrawn some' --lang en "$work/face.twp"
opens $'language ja\nsource head\ntargets 0\nmodified 1\ndrawn some\nchoose オブジェクトの選択: head, smile, squash, twist' \
    "$examples/expressions.qxm"
opens $'language en\nsource none\ntargets 0\nmodified 0\ndrawn 0\nmessage Project load error: The project file '"$work"'/gone.twp cannot be loaded: the file cannot be opened: No such file or directory' \
    gone.twp --lang=en
opens $'language ja\nsource none\ntargets 0\nmodified 0\ndrawn 0\nmessage ファイルを開けません: オブジェクトファイル '"$work"'/gone.qxm を開けません：No such file or directory' \
    ./gone.qxm
# a named pipe or a device is refused at once, never waited on
mkfifo "$work/pipe.twp"
ln -s /dev/zero "$work/zero.qxm"
opens $'language en\nsource none\ntargets 0\nmodified 0\ndrawn 0\nmessage Project load error: The project file '"$work"'/pipe.twp cannot be loaded: the file cannot be read: not a regular file' \
    pipe.twp --lang=en
opens $'language ja\nsource none\ntargets 0\nmodified 0\ndrawn 0\nmessage ファイルを開けません: オブジェクトファイル '"$work"'/zero.qxm を開けません：通常のファイルではありません' \
    zero.qxm

finish "all start checks passed"
