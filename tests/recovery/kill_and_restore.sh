#!/usr/bin/env bash
# The recovery copy seen from outside: the real program on a display of its own, edits made
# with real mouse and key events, the program killed with SIGKILL, started again, the session
# restored and saved, and the saved project compared with the one the edits must give.
#
# Usage: kill_and_restore.sh SCENARIO WARPKIT STALL_LIBRARY EXAMPLES_FOLDER
#   restore            edits, a save, more edits, a kill; restored with the frame, the language
#                      and the save dialog's name of the killed session
#   kill_during_write  the kill comes while a recovery write is held between writing and
#                      renaming (STALL_LIBRARY): the old copy must survive whole and restore
#   decline_and_unreadable  copies left behind: one declined, one that cannot be read; both
#                      are kept aside and the start goes on
set -euo pipefail

scenario=$1
warpkit=$2
stall_library=$3
examples=$4

tmp=$(mktemp -d)
program_pid=
xvfb_pid=
finish() {
    local status=$?
    [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    if [ "$status" -eq 0 ]; then rm -rf "$tmp"; else echo "kept for a look: $tmp" >&2; fi
}
trap finish EXIT

fail() {
    echo "FAIL ($scenario): $*" >&2
    command -v import >/dev/null && import -window root "$tmp/failed.png" 2>/dev/null
    exit 1
}

# Polls a condition every tenth of a second for up to a minute: the machine may be busy.
poll() {
    for ((i = 0; i < 600; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}
wait_for() {
    local what=$1
    shift
    poll "$@" || fail "timed out waiting for $what"
}

# ---- a display of our own, so no other test's windows or pointer get in the way ----
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for "Xvfb" test -s "$tmp/display"
export DISPLAY=":$(head -1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
export XDG_STATE_HOME="$tmp/state"
export XDG_CONFIG_DIRS="$tmp/config"
state="$XDG_STATE_HOME/warpkit"
work="$tmp/work"
mkdir -p "$XDG_CONFIG_DIRS/Halvtorn" "$work"
printf '[path]\nmodeldata=%s\n' "$work" >"$XDG_CONFIG_DIRS/Halvtorn/Shapeforge.conf"

# ---- projects: the example head with smile, squash and twist as targets 1 to 3 ----
target_block() {  # slot object "frame weight ..."
    local keys=($3)
    printf 'Target%d\r\n%s/%s.qxm\r\n%s\r\nkeys: %d\r\n' "$1" "$examples" "$2" "$2" $((${#keys[@]} / 2))
    for ((i = 0; i < ${#keys[@]}; i += 2)); do printf '%s %s\r\n' "${keys[i]}" "${keys[i + 1]}"; done
    printf '\r\n'
}
project() {  # keys of targets 1, 2 and 3
    printf 'Tessel_Warp_Project_File_v01\r\nMax_Frame\r\n90\r\nSource_Object\r\n%s/head.qxm\r\nhead\r\n\r\n' "$examples"
    target_block 1 smile "$1"
    target_block 2 squash "$2"
    target_block 3 twist "$3"
    for k in 4 5 6 7 8; do printf 'Target%d\r\nNone\r\n\r\n' "$k"; done
}
smile="0 0.00 30 100.00 60 100.00 90 0.00"
smile_37="0 37.00 30 100.00 60 100.00 90 0.00"
squash="0 0.00 45 60.00 60 0.00"
twist="0 0.00 20 0.00 40 80.00 70 0.00"
project "$smile" "$squash" "$twist" >"$work/face.twp"
# after typing 37 into Edit1 at frame 0 (the first key takes the typed weight)
project "$smile_37" "$squash" "$twist" >"$tmp/expect_a.twp"
# after a key of 55 made for target 2 at the last frame
project "$smile_37" "$squash 90 55.00" "$twist" >"$tmp/expect_b.twp"
# after a key of 12.5 made for target 3 there too
project "$smile_37" "$squash 90 55.00" "$twist 90 12.50" >"$tmp/expect_c.twp"
# after 20 typed into Edit2 at the last frame, where target 2 has a key
project "$smile_37" "$squash 90 20.00" "$twist 90 12.50" >"$tmp/expect_d.twp"

# ---- driving the program ----
window_of() {  # the id of the shown window of this exact title
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 | grep .
}
focus() {  # waits for the window titled $1 and gives it the keyboard
    wait_for "the window \"$1\"" window_of "$1"
    xdotool windowfocus --sync "$(window_of "$1")"
}
start_program() {  # [VAR=value ...]
    env "$@" "$warpkit" >>"$tmp/program.log" 2>&1 &
    program_pid=$!
    wait_for "the main window" window_of Warpkit
}
kill_program() {
    kill -9 "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=
}
click() {  # x y in the main window's client area, below the menu bar
    local window height
    window=$(window_of Warpkit)
    height=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p')
    xdotool mousemove --window "$window" "$1" $(($2 + height - 378)) click 1
}
# Client-area centres of the controls of target k: the weight field and the key button.
edit_x=632 key_x=739
edit_y=(0 71 103 135) key_y=(0 70 101 134)
last_x=506 last_y=338
type_weight() {  # k text: types into Edit<k> and leaves it, which commits the weight
    click "$edit_x" "${edit_y[$1]}"
    sleep 0.3  # the field selects its text a moment after it takes the focus
    xdotool key ctrl+a
    xdotool type "$2"
    xdotool key Tab
}
save_as() {  # dialog title, file name (empty: accept the offered one)
    focus Warpkit
    xdotool key ctrl+s
    focus "$1"
    if [ -n "$2" ]; then xdotool type "$2"; fi
    xdotool key Return
}
load_project() {
    focus Warpkit
    xdotool key ctrl+l
    focus "プロジェクト読込み"
    xdotool type "$1"
    xdotool key Return
}
restore() {
    focus "セッションの復元 / Restore session"
    xdotool key Return
}
copies() { find "$state" -maxdepth 1 -name '*.twp' | grep .; }
copy_is() { [ "$(copies | wc -l)" -eq 1 ] && cmp -s "$(copies)" "$1"; }
no_copy() { ! copies; }
same() { cmp -s "$1" "$2"; }
expect_file() {  # file expected what
    poll same "$1" "$2" && return
    diff <(cat -A "$2") <(cat -A "$1" 2>&1) >&2 || true
    fail "$3"
}
running() { local stat; stat=$(ps -o stat= -p "$1") && [[ $stat != Z* ]]; }

case $scenario in
restore)
    start_program
    load_project "$work/face.twp"
    type_weight 1 37
    wait_for "a copy of the typed first key" copy_is "$tmp/expect_a.twp"
    click "$last_x" "$last_y"
    type_weight 2 55
    click "$key_x" "${key_y[2]}"
    wait_for "a copy of the key made" copy_is "$tmp/expect_b.twp"
    focus Warpkit
    xdotool key alt+v Down Down Right Down Return  # View > Language > English
    save_as "Save Project to File" "$work/saved.twp"
    expect_file "$work/saved.twp" "$tmp/expect_b.twp" "the first save"
    wait_for "the copy to go after the save" no_copy
    type_weight 3 12.5
    click "$key_x" "${key_y[3]}"
    wait_for "a copy of the key made after the save" copy_is "$tmp/expect_c.twp"
    kill_program

    start_program
    restore
    wait_for "the restored session's own copy" copy_is "$tmp/expect_c.twp"
    # still at the last frame: the typed weight goes to the key there
    type_weight 2 20
    wait_for "a copy of the restored session's edit" copy_is "$tmp/expect_d.twp"
    # English again, and the save dialog offers saved.twp in its folder
    rm "$work/saved.twp"
    save_as "Save Project to File" ""
    expect_file "$work/saved.twp" "$tmp/expect_d.twp" "the save after restoring"
    wait_for "the copy to go after the save" no_copy
    focus Warpkit
    xdotool key ctrl+q
    wait_for "the program to end" eval "! running $program_pid"
    status=0
    wait "$program_pid" || status=$?
    program_pid=
    [ "$status" -eq 1 ] || fail "Quit ended the program with status $status"
    leftovers=$(find "$state" -mindepth 1 | grep -v '/\.warpkit-save-' || true)
    [ -z "$leftovers" ] || fail "files left after Quit: $leftovers"
    ;;
kill_during_write)
    start_program STALL_RENAME_FOLDER="$state/" STALL_RENAME_SUFFIX=.twp STALL_RENAME_AT=2 \
        STALL_RENAME_MARKER="$tmp/stalled" LD_PRELOAD="$stall_library"
    load_project "$work/face.twp"
    type_weight 1 37
    wait_for "the first copy" copy_is "$tmp/expect_a.twp"
    click "$last_x" "$last_y"
    type_weight 2 55
    click "$key_x" "${key_y[2]}"
    wait_for "the second write to stall before its rename" test -e "$tmp/stalled"
    copy=$(copies)
    same "$copy" "$tmp/expect_a.twp" || fail "the copy changed before the rename"
    grep -lq '90 55.00' "$state"/.warpkit-save-* || fail "no complete new text waits to be renamed"
    kill_program
    same "$copy" "$tmp/expect_a.twp" || fail "the old copy did not survive the kill whole"

    start_program
    restore
    wait_for "the restored session's own copy" copy_is "$tmp/expect_a.twp"
    save_as "プロジェクトの保存" "$work/restored.twp"
    expect_file "$work/restored.twp" "$tmp/expect_a.twp" "the save after restoring"
    ;;
decline_and_unreadable)
    mkdir -p "$state"
    declined=20200101-000002-2-bbbbbb.twp unreadable=20200101-000001-1-aaaaaa.twp
    cp "$tmp/expect_a.twp" "$state/$declined"
    printf 'Tessel_Warp_Project_File_v01\r\nMax_Frame\r\nninety\r\n' >"$state/$unreadable"
    touch -d '2020-01-01 00:00:01' "$state/$unreadable"
    start_program
    focus "セッションの復元 / Restore session"
    xdotool key Escape
    wait_for "the declined copy to be kept" test -e "$state/kept/$declined"
    same "$state/kept/$declined" "$tmp/expect_a.twp" || fail "the declined copy changed"
    focus "セッションの復元 / Restore session"
    xdotool key Return
    wait_for "the unreadable copy to be kept" test -e "$state/kept/$unreadable"
    load_project "$work/face.twp"
    type_weight 1 37
    wait_for "a copy of this session alone" copy_is "$tmp/expect_a.twp"
    ;;
*)
    fail "unknown scenario"
    ;;
esac
echo "ok: $scenario"
