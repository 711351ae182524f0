#!/usr/bin/env bash
# Usage: check_package.sh BUILD_DIR VERSION SOURCE_DIR
# Checks BUILD_DIR/tandra_VERSION_<arch>.deb: its control fields and files,
# its AppStream entry, desktop entry and manual page, the version the program
# gives, and lintian's view of it. Without the package it is skipped, except
# under CI=true, where scripts/test.sh must have built it.
set -uo pipefail
build=$1 version=$2 source=$3
deb=$build/tandra_${version}_$(dpkg --print-architecture).deb
id=org.example.tandra

if [ ! -f "$deb" ]; then
    echo "no $deb: scripts/package.sh builds it"
    [ "${CI:-}" = true ] && exit 1
    exit 77
fi

failures=0
# The first lines of a tool's complaint are enough to go on.
fail() { echo "FAIL: $*" | head -n 12; failures=$((failures + 1)); }

work=$(mktemp -d "${TMPDIR:-/tmp}/tandra-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- control fields -----------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tandra ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
depends=$(field Depends)
# The decoders, outputs and soundfont are loaded at run time; the libraries
# come from the program's links.
for needed in gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad \
    gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-x \
    fluid-soundfont-gm libqt6widgets6 libgstreamer1.0-0; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

# --- files --------------------------------------------------------------------
dpkg-deb --contents "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' >"$work/contents"
expected=(
    "./usr/bin/tandra -> ../lib/tandra/tandra"
    ./usr/lib/tandra/tandra
    "./usr/share/applications/$id.desktop"
    "./usr/share/metainfo/$id.metainfo.xml"
    ./usr/share/man/man1/tandra.1.gz
    ./usr/share/doc/tandra/copyright
    ./usr/share/doc/tandra/changelog.gz
)
for size in 16 32 48 64 96 128 256 512; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/tandra.png")
done
for picture in "$source"/SkinDefault/*; do
    expected+=("./usr/lib/tandra/SkinDefault/${picture##*/}")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb cannot unpack it"
root=$work/root

# --- the program's version ------------------------------------------------------
said=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$root/usr/lib/tandra/tandra" --version 2>&1)
[ "$said" = "Tandra $version" ] || fail "tandra --version says '$said'"

# --- AppStream and the desktop entry --------------------------------------------
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
desktop=$root/usr/share/applications/$id.desktop
validation=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli: $validation"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || fail "the AppStream release is not $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the AppStream launchable is not $id.desktop"
mime_types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | sed '/^$/d' | sort)
media_types=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo" | sort)
[ -n "$mime_types" ] && [ "$mime_types" = "$media_types" ] ||
    fail "AppStream media types ($media_types) differ from the desktop entry's ($mime_types)"
desktop_check=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $desktop_check"

# --- manual page ----------------------------------------------------------------
zcat "$root/usr/share/man/man1/tandra.1.gz" >"$work/tandra.1"
grep -q '@' <(sed -n '/^\.TH/p' "$work/tandra.1") && fail "the manual page's heading was not filled in"
grep -q "\"Tandra $version\"" "$work/tandra.1" || fail "the manual page is not of version $version"
groff_says=$(groff -ww -man -z "$work/tandra.1" 2>&1)
[ -z "$groff_says" ] || fail "groff warns: $groff_says"
man_says=$(MANWIDTH=80 man --warnings -l "$work/tandra.1" 2>&1 >/dev/null)
[ -z "$man_says" ] || fail "man warns: $man_says"

# --- lintian --------------------------------------------------------------------
lintian_says=$(lintian "$deb" 2>/dev/null)
grep -Eq '^[EW]:' <<<"$lintian_says" && fail "lintian: $lintian_says"

[ "$failures" -eq 0 ] && echo "$deb: all checks passed"
[ "$failures" -eq 0 ]
