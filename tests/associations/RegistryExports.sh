# Sourced by tests/associations/RoundTrip.sh and tests/installer/InstallerTest.sh:
# the per-user classes and the browser's settings (and, for VERSION win2k or
# "machine", the machine-wide ones too) exported one file a key, and two such
# exports compared byte for byte. Needs winpath() and WINEPREFIX set.

# The keys compared, one export file each ("absent" when the key is not there).
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
        wine reg export "$key" "$(winpath "$2/$n.reg")" /y >/dev/null 2>&1 || echo "absent $key" >"$2/$n.reg"
    done < <(compared_keys "$1")
}

as_text() {  # an export (UTF-16) or an "absent" marker, readable
    if head -c 6 "$1" | grep -q '^absent'; then cat "$1"; else iconv -f UTF-16 -t UTF-8 "$1"; fi
}

same_exports() {  # FOLDER FOLDER WHAT: byte for byte, with a readable diff when not
    local file ok=0
    for file in "$1"/*.reg; do
        cmp -s "$file" "$2/$(basename "$file")" && continue
        ok=1
        echo "  $3: $(as_text "$file" | grep -m1 -E '^\[|^absent') differs:"
        diff <(as_text "$file") <(as_text "$2/$(basename "$file")") | head -n 30 | sed 's/^/    /'
    done
    return $ok
}
