#!/usr/bin/env bash
# Builds the test rig: this machine's Wine rebuilt from Debian's own source
# package with tools/wine-rig/*.patch on top, so that scenarios can meet
# Windows mechanisms that stock Wine lacks. Only the pieces the patch touches
# are built (the wineserver and win32u.so); everything else is the installed Wine.
#   ${TW_RIG_CACHE:-/var/cache/tapwise-rig}/<recipe hash>/
#     bin/wine, bin/wineserver, bin/wineboot   the rig's commands
#     lib/                                     shadow of Wine's library folder
#     env.sh                                   sourced: rig first on PATH, switches on
#     shim/TWRIG.dll, shim-copy                the virtualization shim and the tool
#                                              that writes a copy of a program using it
# The recipe hash covers this script, the patches and the installed Wine's
# version; an unchanged recipe is built once. The source package and the build
# tools (unpacked from Debian's packages, never installed) come from the mirror
# in this machine's apt setup, through a source list of our own.
# Prints the rig's folder on success. Every step is bounded in time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${TW_RIG_CACHE:-/var/cache/tapwise-rig}

fail() { echo "wine-rig: FAILED: $*" >&2; exit 1; }
step() { echo "wine-rig: $(date +%T) $*" >&2; }

version=$(dpkg-query -W -f '${Version}' wine64 2>/dev/null) || fail "wine64 is not installed"
patches=("$here"/wine-rig/*.patch)
[ -f "${patches[0]}" ] || fail "no patch in $here/wine-rig"
shim_sources=("$here"/wine-rig/shim/*)
recipe=$( (cat "$0" "${patches[@]}" "${shim_sources[@]}"; echo "$version") | sha256sum | cut -c1-16)
out=$cache/$recipe
if [ -f "$out/ready" ]; then echo "$out"; exit 0; fi

for tool in apt-get dpkg-source dpkg-deb gcc make perl patch flock x86_64-w64-mingw32-gcc python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock -w 3600 9 || fail "another rig build holds $cache/.lock"
if [ -f "$out/ready" ]; then echo "$out"; exit 0; fi

source "$here/apt-mirror.sh"
mirror=$(apt_mirror)
[ -n "$mirror" ] || fail "no Debian mirror found in the apt configuration"
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

# Downloads are kept across recipes: a changed patch rebuilds, it does not refetch.
dl=$cache/downloads/$version
work=$(mktemp -d "$cache/build.XXXXXX")
log=$work/build.log
cleanup() { [ "${TW_RIG_KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM

bounded() {  # seconds, command...
  local secs=$1; shift
  timeout "$secs" "$@" >>"$log" 2>&1 || { tail -30 "$log" >&2; fail "$* (see above)"; }
}

if [ ! -f "$dl/ready" ]; then
  step "fetching wine $version source and build tools"
  rm -rf "$dl"; mkdir -p "$dl/src" "$dl/debs"
  apt=$work/apt
  mkdir -p "$apt/lists/partial" "$apt/archives/partial"
  printf 'deb %s %s main\ndeb-src %s %s main\n' "$mirror" "$suite" "$mirror" "$suite" >"$apt/sources.list"
  aptopts=(-o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=-"
           -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt" -o "Dir::Cache::archives=$apt/archives"
           -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
  bounded 600 apt-get "${aptopts[@]}" update
  (cd "$dl/src" && bounded 900 apt-get "${aptopts[@]}" source --download-only "wine=$version")
  # configure insists on flex and bison, and the headers the server includes come
  # in part from widl, whose parsers bison writes.
  (cd "$dl/debs" && bounded 600 apt-get "${aptopts[@]}" download autoconf m4 flex bison)
  touch "$dl/ready"
fi
# win32u.so includes headers that Debian generates from the OpenGL and Vulkan
# registries (the OpenGL generator is Perl with XML::LibXML) and a table from
# the Unicode data.
if [ ! -f "$dl/win32u/ready" ]; then
  step "fetching the registries win32u is generated from"
  rm -rf "$dl/win32u"; mkdir -p "$dl/win32u"
  apt=$work/apt2
  mkdir -p "$apt/lists/partial" "$apt/archives/partial"
  printf 'deb %s %s main\n' "$mirror" "$suite" >"$apt/sources.list"
  aptopts=(-o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=-"
           -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt" -o "Dir::Cache::archives=$apt/archives"
           -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
  bounded 600 apt-get "${aptopts[@]}" update
  (cd "$dl/win32u" && bounded 600 apt-get "${aptopts[@]}" download khronos-api libvulkan-dev unicode-data \
     libxml-libxml-perl libxml-sax-perl libxml-sax-base-perl libxml-namespacesupport-perl)
  touch "$dl/win32u/ready"
fi

step "unpacking"
tools=$work/tools
mkdir -p "$tools"
for deb in "$dl"/debs/*.deb "$dl"/win32u/*.deb; do dpkg-deb -x "$deb" "$tools"; done
# autoconf names its own files by absolute path; point it at the unpacked copy.
grep -rlI '/usr/share/autoconf\|/usr/bin/auto\|/usr/bin/m4' "$tools/usr" |
  xargs sed -i "s|/usr/share/autoconf|$tools/usr/share/autoconf|g; s|/usr/bin/auto|$tools/usr/bin/auto|g; s|/usr/bin/m4|$tools/usr/bin/m4|g"
export PATH=$tools/usr/bin:$PATH M4=$tools/usr/bin/m4 BISON_PKGDATADIR=$tools/usr/share/bison
src=$work/wine
bounded 600 dpkg-source --no-check -x "$dl"/src/*.dsc "$src"
for p in "${patches[@]}"; do
  (cd "$src" && bounded 60 patch -p1 --forward --batch -i "$p")
done

step "generating sources"
cd "$src"
# The steps of Debian's own configure rule that the server needs.
bounded 60 ./debian/scripts/generate server/trace.generated make_requests
bounded 60 ./debian/scripts/generate server/request.generated make_requests
bounded 120 ./tools/make_requests
bounded 600 autoreconf -fi
# What win32u.so needs of Debian's generation steps, from the unpacked registries.
export PERL5LIB=$(echo "$tools"/usr/lib/*/perl5/*):$tools/usr/share/perl5
(cd dlls/opengl32 && sed "s|/usr/share/khronos-api|$tools/usr/share/khronos-api|" make_opengl >make_opengl.rig &&
 bounded 300 perl make_opengl.rig)
(cd dlls/winevulkan && bounded 300 python3 make_vulkan -x "$tools/usr/share/vulkan/registry/vk.xml")
# Of the Unicode tables only vertical.c; the whole of make_unicode takes minutes.
sed -e '/^# main routine/q' -e "s|\"/usr/share/unicode\"|\"$tools/usr/share/unicode\"|" \
    -e 's|^my \$UNIVERSION = `.*|my $UNIVERSION = "15";|' tools/make_unicode >tools/make_unicode.rig
echo 'dump_vertical( "dlls/win32u/vertical.c", 1 );' >>tools/make_unicode.rig
bounded 300 perl tools/make_unicode.rig
# Debian's repack drops what its rules regenerate (Unicode tables, Vulkan and
# OpenGL thunks, icon links); none of it goes into the pieces built here, but
# the build system scans every module, so empty stand-ins take their place.
grep -E '^\s+ln -sf \.\./\.\./' debian/rules | sed 's/^\s*//' | sh -e
find . -path ./.pc -prune -o -name Makefile.in -print | while read -r mf; do
  dir=${mf%/Makefile.in}
  perl -0777 -ne 's/\\\n/ /g; my ($p) = /^PARENTSRC\s*=\s*(\S+)/m; $p //= "";
                  while (/^(\w*SRCS|SOURCES)\s*=(.*)$/mg) { print "$_\t$p\n" for split " ", $2 }' "$mf" |
    while IFS=$'\t' read -r f parent; do
      [ -e "$dir/$f" ] && continue
      [ -n "$parent" ] && [ -e "$dir/$parent/$f" ] && continue
      mkdir -p "$(dirname "$dir/$f")" && : >"$dir/$f"
    done
done
step "configuring"
# FreeType and fontconfig as in Debian's build: win32u.so lays out every text.
bounded 900 ./configure --enable-win64 --without-mingw --disable-tests --without-x \
  --prefix=/usr --libdir=/usr/lib/x86_64-linux-gnu --bindir=/usr/lib/wine --datarootdir=/usr/share \
  CFLAGS="-g -O2 -Wno-array-bounds -Wno-unused-function -Wno-format"
step "building wineserver and win32u.so"
bounded 900 make -j"$(nproc)" server/wineserver dlls/win32u/win32u.so

step "assembling"
stage=$work/rig
mkdir -p "$stage/bin"
cp server/wineserver "$stage/bin/wineserver"
# The loader finds ntdll.so, and ntdll.so the builtin libraries, through its
# own real path: a shadow of the library folder with copies of the two and the
# rig's win32u.so, everything else linked to the installed Wine.
libdir=/usr/lib/x86_64-linux-gnu/wine
mkdir -p "$stage/lib/wine" "$stage/lib/x86_64-linux-gnu/wine/x86_64-unix" "$stage/share"
ln -s /usr/share/wine "$stage/share/wine"
cp /usr/lib/wine/wine64 "$stage/lib/wine/wine64"
for d in "$libdir"/*; do
  [ "${d##*/}" = x86_64-unix ] || ln -s "$d" "$stage/lib/x86_64-linux-gnu/wine/${d##*/}"
done
for f in "$libdir"/x86_64-unix/*; do
  ln -s "$f" "$stage/lib/x86_64-linux-gnu/wine/x86_64-unix/${f##*/}"
