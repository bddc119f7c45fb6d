# Sourced by the scripts that run Wine. Wine sends real multicast, so it starts only in a
# network namespace other than the machine's own, whose id the caller exported as
# KAVRO_HOST_NETNS before it entered one.

# wine_own_namespace NAME: ends the script (NAME says which) unless it runs in such a
# namespace; called before anything else is started there.
wine_own_namespace() {
  local here; here=$(readlink /proc/self/ns/net)
  [ -n "${KAVRO_HOST_NETNS:-}" ] && [ -n "$here" ] && [ "$here" != "$KAVRO_HOST_NETNS" ] ||
    { echo "$1: refusing to start Wine outside a network namespace of its own" >&2; exit 1; }
}

# wine_boot NAME LOG: makes or updates $WINEPREFIX with Wine's services started first, so
# that they never hold the caller's pipes; what Wine said goes to LOG, and to stderr when
# it did not start.
wine_boot() {
  { wineboot --init && wineserver -k; wineserver -w; wineserver -p && wineboot; } </dev/null >"$2" 2>&1 ||
    { cat "$2" >&2; echo "$1: Wine did not start" >&2; exit 1; }
}
