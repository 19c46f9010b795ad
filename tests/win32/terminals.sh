# Eight native simulated terminals for the programs under wine (sourced by the end-to-end
# scripts): termsim publishes COM1 to COM8 in WORK/ports and writes what they receive to
# WORK/flash; each is linked into the prefix as the lowercase dosdevices/comN.
#   terminals_start TERMSIM WORK [TERMSIM OPTIONS...]   (sets terminals_pid)
#   terminals_stop WORK                                  (removes only its own links)
terminals_pid=
terminals_start() {
  local termsim=$1 work=$2 n
  shift 2
  mkdir -p "$work/ports" "$work/flash"
  "$termsim" --count 8 --first-com 1 --port-dir "$work/ports" --flash-dir "$work/flash" "$@" \
    >"$work/termsim.out" 2>"$work/termsim.err" &
  terminals_pid=$!
  for _ in $(seq 100); do grep -q '^ready' "$work/termsim.out" 2>/dev/null && break; sleep 0.1; done
  grep -q '^ready' "$work/termsim.out" || { cat "$work/termsim.err"; return 1; }
  for n in 1 2 3 4 5 6 7 8; do ln -sfn "$work/ports/COM$n" "$WINEPREFIX/dosdevices/com$n"; done
}
terminals_stop() {
  local work=$1 n link
  if [ -n "$terminals_pid" ]; then kill "$terminals_pid" 2>/dev/null || true; wait "$terminals_pid" || true; fi
  for n in 1 2 3 4 5 6 7 8; do
    link="$WINEPREFIX/dosdevices/com$n"
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$work/ports/COM$n" ]; then rm -f "$link"; fi
  done
}