done
unix=$stage/lib/x86_64-linux-gnu/wine/x86_64-unix
rm "$unix/ntdll.so" "$unix/win32u.so"
cp "$libdir/x86_64-unix/ntdll.so" "$unix/ntdll.so"
cp dlls/win32u/win32u.so "$unix/win32u.so"
# The rig's 64-bit loader, named directly (a 32-bit one may be installed and
# cannot run here); it reaches the rig's server through WINESERVER.
cat >"$stage/bin/wine" <<'SH'
#!/bin/sh
rig=$(cd "$(dirname "$0")/.." && pwd)
export WINESERVER="$rig/bin/wineserver"
exec "$rig/lib/wine/wine64" "$@"
SH
cat >"$stage/bin/wineboot" <<'SH'
#!/bin/sh
exec "$(dirname "$0")/wine" wineboot "$@"
SH
chmod +x "$stage/bin/wine" "$stage/bin/wineboot"
cat >"$stage/env.sh" <<'SH'
# Sourced: the rig's wine, wineserver and wineboot first on PATH, its switches on.
tw_rig_dir=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")" && pwd)
export PATH="$tw_rig_dir/bin:$PATH"
export WINESERVER="$tw_rig_dir/bin/wineserver"
export TW_RIG_UIPI=1
export TW_RIG_XHOOK=Tapwise.dll
SH

# --- the virtualization shim: no Wine change, a library that test copies import
step "building the virtualization shim"
bounded 300 bash "$here/wine-rig/shim/build.sh" "$stage/shim"
cat >"$stage/shim-copy" <<'SH'
#!/bin/sh
# shim-copy IN.exe OUT.exe: a copy of IN.exe that imports the rig's shim.
[ $# -eq 2 ] || { echo "usage: shim-copy IN.exe OUT.exe" >&2; exit 2; }
shim=$(cd "$(dirname "$0")/shim" && pwd)
exec python3 "$shim/shimtool.py" copy "$1" "$2" "$shim/TWRIG.dll"
SH
chmod +x "$stage/shim-copy"
cat >>"$stage/env.sh" <<'SH'
# The virtualization shim, for test copies that shim-copy writes; a session's
# programs find it once it is in the prefix's system32 (tw_rig_install_shim).
export TW_RIG_SHIM="$tw_rig_dir/shim/TWRIG.dll" TW_RIG_SHIM_COPY="$tw_rig_dir/shim-copy"
SH
# ---

echo "wine $version, recipe $recipe" >"$stage/VERSION"
rm -rf "$out"
mv "$stage" "$out"
touch "$out/ready"
step "ready"
echo "$out"
