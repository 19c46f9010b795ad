# Helpers for the scenarios' guest commands (sourced by run.sh in the share, the current
# folder). Every wait is bounded: a wait that runs out returns 1.

# note NAME TEXT: writes TEXT to NAME under another name first, so the host never reads half.
note() {
    printf '%s\n' "$2" > "$1.tmp" && mv "$1.tmp" "$1"
}

# wait_file NAME SECONDS: waits for the host (or a background job) to make NAME.
wait_file() {
    n=$(( $2 * 20 ))
    while [ ! -e "$1" ]; do
        n=$(( n - 1 ))
        [ "$n" -gt 0 ] || { echo "guest: no $1 within $2 s"; return 1; }
        sleep 0.05
    done
}

# wait_text FILE TEXT SECONDS: waits until FILE holds TEXT.
wait_text() {
    n=$(( $3 * 20 ))
    until grep -qF -- "$2" "$1" 2>/dev/null; do
        n=$(( n - 1 ))
        [ "$n" -gt 0 ] || { echo "guest: no '$2' in $1 within $3 s"; return 1; }
        sleep 0.05
    done
}

# by_path PORT: the /dev/serial/by-path link of the adapter in USB port PORT.
by_path() {
    ls /dev/serial/by-path/*-usb-0:"$1":1.0-port0 2>/dev/null
}

# note_published PORT NAME SECONDS: notes NAME, holding the entry's name, once an entry of
# the port directory leads to the adapter in USB port PORT.
note_published() {
    n=$(( $3 * 20 ))
    while :; do
        for entry in "$KOVIRW_PORT_DIR"/COM*; do
            case "$(readlink "$entry" 2>/dev/null)" in
                *-usb-0:"$1":1.0-port0) note "$2" "${entry##*/}"; return 0 ;;
            esac
        done
        n=$(( n - 1 ))
        [ "$n" -gt 0 ] || { echo "guest: USB port $1 not published within $3 s"; return 1; }
        sleep 0.05
    done
}
