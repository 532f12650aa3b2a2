#!/usr/bin/env bash
# Prints the path of a free-threaded CPython 3.13 (python3.13t), building it
# once from Debian trixie's python3.13 source package into
# ~/.cache/wayforge/cpython-<version>t; later runs print the cached path at once.
#
# Usage: scripts/ft-python.sh [--tsan]
#   --tsan  the same interpreter built with ThreadSanitizer as well, into
#           cpython-<version>t-tsan; CPython's TSan suppression files are
#           copied to its share/tsan/.
# Environment: JOBS, the parallel compile jobs (default 2).
#
# Building needs root for apt-get (build dependencies and a deb-src entry for
# trixie). The build output goes to a log file beside the install.
set -euo pipefail

flavour="t"
configure_extra=()
case "${1:-}" in
    "") ;;
    --tsan) flavour="t-tsan"; configure_extra=(--with-thread-sanitizer) ;;
    *) echo "usage: $0 [--tsan]" >&2; exit 2 ;;
esac
cache="$HOME/.cache/wayforge"

# A finished install carries a stamp written after `make install`; the newest wins.
cached() {
    local d
    for d in $(ls -d "$cache"/cpython-3.13.*"$flavour" 2>/dev/null | sort -rV); do
        if [ -f "$d/.complete" ] && "$d/bin/python3.13t" -c '' 2>/dev/null; then
            echo "$d/bin/python3.13t"
            return 0
        fi
    done
    return 1
}
cached && exit 0

mkdir -p "$cache"
# One build of a flavour at a time; whoever waited finds the result cached.
exec 9>"$cache/.lock-$flavour"
flock 9
cached && exit 0

die() { echo "ft-python.sh: $*" >&2; exit 1; }
log="$cache/build-3.13$flavour.log"
: >"$log"
step() {
    [ -z "$1" ] || echo "ft-python.sh: $1" >&2
    shift
    "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; die "failed: $* (full log: $log)"; }
}

if [ "$(id -u)" -eq 0 ]; then
    # deb-src for trixie on the mirror the machine already uses.
    list=/etc/apt/sources.list.d/trixie-src.sources
    if [ ! -f "$list" ]; then
        mirror="$(grep -hoE '^URIs: *\S+/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk 'NR == 1 {print $2}')" || true
        [ -n "$mirror" ] || mirror="$(grep -hoE '^deb\s+\S+/debian/?\s' /etc/apt/sources.list 2>/dev/null | awk 'NR == 1 {print $2}')" || true
        printf 'Types: deb-src\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: %s\n' \
            "${mirror:-http://deb.debian.org/debian}" /usr/share/keyrings/debian-archive-keyring.gpg >"$list"
    fi
    step "apt-get update" apt-get update
    # What ssl, zlib, ctypes, bz2, lzma, sqlite3, readline, curses, dbm and uuid
    # need; tkinter is left out (tk-dev brings X11).
    step "installing build dependencies" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends build-essential pkg-config xz-utils patch \
        libssl-dev zlib1g-dev libffi-dev libbz2-dev liblzma-dev libsqlite3-dev libreadline-dev \
        libncurses-dev uuid-dev libgdbm-dev
else
    echo "ft-python.sh: not root, so no apt-get: the build dependencies must be installed already" >&2
fi

src="$cache/src-3.13$flavour"
rm -rf "$src"
mkdir -p "$src"
cd "$src"
step "downloading python3.13 from trixie" apt-get source --download-only python3.13/trixie
orig="$(ls python3.13_*.orig.tar.xz 2>/dev/null | head -n 1)"
[ -n "$orig" ] || die "no python3.13 orig tarball downloaded (see $log)"
version="${orig#python3.13_}"
version="${version%.orig.tar.xz}"
prefix="$cache/cpython-$version$flavour"

# The pristine upstream tree plus the package's backported upstream fixes
# (the series' *.patch entries: security and free-threading dict fixes). The
# *.diff entries are Debian's own layout (dist-packages, multiarch, ensurepip
# disabled for the system) and would break a private prefix with venvs.
step "unpacking $orig" tar xJf "$orig"
step "unpacking the Debian patches" tar xJf python3.13_*.debian.tar.xz debian/patches
cd "Python-$version"
patches=($(grep -E '^[^#].*\.patch$' ../debian/patches/series || true))
echo "ft-python.sh: applying ${#patches[@]} backported fixes" >&2
for p in "${patches[@]}"; do
    step "" patch -p1 -N -i "../debian/patches/$p"
done

echo "ft-python.sh: building CPython $version ($flavour) into $prefix, log in $log" >&2
rm -rf "$prefix"
# Python runs during the build; under TSan it uses CPython's own suppressions.
export TSAN_OPTIONS="suppressions=$PWD/Tools/tsan/suppressions_free_threading.txt${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
step "configure" ./configure --disable-gil --prefix="$prefix" "${configure_extra[@]}"
step "make" make -j"${JOBS:-2}"
step "make install" make install
"$prefix/bin/python3.13t" -c 'import sys; sys.exit(sys._is_gil_enabled())' \
    || die "$prefix/bin/python3.13t does not run without the GIL"
if [ "$flavour" = "t-tsan" ]; then
    mkdir -p "$prefix/share/tsan"
    cp Tools/tsan/*.txt "$prefix/share/tsan/"
fi
touch "$prefix/.complete"
cd "$cache"
rm -rf "$src"
echo "$prefix/bin/python3.13t"
