#!/usr/bin/env bash
# End to end, as a person uses Pelmora: the real program under Xvfb with openbox, packages
# dragged from another X client, the boxes read through the keyboard and the clipboard, and
# message boxes read on the accessibility bus as a screen reader would, then closed with Enter.
# Usage (inside xvfb-run and dbus-run-session): EndToEndTest.sh PELMORA DRAG_SOURCE
set -euo pipefail
pelmora=$1
drag_source=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
background=()
cleanup() {
    kill "${background[@]}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }

# --- the desktop: accessibility bus, window manager --------------------------------------
# Window titles and clipboard text are compared as UTF-8, whatever locale the run came with.
export LC_ALL=C.UTF-8
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM
/usr/libexec/at-spi-bus-launcher --launch-immediately &
background+=($!)
openbox --startup "touch $work/openbox-ready" >/dev/null 2>&1 &
background+=($!)
for _ in $(seq 100); do [ -f "$work/openbox-ready" ] && break; sleep 0.1; done
[ -f "$work/openbox-ready" ] || fail "openbox did not start"

# --- helpers --------------------------------------------------------------------------------
make_package() { # PATH PACKAGE VERSION
    local source="$work/source-$2"
    mkdir -p "$source/res/values"
    cat >"$source/AndroidManifest.xml" <<MANIFEST
<?xml version="1.0" encoding="utf-8"?>
<manifest xmlns:android="http://schemas.android.com/apk/res/android"
    package="$2" android:versionCode="5" android:versionName="$3">
  <application android:label="@string/app_name"/>
</manifest>
MANIFEST
    echo '<resources><string name="app_name">端到端</string></resources>' \
        >"$source/res/values/strings.xml"
    aapt package -f -M "$source/AndroidManifest.xml" -S "$source/res" \
        -I /usr/share/android-framework-res/framework-res.apk -F "$1" >/dev/null
}

# The windows of a process, from the window manager's client list.
windows_of() { # PID
    local w
    for w in $(xprop -root _NET_CLIENT_LIST | sed -n 's/.*# //p' | tr -d ','); do
        [ "$(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}')" = "$1" ] && echo "$w"
    done
    return 0
}

first_window_of() { # PID
    local w
    for _ in $(seq 100); do
        w=$(windows_of "$1" | head -n 1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    fail "process $1 showed no window"
}

# Positions from xwininfo: under a reparenting window manager it counts the frame once.
geometry_of() { # WINDOW -> x y width height
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
                            /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}'
}

# Drags FILE from the drag source onto Pelmora. With MESSAGE, a message box must come up with
# that text; it is read and closed with Enter while the drop is still under way. The drag
# source's options are taken from drag_options; what the drop did to it lands in drag_result.
drag_options=()
drop() { # FILE [MESSAGE]
    "$drag_source" "${drag_options[@]}" "$1" >"$work/drag.out" &
    local source=$!
    local window x y w h tx ty
    window=$(first_window_of "$source")
    timeout 10 xdotool windowmove --sync "$window" 900 500 || true
    sleep 0.3
    read -r x y w h < <(geometry_of "$window")
    local sx=$((x + w / 2)) sy=$((y + h / 2))
    read -r x y w h < <(geometry_of "$pelmora_window")
    # A spot of the dialog below its boxes.
    tx=$((x + w / 2)) ty=$((y + h - 6))
    xdotool mousemove "$sx" "$sy"
    sleep 0.2
    xdotool mousedown 1
    for i in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove $((sx + (tx - sx) * i / 10)) $((sy + (ty - sy) * i / 10))
        sleep 0.05
    done
    # Qt loses a drop released without a pause over the target.
    sleep 0.3
    xdotool mouseup 1
    sleep 0.5
    if [ $# -gt 1 ]; then
        local message
        message=$(read_and_dismiss Pelmora)
        [ "$message" = "$2" ] || fail "the message reads \"$message\", expected \"$2\""
    fi
    for _ in $(seq 50); do [ -s "$work/drag.out" ] && break; sleep 0.1; done
    drag_result=$(cat "$work/drag.out")
    kill "$source" 2>/dev/null || true
    wait "$source" 2>/dev/null || true
}

# Reads a window's texts on the accessibility bus, then presses Enter to close it.
read_and_dismiss() { # TITLE
    local texts
    texts=$(timeout 30 /usr/bin/python3 "$here/read_accessible_window.py" Pelmora "$1" 20) ||
        fail "no window \"$1\" on the accessibility bus"
    xdotool key Return
    sleep 0.5
    echo "$texts"
}

# Each box as a person copies it: Tab to it, select all, copy, read the clipboard.
sentinel="(nothing copied)"
read_boxes() {
    timeout 10 xdotool windowactivate --sync "$pelmora_window" >/dev/null 2>&1 || true
    sleep 0.3
    local box value
    for box in path package md5 version; do
        printf '%s' "$sentinel" | xclip -selection clipboard -i >/dev/null 2>&1
        xdotool key --clearmodifiers ctrl+a ctrl+c
        sleep 0.3
        value=$(timeout 5 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null || true)
        [ "$value" = "$sentinel" ] && value=""
        printf '%s=%s\n' "$box" "$value"
        xdotool key Tab
        sleep 0.1
    done
}

expect_boxes() { # EXPECTED (four lines)
    local shown
    shown=$(read_boxes)
    [ "$shown" = "$1" ] || fail "$(printf 'the boxes show\n%s\nexpected\n%s' "$shown" "$1")"
}

# --- the test -------------------------------------------------------------------------------
good="$work/应用 包.apk"
make_package "$good" com.example.endtoend "2.5 beta"
good_md5=$(md5sum "$good" | cut -c1-32 | tr a-f A-F)
printf 'plain text' >"$work/notes.txt"
head -c 5000 /dev/urandom >"$work/damaged.apk"

start_pelmora() { # [ARGUMENTS...]
    "$pelmora" "$@" >"$work/pelmora.log" 2>&1 &
    pelmora_pid=$!
    background+=($pelmora_pid)
    pelmora_window=$(first_window_of "$pelmora_pid")
    timeout 10 xdotool windowmove --sync "$pelmora_window" 60 60 || true
}

stop_pelmora() {
    kill "$pelmora_pid" 2>/dev/null || true
    wait "$pelmora_pid" 2>/dev/null || true
}

start_pelmora
[ "$(xprop -id "$pelmora_window" WM_NAME)" = 'WM_NAME(UTF8_STRING) = "apk信息提取"' ] ||
    [[ "$(xprop -id "$pelmora_window" _NET_WM_NAME)" == *'"apk信息提取"' ]] ||
    fail "the window title is $(xprop -id "$pelmora_window" _NET_WM_NAME)"

step "a valid package shows all four values, the MD5 in capitals"
drop "$good"
expect_boxes "path=$good
package=com.example.endtoend
md5=$good_md5
version=2.5 beta"

cleared_but_version="path=
package=
md5=
version=2.5 beta"

step "a wrong extension: message, three boxes cleared, version kept"
drop "$work/notes.txt" "类型错误"
expect_boxes "$cleared_but_version"

step "a damaged package after a good one: message, version kept"
drop "$good"
drop "$work/damaged.apk" "apk类型已经损坏"
expect_boxes "$cleared_but_version"

step "a drag proposing a move is taken as a copy: the source keeps its file"
drag_options=(--propose-move)
drop "$good"
drag_options=()
[ "$drag_result" = copy ] || fail "the drag source was told \"$drag_result\", expected copy"
[ -f "$good" ] || fail "the dragged package is gone"
expect_boxes "path=$good
package=com.example.endtoend
md5=$good_md5
version=2.5 beta"

step "a package whose name is not UTF-8, dropped as raw URI bytes, shows its real values"
gbk_name=$(printf '\xc4\xe3\xba\xc3.apk') # "你好" in GBK
make_package "$work/$gbk_name" com.example.gbk "1.0 gbk"
gbk_md5=$(md5sum "$work/$gbk_name" | cut -c1-32 | tr a-f A-F)
drag_options=(--raw-uri)
drop "file://$work/%C4%E3%BA%C3.apk"
drag_options=()
shown=$(read_boxes)
[ "$(sed -n 2,4p <<<"$shown")" = "package=com.example.gbk
md5=$gbk_md5
version=1.0 gbk" ] || fail "the GBK-named package shows $shown"
[[ "$(head -n 1 <<<"$shown")" == "path=$work/"*$'\uFFFD'*".apk" ]] ||
    fail "the path box shows $(head -n 1 <<<"$shown")"

step "Ctrl+O opens the file dialog; a typed path and Enter inspect it"
other="$work/typed.apk"
make_package "$other" com.example.typed "7.0"
timeout 10 xdotool windowactivate --sync "$pelmora_window" >/dev/null 2>&1 || true
sleep 0.3
xdotool key ctrl+o
for _ in $(seq 50); do
    xdotool search --name '^打开 apk 文件$' >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool search --name '^打开 apk 文件$' >/dev/null 2>&1 || fail "no file dialog \"打开 apk 文件\""
sleep 0.5
xdotool type --delay 20 "$other"
xdotool key Return
sleep 1
expect_boxes "path=$other
package=com.example.typed
md5=$(md5sum "$other" | cut -c1-32 | tr a-f A-F)
version=7.0"

step "the context-menu key opens the window menu; its about item the about box"
timeout 10 xdotool windowactivate --sync "$pelmora_window" >/dev/null 2>&1 || true
xdotool key Menu
sleep 0.5
xdotool key a
about=$(read_and_dismiss "关于 Pelmora")
grep -qxF "apk信息提取工具，1.0 版" <<<"$about" || fail "the about box reads: $about"

step "the window menu's close item ends the program"
read -r x y w h < <(geometry_of "$pelmora_window")
xdotool mousemove $((x + 4)) $((y + h - 4)) click 3
sleep 0.5
xdotool key c
for _ in $(seq 50); do kill -0 "$pelmora_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pelmora_pid" 2>/dev/null && fail "pelmora is still running after close"
wait "$pelmora_pid" || fail "pelmora exited with $?: $(cat "$work/pelmora.log")"

step "pelmora FILE inspects the file once the window is up"
start_pelmora "$other"
sleep 1
expect_boxes "path=$other
package=com.example.typed
md5=$(md5sum "$other" | cut -c1-32 | tr a-f A-F)
version=7.0"
stop_pelmora
echo "PASS: end to end"
