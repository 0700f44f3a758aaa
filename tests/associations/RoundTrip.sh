#!/bin/bash
# tests/associations/RoundTrip.sh [--kill-every-change] BUILD_DIR [STATE...]
#
# The acceptance test of the takeover: for each starting state under
# states/ (all of them by default), in a prefix of its own made from a
# template prefix, export the per-user classes and the browser's settings
# (and the machine-wide ones on Windows 2000), run "Quillet.exe -INSTALL",
# check the wrapped commands and the save records (RoundTripCheck.exe),
# run "Quillet.exe -UNINSTALL", export again and compare byte for byte. Only
# the values "FileName", "Folder" and "Key" of the product's main key may
# stay behind. Runs inside tools/wine-session (ctest does), but its prefixes
# have wineservers of their own, ended before it returns.
#
# With --kill-every-change, each state instead has "-INSTALL" and
# "-UNINSTALL" ended after their first, second, ... registry change up to
# the last, each followed by what a user would run next ("-INSTALL" and
# "-UNINSTALL", or "-UNINSTALL" again), and the registry compared with the
# start (RoundTripKill.exe). Prints the table of states and kill
# points, and how many ended identical.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
kill_run=0
[ "${1:-}" = --kill-every-change ] && { kill_run=1; shift; }
[ $# -ge 1 ] || { echo "usage: $0 [--kill-every-change] BUILD_DIR [STATE...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
[ -n "${DISPLAY:-}" ] || { echo "round trip: no display; run inside tools/wine-session" >&2; exit 2; }

quillet=$build/bin/Quillet.exe
check=$build/tests/RoundTripCheck.exe
kill=$build/tests/RoundTripKill.exe
standin=$build/standin/iexplore.exe
work=$build/wine/roundtrip
template=$work/template
prefix=$work/prefix
for file in "$quillet" "$check" "$standin" $([ $kill_run = 1 ] && echo "$kill"); do
    [ -f "$file" ] || { echo "round trip: $file is missing (build first)" >&2; exit 2; }
done

export WINEARCH=${WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
quillet_win=$(winpath "$quillet")

stop_server() { WINEPREFIX=$1 wineserver -k >/dev/null 2>&1; WINEPREFIX=$1 wineserver -w >/dev/null 2>&1; }
trap 'stop_server "$prefix"; stop_server "$template"' EXIT

# The template: a new XP prefix with the stand-in and the browser's registry
# data, made once and again only when that data or Wine changes.
stamp=$( (wine --version; sha1sum "$source_dir/tests/standin/xp-internet-explorer.reg" "$standin") | sha1sum)
make_template() {
    [ "$(cat "$template/.stamp" 2>/dev/null)" = "$stamp" ] && return 0
    echo "round trip: preparing the template prefix (once)"
    stop_server "$template"
    rm -rf "$template" "$prefix"
    mkdir -p "$template"
    (
        export WINEPREFIX=$template
        wineboot -i >"$work/wineboot.log" 2>&1 &&
        wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f &&
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
        mkdir -p "$template/drive_c/Program Files/Internet Explorer" &&
        cp -f "$standin" "$template/drive_c/Program Files/Internet Explorer/iexplore.exe" &&
        "$source_dir/tools/load-browser-registry"
    ) >/dev/null || { echo "round trip: the template prefix could not be made" >&2; return 1; }
    stop_server "$template"
    echo "$stamp" >"$template/.stamp"
}

# A fresh prefix: the template's registry over a hard-linked copy of its
# drive (the states differ in the registry only).
fresh_prefix() {
    stop_server "$prefix"
    if [ "$(cat "$prefix/.stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$prefix"
        mkdir -p "$prefix"
        cp -al "$template/drive_c" "$prefix/drive_c"
        cp -a "$template/dosdevices" "$prefix/"
        cp "$template/.stamp" "$prefix/.stamp"
    fi
    cp "$template"/*.reg "$template/.update-timestamp" "$prefix/"
    WINEPREFIX=$prefix wineserver -p
}

# export_keys and same_exports: the comparison of the classes, shared with
# the setup program's test.
source "$here/RegistryExports.sh"

# Value names of KEY, one a line (empty when the key is missing).
value_names() {
    reg_read query "$1" | tr -d '\r' | sed -n 's/^    \(.*\)    REG_[A-Z_]*    .*$/\1/p;s/^    \(.*\)    REG_[A-Z_]*$/\1/p'
}

product_left_over() {  # ROOT MAINVALUESBEFORE: what the product leaves beyond its main key's three values
    local root=$1 before=$2 name problems=""
    reg_read query "$root\\SOFTWARE\\Orvane\\Quillet\\Save" >/dev/null && problems+=" the save area is still there;"
    local subkeys
    subkeys=$(reg_read query "$root\\SOFTWARE\\Orvane\\Quillet" | tr -d '\r' | grep -i '^HKEY.*\\Quillet\\' | grep -vi '\\Main$')
    [ -n "$subkeys" ] && problems+=" other keys: $subkeys;"
    while read -r name; do
        [ -z "$name" ] && continue
        case "$name" in FileName|Folder|Key) continue ;; esac
        grep -qxF "$name" <<<"$before" || problems+=" value $name stays in the main key;"
    done < <(value_names "$root\\SOFTWARE\\Orvane\\Quillet\\Main")
    echo "$problems"
}

run_state() {
    local dir=$1 name version expected_exit out status failures=()
    name=$(basename "$dir")
    out=$work/states/$name
    rm -rf "$out"
    mkdir -p "$out"
    version=$(cat "$dir/version" 2>/dev/null || echo winxp)
    expected_exit=$(cat "$dir/install-exit" 2>/dev/null || echo 0)

    # What -UNINSTALL must leave: the start, and the items another browser
    # took after the install left to it.
    local want=$out/before
    if [ -f "$dir/after-install.reg" ]; then
        fresh_prefix
        export WINEPREFIX=$prefix
        [ -f "$dir/state.reg" ] && "$source_dir/tools/load-browser-registry" "$dir/state.reg"
        "$source_dir/tools/load-browser-registry" "$dir/after-install.reg"
        export_keys "$version" "$out/chosen-before"
        want=$out/chosen-before
    fi
    fresh_prefix
    export WINEPREFIX=$prefix
    wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
    [ -f "$dir/state.reg" ] && "$source_dir/tools/load-browser-registry" "$dir/state.reg"
    local roots=(HKCU)
    [ "$version" = win2k ] && roots+=(HKLM)
    local main_before=()
    for root in "${roots[@]}"; do
        main_before+=("$(value_names "$root\\SOFTWARE\\Orvane\\Quillet\\Main")")
    done
    export_keys "$version" "$out/before"
    wine "$check" expect "$quillet_win" "$(winpath "$out/expected.txt")" \
        $([ "$version" = win2k ] && echo win2k) >/dev/null 2>&1
    # A copy moved to another folder and renamed: its expectations are
    # worked out from the same start.
    local program=$quillet
    if [ -f "$dir/moved" ]; then
        rm -rf "$work/moved"
        mkdir -p "$work/moved/Elsewhere"
        cp "$(dirname "$quillet")"/*.dll "$work/moved/Elsewhere/"
        cp "$quillet" "$work/moved/Elsewhere/QuilletMoved.exe"
        program=$work/moved/Elsewhere/QuilletMoved.exe
        wine "$check" expect "$(winpath "$program")" "$(winpath "$out/expected-moved.txt")" \
            $([ "$version" = win2k ] && echo win2k) >/dev/null 2>&1
    fi

    timeout 60 wine "$quillet" -INSTALL >/dev/null 2>&1
    status=$?
    [ "$status" = "$expected_exit" ] || failures+=("-INSTALL exited $status, want $expected_exit")
    if [ "$expected_exit" != 0 ]; then
        export_keys "$version" "$out/installed"
        same_exports "$out/before" "$out/installed" "-INSTALL changed" >>"$out/details.txt" \
            || failures+=("-INSTALL changed the registry")
        reg_read query 'HKCU\SOFTWARE\Orvane\Quillet\Save' >/dev/null && failures+=("-INSTALL left a save area")
    else
        wine "$check" verify "$(winpath "$out/expected.txt")" >"$out/verify.txt" 2>&1 \
            || failures+=("the takeover is not what it should be: $(grep -c FAIL "$out/verify.txt") mismatches")
        sed -n 's/^FAIL: /  /p' "$out/verify.txt" | head -n 20 >>"$out/details.txt"
        if [ -f "$dir/install-twice" ]; then
            export_keys "$version" "$out/installed"
            reg_read export 'HKCU\SOFTWARE\Orvane' "$(winpath "$out/installed-product.reg")" /y >/dev/null
            timeout 60 wine "$quillet" -INSTALL >/dev/null 2>&1
            status=$?
            [ "$status" = 0 ] || failures+=("the second -INSTALL exited $status, want 0")
            export_keys "$version" "$out/installed-twice"
            reg_read export 'HKCU\SOFTWARE\Orvane' "$(winpath "$out/installed-twice-product.reg")" /y >/dev/null
            same_exports "$out/installed" "$out/installed-twice" "the second -INSTALL changed" >>"$out/details.txt" \
                || failures+=("the second -INSTALL changed the associations")
            cmp -s "$out/installed-product.reg" "$out/installed-twice-product.reg" \
                || failures+=("the second -INSTALL changed the save area or settings")
        fi
        if [ -f "$dir/after-install.reg" ]; then
            # Another browser made the handler (per user, as browsers do),
            # then the setup runs again, as an update does.
            "$source_dir/tools/load-browser-registry" "$dir/after-install.reg"
            export_keys "$version" "$out/chosen"
            timeout 60 wine "$quillet" -INSTALL >/dev/null 2>&1
            status=$?
            [ "$status" = 0 ] || failures+=("-INSTALL over another browser's later choice exited $status, want 0")
            export_keys "$version" "$out/reinstalled"
            same_exports "$out/chosen" "$out/reinstalled" "-INSTALL over another browser's later choice changed" \
                >>"$out/details.txt" || failures+=("-INSTALL took items back from the other browser")
            local held
            held=$(tr '\r' '\n' <"$(dirname "$quillet")/ErrorBrowser.log" | grep -c '^Held by another program ( ')
            [ "$held" = "$(cat "$dir/held")" ] || failures+=("ErrorBrowser.log names $held held items, want $(cat "$dir/held")")
        fi
        if [ -f "$dir/moved" ]; then
            timeout 60 wine "$program" -INSTALL >/dev/null 2>&1
            status=$?
            [ "$status" = 0 ] || failures+=("-INSTALL of the moved copy exited $status, want 0")
            wine "$check" verify "$(winpath "$out/expected-moved.txt")" >"$out/verify-moved.txt" 2>&1 \
                || failures+=("the moved copy's takeover is not what it should be: $(grep -c FAIL "$out/verify-moved.txt") mismatches")
            sed -n 's/^FAIL: /  /p' "$out/verify-moved.txt" | head -n 20 >>"$out/details.txt"
        fi
        timeout 60 wine "$program" -UNINSTALL >/dev/null 2>&1
        status=$?
        [ "$status" = 0 ] || failures+=("-UNINSTALL exited $status, want 0")
        export_keys "$version" "$out/restored"
        same_exports "$want" "$out/restored" "after -UNINSTALL" >>"$out/details.txt" \
            || failures+=("-UNINSTALL did not give back what -INSTALL found")
        local i=0 left
        for root in "${roots[@]}"; do
            left=$(product_left_over "$root" "${main_before[$i]}")
            [ -n "$left" ] && failures+=("$root:$left")
            i=$((i + 1))
        done
    fi
    stop_server "$prefix"
    unset WINEPREFIX

    if [ ${#failures[@]} -eq 0 ]; then
        echo "PASS $name: $(cat "$dir/about" 2>/dev/null)"
        return 0
    fi
    echo "FAIL $name: $(cat "$dir/about" 2>/dev/null)"
    printf '  - %s\n' "${failures[@]}"
    cat "$out/details.txt" 2>/dev/null
    return 1
}

# One row of the kill run's table: the state's install and uninstall kill
# points and how many of each recovered to the starting state.
kill_state() {
    local dir=$1 name version out row
    name=$(basename "$dir")
    out=$work/states/$name
    rm -rf "$out"
    mkdir -p "$out"
    version=$(cat "$dir/version" 2>/dev/null || echo winxp)
    fresh_prefix
    export WINEPREFIX=$prefix
    wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
    [ -f "$dir/state.reg" ] && "$source_dir/tools/load-browser-registry" "$dir/state.reg"
    wine "$kill" "$quillet_win" $([ "$version" = win2k ] && echo win2k) >"$out/kills.txt" 2>&1
    local judged=$?
    stop_server "$prefix"
    unset WINEPREFIX
    row=$(sed -n 's/^ROW //p' "$out/kills.txt" | tr -d '\r')
    [ -n "$row" ] || row="0 0 0 0"
    set -- $row
    printf '%-28s %8s %10s %10s %10s\n' "$name" "$1" "$2" "$3" "$4"
    grep -v '^ROW ' "$out/kills.txt" | head -n 40
    kill_totals=($((kill_totals[0] + $1)) $((kill_totals[1] + $2)) $((kill_totals[2] + $3)) $((kill_totals[3] + $4)))
    [ "$1" = "$2" ] && [ "$3" = "$4" ] && grep -q '^ROW ' "$out/kills.txt" && [ "$judged" = 0 ]
}

mkdir -p "$work"
make_template || exit 1
if [ $kill_run = 1 ]; then
    states=("$@")
    [ ${#states[@]} -eq 0 ] && states=($(ls "$here/states" | grep -v '\.md$'))
    kill_totals=(0 0 0 0)
    failed=0
    started=$SECONDS
    if [ "${QUILLET_KILL_STRIDE:-1}" -le 1 ]; then
        echo "kill run: every change of each action"
    else
        echo "kill run: every ${QUILLET_KILL_STRIDE}th change, and the first and last, of each action"
    fi
    printf '%-28s %8s %10s %10s %10s\n' state install identical uninstall identical
    for state in "${states[@]}"; do
        kill_state "$here/states/$state" || failed=$((failed + 1))
    done
    printf '%-28s %8s %10s %10s %10s\n' total "${kill_totals[@]}"
    echo "kill run: ${#states[@]} states, $((kill_totals[0] + kill_totals[2])) kill points," \
         "$((kill_totals[1] + kill_totals[3])) identical, $failed states failed, $((SECONDS - started)) s"
    [ $failed -eq 0 ]
    exit
fi
states=("$@")
[ ${#states[@]} -eq 0 ] && states=($(ls "$here/states" | grep -v '\.md$'))
failed=0
for state in "${states[@]}"; do
    run_state "$here/states/$state" || failed=$((failed + 1))
done
echo "round trip: ${#states[@]} states, $failed failed"
[ $failed -eq 0 ]
