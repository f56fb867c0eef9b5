#!/usr/bin/env bash
# The desktop entry and the AppStream metadata as installed: both valid for
# the system's validators, naming each other and an icon that the hicolor
# theme holds at every size it is installed in, each picture as large as its
# folder says.
#   desktop_files_test.sh BUILD_DIR APP_ID
here=$(dirname "$0")
. "$here/lib.sh"
build=$1 id=$2

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; die "cmake --install failed"; }
share=$prefix/share
metainfo=$share/metainfo/$id.metainfo.xml
desktop=$share/applications/$id.desktop

[ -f "$metainfo" ] || die "no metainfo installed"
appstreamcli validate --no-net "$metainfo" >"$scratch/as.log" 2>&1 || fail "appstreamcli: $(cat "$scratch/as.log")"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo does not launch $id.desktop"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"

if [ -e "$prefix/bin/quillan" ]; then
    [ -f "$desktop" ] || die "no desktop entry installed"
    desktop-file-validate "$desktop" >"$scratch/dfv.log" 2>&1 || fail "desktop-file-validate: $(cat "$scratch/dfv.log")"
    [ -s "$scratch/dfv.log" ] && fail "desktop-file-validate hints: $(cat "$scratch/dfv.log")"
    exec_cmd=$(sed -n 's/^Exec=//p' "$desktop" | cut -d' ' -f1)
    [ -e "$prefix/bin/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed command"
    [ "$(sed -n 's/^Icon=//p' "$desktop")" = "$id" ] || fail "the desktop entry's icon is not $id"
else
    # Without the program its menu entry is not installed; the file itself
    # is still checked.
    desktop-file-validate "$here/../../packaging/desktop/$id.desktop" || fail "desktop-file-validate"
fi

# Icons: PNGs whose size matches their folder, the usual sizes present, and
# the scalable picture.
sizes=()
for png in "$share"/icons/hicolor/*x*/apps/"$id".png; do
    [ -f "$png" ] || break
    dir=$(basename "$(dirname "$(dirname "$png")")")
    # PNG: 8-byte signature, then the IHDR chunk with width and height.
    [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || { fail "$dir: not a PNG"; continue; }
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
    actual="$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
    [ "$actual" = "$dir" ] || fail "icon in $dir is $actual"
    sizes+=("${dir%x*}")
done
for wanted in 16 24 32 48 64 128 256; do
    [[ " ${sizes[*]-} " == *" $wanted "* ]] || fail "no ${wanted}x$wanted icon"
done
grep -q '<svg' "$share/icons/hicolor/scalable/apps/$id.svg" 2>/dev/null || fail "no scalable icon"
finish
