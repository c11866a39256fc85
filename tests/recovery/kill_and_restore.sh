#!/usr/bin/env bash
# The recovery copy seen from outside: the real program on a display of its own, edits made
# with real mouse and key events, the program killed with SIGKILL, started again, the session
# restored and saved, and the saved project compared with the one the edits must give.
#
# Usage: kill_and_restore.sh SCENARIO WARPKIT STALL_LIBRARY EXAMPLES_FOLDER
#   restore            edits, a save, more edits, a second Warpkit beside the first that
#                      offers nothing, a kill; restored with the frame, the language and the
#                      save dialog's name of the killed session
#   kill_during_write  the kill comes while a recovery write is held between writing and
#                      renaming (STALL_LIBRARY): the old copy must survive whole and restore
#   decline_and_unreadable  copies left behind: one declined, one that cannot be read; both
#                      are kept aside and the start goes on
#   unreadable_copies  copies that are no regular files (a named pipe with a pipe for its side
#                      file, a link to /dev/zero) and one of random bytes: each is said and
#                      kept aside at once, and the program is used after
set -Eeuo pipefail

scenario=$1
warpkit=$2
stall_library=$3
examples=$4

tmp=$(mktemp -d)
program_pid=
second=
xvfb_pid=
finish() {  # every step may fail alone: the program may be gone already
    local status=$?
    for pid in $program_pid $second; do kill -9 "$pid" 2>/dev/null || true; done
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    if [ "$status" -eq 0 ]; then rm -rf "$tmp"; else echo "kept for a look: $tmp" >&2; fi
}
trap finish EXIT
trap 'fail "line $LINENO failed: $BASH_COMMAND"' ERR

fail() {
    echo "FAIL ($scenario): $*" >&2
    import -window root "$tmp/failed.png" 2>/dev/null || true
    exit 1
}

