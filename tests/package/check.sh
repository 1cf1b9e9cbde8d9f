#!/usr/bin/env bash
# check.sh -- lints the manual pages and the desktop entry, builds the .deb with make deb, installs it, runs both programs from /usr/bin, removes it
#
#   tests/package/check.sh SOURCE_DIR BUILD_DIR RENDER
#
# RENDER is the built rootzoom-render: the installed one must write the same
# PNG. Installing needs root; without it the check is skipped (status 77),
# except under CI=true, where it fails. The package is removed again on every
# way out, failures included.
set -u
src=$1 build=$2 render=$3

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
fatal() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

work=$(mktemp -d)
installed=0
cleanup() {
    if [ "$installed" = 1 ]; then
        dpkg_locked -r rootzoom >"$work/remove.log" 2>&1 || { echo "could not remove rootzoom:" >&2; cat "$work/remove.log" >&2; }
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# dpkg refuses at once while another dpkg or apt holds its lock (someone
# else installing on this machine): try again for a while.
dpkg_locked() {
    local _
    for _ in $(seq 1 60); do
        if dpkg "$@" >"$work/dpkg.out" 2>&1; then
            cat "$work/dpkg.out"
            return 0
        fi
        grep -qi 'lock' "$work/dpkg.out" || { cat "$work/dpkg.out"; return 1; }
        sleep 2
    done
    cat "$work/dpkg.out"
    return 1
}

# --- The documents, before anything is built or installed -------------------
for page in rootzoom.1 rootzoom-render.1; do
    # -ww: every warning; -z: no output but the warnings themselves.
    out=$(groff -man -ww -z "$src/docs/$page" 2>&1)
    if [ $? -ne 0 ] || [ -n "$out" ]; then
        fail "groff finds fault with docs/$page:"$'\n'"$out"
    else
        pass "docs/$page: groff -man -ww gives no warning"
    fi
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
        grep -q "^\.SH \"\?$section\"\?\$" "$src/docs/$page" || fail "docs/$page has no $section section"
    done
done
grep -q '^\.SH CONTROLS$' "$src/docs/rootzoom.1" || fail "docs/rootzoom.1 has no CONTROLS section"

out=$(desktop-file-validate "$src/docs/rootzoom.desktop" 2>&1)
if [ $? -ne 0 ] || [ -n "$out" ]; then
    fail "desktop-file-validate finds fault with docs/rootzoom.desktop:"$'\n'"$out"
else
    pass "docs/rootzoom.desktop is a valid desktop entry"
fi

# --- Whether this machine may be changed ------------------------------------
skip() {
    if [ "${CI:-}" = true ]; then
        fatal "$1 (under CI the package must be installed)"
    fi
    echo "SKIP: $1; the documents were checked, the package was not" >&2
    [ "$failures" = 0 ] || exit 1
    exit 77
}
[ "$(id -u)" = 0 ] || skip "installing the .deb needs root"
if dpkg-query -W -f='${Status}' rootzoom 2>/dev/null | grep -q 'installed'; then
    skip "a rootzoom package is installed already; this check would replace and remove it"
fi
for f in /usr/bin/rootzoom /usr/bin/rootzoom-render; do
    [ -e "$f" ] && skip "$f exists outside any package; this check would overwrite and remove it"
done

# --- The package -------------------------------------------------------------
# Made as the README says, with `make deb`, which leaves it in the build
# folder; run as from a shell, not as part of the make that may run ctest.
make_deb() { env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$src" deb BUILD="$build" "$@"; }
no_package_left() { ! compgen -G "$build/rootzoom_*.deb" >/dev/null && ! compgen -G "$build/_CPack_Packages/*/DEB/rootzoom_*.deb" >/dev/null; }

# A package that cannot list the libraries the programs link is refused and
# none is left: by make deb's look at the Depends line when cpack is told not
# to derive it, and by cpack itself when dpkg-shlibdeps is missing (hidden
# here by an empty file mounted over it, in a mount namespace of this check's
# own, where that is allowed).
if make_deb CPACK="cpack -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF" >"$work/refused.log" 2>&1; then
    fail "make deb accepted a package without dependencies"
elif ! grep -q "does not list the libraries" "$work/refused.log" || ! no_package_left; then
    fail "make deb refused a package without dependencies unclearly or left it: $(tail -3 "$work/refused.log")"
else
    pass "make deb refuses a package whose Depends line lists no libraries"
fi
: >"$work/empty"
if unshare -m true 2>/dev/null; then
    if unshare -m bash -c 'mount --bind "$1" /usr/bin/dpkg-shlibdeps && "${@:2}"' _ "$work/empty" \
            env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$src" deb BUILD="$build" >"$work/hidden.log" 2>&1; then
        fail "make deb made a package without dpkg-shlibdeps"
    elif ! grep -q "cpack needs dpkg-shlibdeps (Debian package dpkg-dev)" "$work/hidden.log" || ! no_package_left; then
        fail "without dpkg-shlibdeps, cpack refused unclearly or left a package: $(tail -5 "$work/hidden.log")"
    else
        pass "without dpkg-shlibdeps, cpack refuses to make the package"
    fi
else
    echo "note: no mount namespace here; cpack was not tried without dpkg-shlibdeps"
fi

if ! make_deb >"$work/deb.log" 2>&1; then
    cat "$work/deb.log" >&2
    fatal "make deb failed"
fi
debs=("$build"/rootzoom_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fatal "make deb made no single rootzoom_*.deb: $(ls "$build")"
deb=${debs[0]}
pass "make deb made $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = rootzoom ] || fail "package name '$(field Package)'"
[ "$(field Section)" = graphics ] || fail "section '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
depends=$(field Depends)
# Dependencies from the libraries linked: GLUT for the explorer, libpng for
# the renderer, the C++ runtime for both.
for lib in libglut libpng16 libstdc++6 libc6; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: '$depends'"
done
pass "control fields: $(field Package) $(field Version), section $(field Section), depends on $depends"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/rootzoom /usr/bin/rootzoom-render \
         /usr/share/man/man1/rootzoom.1.gz /usr/share/man/man1/rootzoom-render.1.gz \
         /usr/share/doc/rootzoom/copyright /usr/share/applications/rootzoom.desktop \
         /usr/share/icons/hicolor/128x128/apps/rootzoom.png /usr/share/icons/hicolor/256x256/apps/rootzoom.png \
         /usr/share/rootzoom/palettes/explorer.map /usr/share/rootzoom/palettes/rainbow.map; do
    grep -qx "$f" "$work/contents" || fail "the package lacks $f"
done
grep -q '^/usr/share/man/man1/.*\.1$' "$work/contents" && fail "the package holds uncompressed manual pages"
# Debian's policy: manual pages compressed with gzip -9n, which stores
# neither the file's name nor its time (the header's flags and time are 0,
# its extra flags 2 for the best compression), so that every build makes
# the same bytes; and the copyright file in its place.
dpkg-deb -x "$deb" "$work/root"
for page in rootzoom.1 rootzoom-render.1; do
    gz=$work/root/usr/share/man/man1/$page.gz
    header=$(od -An -tx1 -N9 "$gz" | tr -d ' \n')
    [ "$header" = 1f8b08000000000002 ] || fail "$page.gz was not made by gzip -9n: its header is $header"
    zcat "$gz" | cmp -s - "$src/docs/$page" || fail "$page.gz is not docs/$page"
done
grep -q '^Copyright: ' "$work/root/usr/share/doc/rootzoom/copyright" ||
    fail "the copyright file names no copyright: $(head -c 300 "$work/root/usr/share/doc/rootzoom/copyright")"
pass "manual pages compressed with gzip -9n, the copyright file in /usr/share/doc/rootzoom"

# --- Installed ---------------------------------------------------------------
installed=1
if ! dpkg_locked -i "$deb" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fatal "dpkg -i failed"
fi
pass "dpkg -i installed the package"

# The usage line comes for a wrong argument count, before any display is
# needed, so it works without X.
out=$(env -u DISPLAY /usr/bin/rootzoom --help 2>"$work/help.err")
status=$?
[ "$status" = 0 ] || fail "/usr/bin/rootzoom --help: status $status"
[ "$out" = "Usage: /usr/bin/rootzoom [xmax xmin ymax ymin maxiter]" ] || fail "/usr/bin/rootzoom --help printed '$out'"
[ -s "$work/help.err" ] && fail "/usr/bin/rootzoom --help wrote to standard error: $(cat "$work/help.err")"
pass "/usr/bin/rootzoom --help: the usage line, status 0"

picture=$work/installed.png
/usr/bin/rootzoom-render -o "$picture" || fail "/usr/bin/rootzoom-render: status $?"
if [ -f "$picture" ]; then
    # Signature, then the IHDR chunk: width and height as 4-byte big-endian
    # numbers at bytes 16 to 23.
    signature=$(od -An -tx1 -N8 "$picture" | tr -d ' \n')
    size=$(od -An -tu1 -j16 -N8 "$picture" |
           awk '{print ($1*16777216 + $2*65536 + $3*256 + $4) "x" ($5*16777216 + $6*65536 + $7*256 + $8)}')
    [ "$signature" = 89504e470d0a1a0a ] || fail "rootzoom-render's output is no PNG (starts $signature)"
    [ "$size" = 1024x768 ] || fail "rootzoom-render's PNG is $size, not 1024x768"
    file "$picture" | grep -q 'PNG image data, 1024 x 768, 8-bit/color RGB' ||
        fail "file says: $(file -b "$picture")"
    # The installed program is the one built: the same picture to the byte.
    "$render" -o "$work/built.png" && cmp -s "$picture" "$work/built.png" ||
        fail "the installed rootzoom-render draws another picture than the built one"
    pass "/usr/bin/rootzoom-render wrote a ${size} PNG, the same as the built one"
else
    fail "/usr/bin/rootzoom-render wrote no $picture"
fi

# The palettes are found beside the installed program; the explorer's, by
# name, makes the default picture.
/usr/bin/rootzoom-render --palette explorer -o "$work/named.png" && cmp -s "$picture" "$work/named.png" ||
    fail "/usr/bin/rootzoom-render --palette explorer did not make the default picture"
/usr/bin/rootzoom-render --palette rainbow --colouring basin --size 64x36 -o "$work/rainbow.png" ||
    fail "/usr/bin/rootzoom-render --palette rainbow failed"

out=$(desktop-file-validate /usr/share/applications/rootzoom.desktop 2>&1) && [ -z "$out" ] ||
    fail "the installed desktop entry: $out"
file /usr/share/icons/hicolor/128x128/apps/rootzoom.png | grep -q 'PNG image data, 128 x 128' ||
    fail "installed 128x128 icon: $(file -b /usr/share/icons/hicolor/128x128/apps/rootzoom.png)"
file /usr/share/icons/hicolor/256x256/apps/rootzoom.png | grep -q 'PNG image data, 256 x 256' ||
    fail "installed 256x256 icon: $(file -b /usr/share/icons/hicolor/256x256/apps/rootzoom.png)"

# --- Removed -----------------------------------------------------------------
if dpkg_locked -r rootzoom >"$work/remove.log" 2>&1; then
    installed=0
    for f in /usr/bin/rootzoom /usr/bin/rootzoom-render /usr/share/applications/rootzoom.desktop; do
        [ -e "$f" ] && fail "$f is left after dpkg -r"
    done
    pass "dpkg -r removed the package"
else
    cat "$work/remove.log" >&2
    fail "dpkg -r rootzoom failed"
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package checks passed"
