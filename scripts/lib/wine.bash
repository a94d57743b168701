# Sourced by the scripts that run Windows programs under Wine (wine-run, wine-com, test-windows): finds Wine,
# sets up the environment of the project's own Wine prefix and makes the prefix on first use.
# BRENWICK_WINEPREFIX chooses the prefix (default: ~/.cache/brenwick/wine).

# Wine's loader and server; the loader is empty when Wine is not installed.
brenwick_wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then
        brenwick_wine=$(command -v "$candidate")
        break
    fi
done
brenwick_wineserver="$(dirname "${brenwick_wine:-/usr/lib/wine/wine64}")/wineserver"
if [ ! -x "$brenwick_wineserver" ]; then
    brenwick_wineserver=$(command -v wineserver || echo wineserver)
fi

export WINEPREFIX="${BRENWICK_WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/brenwick/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko to offer, and no menu entries or file types written into the desktop's own settings.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
# The programs run here are console ones: without a display Wine opens no window (a prefix being made
# would otherwise show its progress box on a desktop, and on a machine without one look for an X server).
# The window's tests need one: BRENWICK_WINE_DISPLAY names the display they may use (scripts/test-windows
# starts an Xvfb for them).
unset DISPLAY WAYLAND_DISPLAY
if [ -n "${BRENWICK_WINE_DISPLAY:-}" ]; then
    export DISPLAY="$BRENWICK_WINE_DISPLAY"
fi

# Makes the prefix when it is not complete yet; several scripts may start at once, so one makes it while
# the others wait for it. Returns non-zero, with Wine's own messages, when it cannot be made.
brenwick_wine_prefix_ready() {
    local stamp="$WINEPREFIX/.brenwick-ready"
    [ -f "$stamp" ] && return 0
    if [ -z "$brenwick_wine" ]; then
        echo "Wine is not installed (run scripts/setup)" >&2
        return 127
    fi
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        if ! flock -w 600 9; then
            echo "the Wine prefix $WINEPREFIX is still being made by another program after 10 minutes" >&2
            exit 1
        fi
        [ -f "$stamp" ] && exit 0
        mkdir -p "$WINEPREFIX"
        # Wine refuses a prefix that belongs to another user (a root run in a user's home, for one).
        if [ "$(stat -c %u "$WINEPREFIX")" != "$(id -u)" ]; then
            echo "the Wine prefix $WINEPREFIX belongs to another user: set BRENWICK_WINEPREFIX" >&2
            exit 1
        fi
        log="$WINEPREFIX/.brenwick-wineboot.log"
        if ! timeout 300 "$brenwick_wine" wineboot --init >"$log" 2>&1; then
            cat "$log" >&2
            echo "wineboot --init failed or took more than 5 minutes" >&2
            exit 1
        fi
        # wineboot returns before the prefix is written out; the server's exit marks the end.
        status=0
        timeout 300 "$brenwick_wineserver" --wait || status=$?
        if [ "$status" -eq 124 ]; then
            echo "the Wine server did not finish the prefix within 5 minutes" >&2
            exit 1
        fi
        if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
            cat "$log" >&2
            echo "wineboot --init left no complete prefix in $WINEPREFIX" >&2
            exit 1
        fi
        touch "$stamp"
    ) 9>"$WINEPREFIX.lock"
}

# Starts Wine's server for the prefix when none runs, with no standard streams, and Wine's background
# programs with it: started by the program run next they would keep its output open (a pipe stays open
# for a second after the program ends). The server stays BRENWICK_WINE_LINGER seconds (default 3) after
# the last program, so that programs run one after another find it running.
brenwick_wine_session() {
    if "$brenwick_wineserver" -p"${BRENWICK_WINE_LINGER:-3}" </dev/null >/dev/null 2>&1; then
        timeout 60 "$brenwick_wine" wineboot </dev/null >/dev/null 2>&1 || true
    fi
}