# Polls a condition every tenth of a second for up to a minute: the machine may be busy.
poll() {
    local i
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
# (-noreset: a server that resets when its last client is killed may not get its socket back)
# A server started at the same moment elsewhere may take the display number this one picked;
# this one then listens nowhere and the program would draw on the other's screen: start again.
# A server whose lock file has gone keeps its socket, and -displayfd picks its number again and
# again: later attempts take a number of their own choosing.
ours() {  # the display's socket is listened on by this script's server, within two seconds
    local number i
    number=$(head -1 "$tmp/display")
    for ((i = 0; i < 20; i++)); do
        if command -v ss >/dev/null; then
            ss -xlp | grep "/tmp/.X11-unix/X$number .*pid=$xvfb_pid," >/dev/null && return 0
        else
            grep -q 'server already running' "$tmp/xvfb.log" || return 0
        fi
        sleep 0.1
    done
    return 1
}
for attempt in 1 2 3 4 5; do
    rm -f "$tmp/display"
    if [ "$attempt" -le 2 ]; then
        exec 3>"$tmp/display"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
        xvfb_pid=$!
        exec 3>&-
        wait_for "Xvfb" test -s "$tmp/display"
    else
        number=$((RANDOM % 500 + 300))
        Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
        xvfb_pid=$!
        echo "$number" >"$tmp/display"
        poll test -S "/tmp/.X11-unix/X$number" || true
    fi
    ours && break
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
    [ "$attempt" -lt 5 ] || fail "no display of its own: $(cat "$tmp/xvfb.log")"
done
export DISPLAY=":$(head -1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
export XDG_STATE_HOME="$tmp/state"
export XDG_CONFIG_DIRS="$tmp/config"
state="$XDG_STATE_HOME/warpkit"
work="$tmp/work"
mkdir -p "$XDG_CONFIG_DIRS/Halvtorn" "$work"
printf '[path]\nmodeldata=%s\n' "$work" >"$XDG_CONFIG_DIRS/Halvtorn/Shapeforge.conf"

# ---- projects: the example head with smile, squash and twist as targets 1 to 3 ----
project() {  # keys of targets 1, 2 and 3, as "frame weight ..."
    printf 'Tessel_Warp_Project_File_v01\r\nMax_Frame\r\n90\r\nSource_Object\r\n%s/head.qxm\r\nhead\r\n\r\n' "$examples"
    local slot=1 object keys
    for object in smile squash twist; do
        keys=(${!slot})
        printf 'Target%d\r\n%s/%s.qxm\r\n%s\r\nkeys: %d\r\n' $slot "$examples" $object $object $((${#keys[@]} / 2))
        printf '%s %s\r\n' "${keys[@]}"
        printf '\r\n'
        slot=$((slot + 1))
    done
    for slot in 4 5 6 7 8; do printf 'Target%d\r\nNone\r\n\r\n' $slot; done
}
smile="30 100.00 60 100.00 90 0.00" squash="0 0.00 45 60.00 60 0.00" twist="0 0.00 20 0.00 40 80.00 70 0.00"
project "0 0.00 $smile" "$squash" "$twist" >"$work/face.twp"
# 37 typed into Edit1 at frame 0; a key of 55 made for target 2 at the last frame; one of 12.5
# for target 3 there; 20 typed into Edit2 there, where target 2 has a key
project "0 37.00 $smile" "$squash" "$twist" >"$tmp/expect_a.twp"
project "0 37.00 $smile" "$squash 90 55.00" "$twist" >"$tmp/expect_b.twp"
project "0 37.00 $smile" "$squash 90 55.00" "$twist 90 12.50" >"$tmp/expect_c.twp"
project "0 37.00 $smile" "$squash 90 20.00" "$twist 90 12.50" >"$tmp/expect_d.twp"

# ---- driving the program ----
window_of() {  # the id of the shown window of this exact title
    # (no "| head -1": with pipefail, a second match would fail the search through SIGPIPE)
    local ids
    ids=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null) || return 1
    [ -n "$ids" ] || return 1
    echo "${ids%%$'\n'*}"
}
focus_once() {
    local window
    window=$(window_of "$1") && timeout 5 xdotool windowfocus --sync "$window"
}
focus() {  # waits for the window titled $1 and gives it the keyboard
    wait_for "the window \"$1\" to take the keyboard" focus_once "$1"
}
start_program() {  # [VAR=value ...] [-- ARGUMENT ...]
    local settings=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do settings+=("$1"); shift; done
    [ $# -eq 0 ] || shift
    env "${settings[@]}" "$warpkit" "$@" >>"$tmp/program.log" 2>&1 &
    program_pid=$!
    wait_for "the main window" window_of Warpkit
}
kill_program() {
    kill -9 "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=
}
main_window() {  # its id; a search can fail for a moment while a dialog goes away
    local i
    for ((i = 0; i < 50; i++)); do
        window_of Warpkit && return 0
        sleep 0.1
    done
    return 1
}
click() {  # x y in the main window's client area, below the menu bar
    local window height
    window=$(main_window)
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
through_dialog() {  # shortcut, the dialog's title, a file name (empty: the one offered)
    focus Warpkit
    xdotool key "$1"
    focus "$2"
    if [ -n "$3" ]; then xdotool type "$3"; fi
    xdotool key Return
}
answer() {  # title key: answers the box of that title
    focus "$1"
    xdotool key "$2"
}
restored="セッションの復元 / Restore session"
copies() { find "$state" -maxdepth 1 -name '*.twp' | grep .; }
copy_is() { [ "$(copies | wc -l)" -eq 1 ] && cmp -s "$(copies)" "$1"; }
same() { cmp -s "$1" "$2"; }
running() { local stat; stat=$(ps -o stat= -p "$1") && [[ $stat != Z* ]]; }
# Nothing outside shows when a load has ended, and a click that comes before it finds the
# fields still disabled; so the first edit is typed again until its copy shows.
load_and_type_37() {
    local attempt i
    through_dialog ctrl+l "プロジェクト読込み" "$work/face.twp"
    for attempt in 1 2 3 4 5; do
        type_weight 1 37
        for ((i = 0; i < 100; i++)); do copy_is "$tmp/expect_a.twp" && return; sleep 0.1; done
    done
    fail "no copy of the typed first key"
}
first_edits() {  # ends with a write of expect_b asked for
    load_and_type_37
    click "$last_x" "$last_y"
    type_weight 2 55
    click "$key_x" "${key_y[2]}"
}

case $scenario in
restore)
    # A project opened as it is on disk has nothing to keep a copy of.
    start_program -- "$work/face.twp"
    sleep 3
    ! copies >/dev/null || fail "a copy of a session that is what its file holds"
    first_edits
    wait_for "a copy of the key made" copy_is "$tmp/expect_b.twp"
    focus Warpkit
    xdotool key alt+v Down Down Right Down Return  # View > Language > English
    through_dialog ctrl+s "Save Project to File" "$work/saved.twp"
    wait_for "the first save" same "$work/saved.twp" "$tmp/expect_b.twp"
    wait_for "the copy to go after the save" eval '! copies'
    type_weight 3 12.5
    click "$key_x" "${key_y[3]}"
    wait_for "a copy of the key made after the save" copy_is "$tmp/expect_c.twp"
    # a second Warpkit started now offers nothing: Quit ends it at once, no box in the way
    "$warpkit" >>"$tmp/program.log" 2>&1 &
    second=$!
    wait_for "the second program's lock" eval '[ "$(ls "$state"/*.lock | wc -l)" -eq 2 ]'
    wait_for "the second main window" eval "xdotool search --all --onlyvisible --pid $second --name '^Warpkit\$' | grep -q ."
    xdotool windowfocus --sync "$(xdotool search --all --onlyvisible --pid $second --name '^Warpkit$')"
    xdotool key ctrl+q
    wait_for "the second program to quit" eval "! running $second"
    wait "$second" || true
    second=
    copy_is "$tmp/expect_c.twp" || fail "the second program touched the first one's copy"
    kill_program
    # The lock of a session killed before its first copy: gone at the start that restores, as
    # the check after Quit below sees.
    sleep 0 &
    gone=$!
    wait "$gone"
    printf '%s\nwarpkit\n%s\n' "$gone" "$(uname -n)" >"$state/20200101-000000-$gone-cccccc.lock"
    start_program
    answer "$restored" Return
    wait_for "the restored session's own copy" copy_is "$tmp/expect_c.twp"
    type_weight 2 20  # still at the last frame, where target 2 has a key
    wait_for "a copy of the restored session's edit" copy_is "$tmp/expect_d.twp"
    rm "$work/saved.twp"  # English again, and the save dialog offers saved.twp in its folder
    through_dialog ctrl+s "Save Project to File" ""
    wait_for "the save after restoring" same "$work/saved.twp" "$tmp/expect_d.twp"
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
    first_edits
    wait_for "the second write to stall before its rename" test -e "$tmp/stalled"
    copy=$(copies)
    same "$copy" "$tmp/expect_a.twp" || fail "the copy changed before the rename"
    grep -lq '90 55.00' "$state"/.warpkit-save-* || fail "no complete new text waits to be renamed"
    kill_program
    same "$copy" "$tmp/expect_a.twp" || fail "the old copy did not survive the kill whole"
    start_program
    answer "$restored" Return
    wait_for "the restored session's own copy" copy_is "$tmp/expect_a.twp"
    through_dialog ctrl+s "プロジェクトの保存" "$work/restored.twp"
    wait_for "the save after restoring" same "$work/restored.twp" "$tmp/expect_a.twp"
    ;;
decline_and_unreadable)
    mkdir -p "$state"
    declined=20200101-000002-2-bbbbbb.twp unreadable=20200101-000001-1-aaaaaa.twp
    cp "$tmp/expect_a.twp" "$state/$declined"
    printf 'Tessel_Warp_Project_File_v01\r\nMax_Frame\r\nninety\r\n' >"$state/$unreadable"
    touch -d '2020-01-01 00:00:01' "$state/$unreadable"
    start_program
    answer "$restored" Escape
    wait_for "the declined copy to be kept" same "$state/kept/$declined" "$tmp/expect_a.twp"
    answer "$restored" Return  # the unreadable one is said
    wait_for "the unreadable copy to be kept" test -e "$state/kept/$unreadable"
    load_and_type_37
    ;;
unreadable_copies)
    mkdir -p "$state"
    pipe=20200101-000001-1-aaaaaa zero=20200101-000002-2-bbbbbb noise=20200101-000003-3-cccccc
    mkfifo "$state/$pipe.twp" "$state/$pipe.info"
    ln -s /dev/zero "$state/$zero.twp"
    head -c 4096 /dev/urandom >"$state/$noise.twp"
    start_program
    for i in 1 2 3; do answer "$restored" Return; done
    for id in $pipe $zero $noise; do
        wait_for "$id to be kept" test -L "$state/kept/$id.twp" -o -e "$state/kept/$id.twp"
    done
    test -p "$state/kept/$pipe.info" || fail "the pipe's side file was not kept with it"
    load_and_type_37
    ;;
*)
    fail "unknown scenario"
    ;;
esac
echo "ok: $scenario"
