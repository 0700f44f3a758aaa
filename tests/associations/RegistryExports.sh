# Sourced by tests/associations/RoundTrip.sh and tests/installer/InstallerTest.sh:
# the per-user classes and the browser's settings (and, for VERSION win2k or
# "machine", the machine-wide ones too) exported one file a key, and two such
# exports compared byte for byte. Needs winpath() and WINEPREFIX set.

# wine reg ARGS..., whose output goes to stdout. wine reg exits 1 both when
# the key or value is missing and when its run failed on the way (the loader,
# the server); only its message (on stdout) tells the two apart. A failed run
# is made again, so that no failure is ever read as a missing key: 0 when
# read, 1 when missing, 2 (and the messages on stderr) when three runs failed.
reg_read() {
    local attempt output
    output=$(mktemp)
    for attempt in 1 2 3; do
        if wine reg "$@" >"$output" 2>"$output.err"; then
            cat "$output"
            rm -f "$output" "$output.err"
            return 0
        fi
        if grep -q 'Unable to find' "$output" "$output.err"; then
            rm -f "$output" "$output.err"
            return 1
        fi
        sleep 0.5
    done
    echo "wine reg $1 $2 failed three times: $(cat "$output" "$output.err" | tr -d '\r')" >&2
    rm -f "$output" "$output.err"
    return 2
}

# The keys compared, one export file each ("absent" when the key is not
# there, "unread" when it could not be read: that never compares equal).
compared_keys() {
    echo 'HKCU\Software\Classes'
    echo 'HKCU\Software\Microsoft\Internet Explorer\Main'
    if [ "$1" = win2k ] || [ "$1" = machine ]; then
        echo 'HKLM\Software\Classes'
        echo 'HKLM\Software\Microsoft\Internet Explorer\Main'
    fi
}

export_keys() {  # VERSION FOLDER
    mkdir -p "$2"
    local n=0 key
    while read -r key; do
        n=$((n + 1))
        reg_read export "$key" "$(winpath "$2/$n.reg")" /y >/dev/null
        case $? in
        1) echo "absent $key" >"$2/$n.reg" ;;
        2) echo "unread $key" >"$2/$n.reg" ;;
        esac
    done < <(compared_keys "$1")
}

as_text() {  # an export (UTF-16) or an "absent" or "unread" marker, readable
    if head -c 6 "$1" | grep -qE '^(absent|unread)'; then cat "$1"; else iconv -f UTF-16 -t UTF-8 "$1"; fi
}

same_exports() {  # FOLDER FOLDER WHAT: byte for byte, with a readable diff when not
    local file ok=0
    for file in "$1"/*.reg; do
        cmp -s "$file" "$2/$(basename "$file")" && continue
        ok=1
        echo "  $3: $(as_text "$file" | grep -m1 -E '^\[|^absent|^unread') differs:"
        diff <(as_text "$file") <(as_text "$2/$(basename "$file")") | head -n 30 | sed 's/^/    /'
    done
    return $ok
}
