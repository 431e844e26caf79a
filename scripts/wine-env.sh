# Shared by wine-run, with-wine and run-viewer (sourced, not run): which Wine to use, where a
# build keeps its prefix, and booting that prefix once.

# The loader that runs 32-bit programs, and 64-bit ones next to them in a WoW64 prefix.
qef_wine32_loader() {
    if [ -x /usr/lib/wine/wine ]; then
        echo /usr/lib/wine/wine
    else
        echo wine
    fi
}

# Whether BUILD holds 32-bit Windows programs: made with the i686 toolchain.
qef_build_is_32bit() {
    grep -q '^CMAKE_TOOLCHAIN_FILE:.*i686' "$1/CMakeCache.txt" 2>/dev/null
}

# qef_pick_wine [BUILD]: sets WINE (the loader) and WINESERVER (the server that belongs to it)
# unless already set. A 32-bit build gets the 32-bit loader, which boots its prefix as WoW64;
# the others get Debian's wine64 package, which has no `wine` on the PATH, only its own loader.
qef_pick_wine() {
    if [ -z "${WINE:-}" ]; then
        if [ -n "${1:-}" ] && qef_build_is_32bit "$1"; then
            WINE=$(qef_wine32_loader)
        elif [ -x /usr/lib/wine/wine64 ]; then
            WINE=/usr/lib/wine/wine64
        else
            WINE=wine
        fi
    fi
    if [ -z "${WINESERVER:-}" ]; then
        local loader dir
        loader=$(command -v "$WINE" || true)
        dir=$(dirname "${loader:-$WINE}")
        if [ -x "$dir/wineserver64" ]; then
            WINESERVER=$dir/wineserver64
        elif [ -x "$dir/wineserver" ]; then
            WINESERVER=$dir/wineserver
        else
            WINESERVER=wineserver
        fi
    fi
    export WINE WINESERVER
}

# Prints the build folder a file belongs to: the nearest folder above it with a CMakeCache.txt.
qef_find_build_dir() {
    local dir
    dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd -P) || return 1
    while [ "$dir" != "/" ]; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            printf '%s\n' "$dir"
            return 0
        fi
        dir=$(dirname "$dir")
    done
    return 1
}

# Boots WINEPREFIX unless that has been done. Parallel callers wait on one lock, so the prefix
# is booted once. The first registry value makes Wine draw its own window frames: without a
# window manager every hidden or destroyed top-level window would otherwise cost two seconds.
# The second stands a monospaced face in for the documents' default font, which this machine
# lacks; without it the dump's columns would not line up in a picture.
qef_boot_prefix() {
    local ready="$WINEPREFIX/.qef-booted-2"
    [ -f "$ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$ready" ] && exit 0
        echo "wine: booting $WINEPREFIX (once per build folder)" >&2
        if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1; then
            echo "wine: wineboot failed for $WINEPREFIX" >&2
            exit 1
        fi
        if ! "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >/dev/null 2>&1; then
            echo "wine: could not set the X11 driver's Managed value" >&2
            exit 1
        fi
        if ! "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Lucida Console' \
            /t REG_SZ /d 'DejaVu Sans Mono' /f >/dev/null 2>&1; then
            echo "wine: could not set the replacement font" >&2
            exit 1
        fi
        # The registry reaches the disk when the server ends.
        timeout 120 "$WINESERVER" -w || true
        touch "$ready"
    ) 9>"$WINEPREFIX.lock"
}
