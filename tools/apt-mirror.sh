# Sourced by the scripts that fetch Debian packages for the test machines.
# apt_mirror prints the Debian mirror this machine's apt uses (deb822 sources
# first, then the one-line format), never a host written down here; nothing
# when it finds none.
apt_mirror() {
  local f mirror=
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    mirror=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' "$f")
    [ -n "$mirror" ] && break
  done
  if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
             /etc/apt/sources.list)
  fi
  echo "$mirror"
}
