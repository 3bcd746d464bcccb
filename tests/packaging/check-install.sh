#!/usr/bin/env bash
# The installation as cmake --install lays it out, checked from the outside:
#   check-install.sh install BUILD ROOT   a fresh install of BUILD into ROOT
#   check-install.sh files ROOT           exactly the files we mean, the programs run
#   check-install.sh icons ROOT           the drawn icons' pixels (ImageMagick)
#   check-install.sh desktop ROOT         desktop-file-validate, and what the entry names exists
#   check-install.sh metainfo ROOT        appstreamcli validate, and the release is this version
#   check-install.sh manpages ROOT        groff finds no fault; every option --help prints is named
# The layout comes from the environment: ORVELLE_BINDIR, ORVELLE_DATADIR,
# ORVELLE_MANDIR (GNUInstallDirs' relative folders), ORVELLE_APP_ID,
# ORVELLE_VERSION and ORVELLE_ICON_SVG (the icon's source).
# A check whose tool is not installed exits 77, which CTest counts as skipped.
set -euo pipefail

skip() {
    echo "skipped: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

what=${1:?what to check}
shift
if [[ $what == install ]]; then
    build=${1:?build folder}
    root=${2:?install folder}
    rm -rf "$root"
    cmake --install "$build" --prefix "$root"
    exit 0
fi

root=${1:?install folder}
bin=$root/$ORVELLE_BINDIR
data=$root/$ORVELLE_DATADIR
man1=$root/$ORVELLE_MANDIR/man1
desktop=$data/applications/$ORVELLE_APP_ID.desktop
metainfo=$data/metainfo/$ORVELLE_APP_ID.metainfo.xml
hicolor=$data/icons/hicolor

# The width and height in a PNG's header: the signature, then the IHDR chunk
# whose first eight bytes are the two as big-endian 32-bit numbers.
png_size() {
    local head
    head=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
    [[ ${head:0:16} == 89504e470d0a1a0a && ${head:24:8} == 49484452 ]] || fail "$1 is not a PNG"
    echo "$((16#${head:32:8}))x$((16#${head:40:8}))"
}

case $what in
files)
    expected=$(
        sort <<LIST
$ORVELLE_BINDIR/orvelle
$ORVELLE_BINDIR/orvelle-cli
$ORVELLE_DATADIR/applications/$ORVELLE_APP_ID.desktop
$ORVELLE_DATADIR/icons/hicolor/256x256/apps/orvelle.png
$ORVELLE_DATADIR/icons/hicolor/48x48/apps/orvelle.png
$ORVELLE_DATADIR/icons/hicolor/scalable/apps/orvelle.svg
$ORVELLE_DATADIR/metainfo/$ORVELLE_APP_ID.metainfo.xml
$ORVELLE_MANDIR/man1/orvelle-cli.1.gz
$ORVELLE_MANDIR/man1/orvelle.1.gz
LIST
    )
    # Every file and link, so that a library, a test program or a
    # benchmark that slipped into the installation shows up as extra.
    installed=$(cd "$root" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
    expected=$(LC_ALL=C sort <<<"$expected")
    if [[ $installed != "$expected" ]]; then
        diff <(echo "$expected") <(echo "$installed") >&2 || true
        fail "the installed files differ from the expected ones (< missing, > extra)"
    fi
    for program in orvelle orvelle-cli; do
        [[ -x $bin/$program ]] || fail "$bin/$program is not executable"
    done
    # The installed tool runs where it lies, without the build folder.
    "$bin/orvelle-cli" --help | grep -q '^usage: orvelle-cli' || fail "orvelle-cli --help printed no usage"
    for size in 48 256; do
        got=$(png_size "$hicolor/${size}x$size/apps/orvelle.png")
        [[ $got == "${size}x$size" ]] || fail "the ${size}x$size icon is $got"
    done
    cmp "$ORVELLE_ICON_SVG" "$hicolor/scalable/apps/orvelle.svg" || fail "the scalable icon is not the program's SVG"
    for page in "$man1"/*.gz; do
        gzip -t "$page" || fail "$page is not gzip data"
    done
    echo "the installation holds the $(wc -l <<<"$expected") files it should"
    ;;

icons)
    command -v convert >/dev/null || skip "ImageMagick's convert is not installed"
    # The icon's 32-unit grid: nothing above row 2, a black frame along row 2
    # from column 0, yellow along row 3 from column 1. A point inside each,
    # scaled to the picture, must have that colour whatever the size; yellow
    # against cyan further down tells red and blue apart.
    pixel() { # PNG X Y: the pixel as rrggbbaa
        convert "$1" -crop "1x1+$2+$3" -depth 8 rgba:- | od -An -tx1 | tr -d ' \n'
    }
    for size in 48 256; do
        png=$hicolor/${size}x$size/apps/orvelle.png
        at() { echo "$(($1 * size / 64)) $(($2 * size / 64))"; } # half units
        # shellcheck disable=SC2046
        for probe in "1 1 00000000 empty" "3 5 000000ff black" "11 7 ffff00ff yellow" \
            "11 11 00ffffff cyan"; do
            read -r hx hy want name <<<"$probe"
            got=$(pixel "$png" $(at "$hx" "$hy"))
            # A transparent pixel's colour means nothing: only its alpha.
            [[ $want == 00000000 ]] && got=000000${got:6:2}
            [[ $got == "$want" ]] || fail "$png at ($(at "$hx" "$hy")) is $got, not $name ($want)"
        done
    done
    echo "both drawn icons have the SVG's pixels where probed"
    ;;

desktop)
    command -v desktop-file-validate >/dev/null || skip "desktop-file-validate (desktop-file-utils) is not installed"
    desktop-file-validate "$desktop"
    # What the entry names must be what the installation holds.
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [[ -x $bin/$exec_program ]] || fail "Exec names $exec_program, which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    for dir in scalable 48x48 256x256; do
        compgen -G "$hicolor/$dir/apps/$icon.*" >/dev/null || fail "Icon names $icon, missing in $dir"
    done
    echo "the desktop entry is valid and names the installed program and icon"
    ;;

metainfo)
    command -v appstreamcli >/dev/null || skip "appstreamcli (appstream) is not installed"
    appstreamcli validate --no-net --explain "$metainfo"
    # The tree as a whole: the launchable names the installed desktop entry.
    appstreamcli validate-tree --no-net --explain "$root"
    grep -q "<id>$ORVELLE_APP_ID</id>" "$metainfo" || fail "the component id is not $ORVELLE_APP_ID"
    grep -q "<release version=\"$ORVELLE_VERSION\"" "$metainfo" ||
        fail "the newest release is not the project's version $ORVELLE_VERSION"
    while read -r program; do
        [[ -x $bin/$program ]] || fail "the metainfo provides $program, which is not installed"
    done < <(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo")
    ;;

manpages)
    command -v groff >/dev/null || skip "groff is not installed"
    for page in "$man1"/*.gz; do
        warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
        [[ -z $warnings ]] || fail "groff on $page: $warnings"
    done
    # Plain text, no overstriking, so that an option reads as it is typed.
    text=$(zcat "$man1/orvelle-cli.1.gz" | groff -man -Tascii -P-cbou 2>/dev/null)
    help=$("$bin/orvelle-cli" --help)
    names=$(
        {
            grep -oE -- '(^|[^[:alnum:]-])--?[[:alnum:]][[:alnum:]-]*' <<<"$help" | sed 's/^[^-]*//'
            sed -n 's/^ *\(usage:\)\{0,1\} *orvelle-cli \([a-z][a-z-]*\).*/\2/p' <<<"$help"
        } | sort -u
    )
    [[ -n $names ]] || fail "found no options in orvelle-cli --help"
    for name in $names; do
        grep -qE -- "(^|[^[:alnum:]-])$name([^[:alnum:]-]|\$)" <<<"$text" ||
            fail "orvelle-cli --help prints $name, which the manual page does not name"
    done
    echo "both manual pages format cleanly; the one of orvelle-cli names $(wc -w <<<"$names") commands and options"
    ;;

*)
    fail "unknown check $what"
    ;;
esac
