# Sourced by the scripts that build from Debian's source packages. Source archives
# come through an apt state of our own, so the machine's apt configuration is left
# as it is; progress goes to stderr.

# debian_apt_state DIR [SUITE...]: an apt state in DIR/apt with a deb-src line for
# every Debian source the machine lists, and for each SUITE on the machine's first
# Debian mirror; sets debian_apt to the apt-get command that uses it, and updates it.
debian_apt_state() {
  local apt_dir=$1/apt suite mirror; shift
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  : >"$apt_dir/sources.list"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$apt_dir/sources.list"
  fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt_dir/sources.list.d/debian.sources"
  fi
  mirror=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/debian.sources 2>/dev/null || true; } |
           sed 's/#.*//' | grep -oE 'https?://[^ ]*/debian/?( |$)' | head -n 1 | tr -d ' ' || true)
  for suite in "$@"; do
    [ -n "$mirror" ] || { echo "debian-source: no Debian mirror in the machine's apt sources" >&2; return 1; }
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" >>"$apt_dir/sources.list"
  done
  debian_apt=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
              -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
  "${debian_apt[@]}" update >&2
}
