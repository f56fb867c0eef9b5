#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: exactly the files the install
# rules name, the program's folder complete, only the user's commands on
# the path (links into that folder), no run path into the build tree and every
# library found, and the installed programs working through their links.
#   install_layout_test.sh BUILD_DIR MANIFEST PKGLIBDIR SAMPLE_HTML
here=$(dirname "$0")
. "$here/lib.sh"
build=$1 manifest=$2 pkglibdir=$3 sample=$4

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; die "cmake --install failed"; }

# Exactly what the rules say, nothing else (no tests, static libraries, headers).
diff <(LC_ALL=C sort "$manifest") <(tree_list "$prefix") >"$scratch/diff" ||
    fail "installed files differ from the install rules:"$'\n'"$(cat "$scratch/diff")"

# The program's folder holds what the programs read from it.
for f in quillan-convert quillan-crawl regsvr reg dispget netvane.so qlnhelp.chm; do
    [ -f "$prefix/$pkglibdir/$f" ] || fail "$pkglibdir/$f missing"
done
for f in quillan quillan-main.so quillan.htm spider14.gif quillan-browser.so quillan-convert-net; do
    grep -qx "$pkglibdir/$f" "$manifest" && [ ! -f "$prefix/$pkglibdir/$f" ] && fail "$pkglibdir/$f missing"
done
# Only the user's commands are on the path, as relative links into the folder.
for f in "$prefix"/bin/*; do
    name=$(basename "$f")
    case $name in
        quillan|quillan-convert|quillan-crawl) ;;
        *) fail "bin/$name: only quillan, quillan-convert and quillan-crawl belong on the path" ;;
    esac
    [ -L "$f" ] || fail "bin/$name is not a link"
    target=$(readlink "$f")
    [ "${target#/}" = "$target" ] || fail "bin/$name links to an absolute path ($target)"
    [ "$(readlink -f "$f")" = "$(readlink -f "$prefix/$pkglibdir/$name")" ] ||
        fail "bin/$name does not lead to $pkglibdir/$name"
done
[ -L "$prefix/bin/quillan-convert" ] || fail "bin/quillan-convert missing"
[ -L "$prefix/bin/quillan-crawl" ] || fail "bin/quillan-crawl missing"

# No run path (least of all into the build tree); every library resolves.
while IFS= read -r elf; do
    rel=${elf#"$prefix"/}
    readelf -d "$elf" | grep -Eq '\((RPATH|RUNPATH)\)' && fail "$rel carries a run path"
    ldd "$elf" 2>&1 | grep -q 'not found' && fail "$rel: $(ldd "$elf" | grep 'not found' | head -1)"
done < <(elf_files "$prefix")
# Outside the programs' debug information (stripped for the package), no
# file names the build folder.
grep -rlF "$build" "$prefix" | while IFS= read -r f; do
    if [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ]; then
        objcopy --strip-debug "$f" "$scratch/stripped" && grep -qF "$build" "$scratch/stripped" || continue
    fi
    echo "${f#"$prefix"/}"
done >"$scratch/leaks"
[ -s "$scratch/leaks" ] && fail "files naming the build folder: $(cat "$scratch/leaks")"

# The command converts from anywhere through its link.
export PATH="$prefix/bin:/usr/bin:/bin"
[ "$(command -v quillan-convert)" = "$prefix/bin/quillan-convert" ] || fail "quillan-convert not found on PATH"
cp "$sample" "$scratch/page.html"
(cd / && quillan-convert "$scratch/page.html") || fail "quillan-convert through its link failed"
[ -s "$scratch/page.TXT" ] || fail "quillan-convert wrote no page.TXT"
[ "$(quillan-convert -o - "$sample")" = "$("$build/bin/quillan-convert" -o - "$sample")" ] ||
    fail "the installed quillan-convert converts differently from the built one"
# The command itself links no Qt; several inputs hand over to the runner from
# the program's folder, found through the link.
ldd "$prefix/$pkglibdir/quillan-convert" | grep -q 'libQt' && fail "quillan-convert links Qt"
if grep -qx "$pkglibdir/quillan-convert-net" "$manifest"; then
    cp "$sample" "$scratch/second.html"
    (cd / && quillan-convert --separate "$scratch/page.html" "$scratch/second.html") >"$scratch/separate.out" ||
        fail "quillan-convert through its link cannot run several inputs"
    [ "$(grep -c '^==> ' "$scratch/separate.out")" = 2 ] || fail "quillan-convert --separate gave no two texts"
fi

# The module quillan from where the package puts it, converting as the
# installed command does.
if grep -q 'dist-packages/quillan' "$manifest"; then
    python_dir=$(dirname "$(grep -m1 'dist-packages/quillan' "$manifest")")
    [ "$(cd / && PYTHONPATH="$prefix/$python_dir" python3 -c \
        'import sys, quillan; sys.stdout.write(quillan.to_text(open(sys.argv[1], "rb").read(), kind="readable"))' \
        "$sample")" = "$(quillan-convert --readable -o - "$sample")" ] ||
        fail "the installed module quillan does not convert as quillan-convert --readable"
fi

# quillan-crawl through its link: a job of one archive on a local cluster
# of one worker, converted by the quillan-convert of the program's folder.
printf 'WARC/1.0\r\nWARC-Type: resource\r\nWARC-Target-URI: http://a.test/\r\nContent-Type: text/html\r\nContent-Length: 24\r\n\r\n<p>Crawled page text</p>\r\n\r\n' \
    >"$scratch/site.warc"
(cd / && quillan-crawl --version) | grep -q "$("$prefix/$pkglibdir/quillan-convert" --version | awk '{print $2}')" ||
    fail "quillan-crawl --version does not give the program's version"
if python3 -c 'import distributed' 2>/dev/null; then
    (cd / && timeout 90 quillan-crawl -j 1 -o "$scratch/texts" "$scratch/site.warc") >"$scratch/crawl.log" 2>&1 ||
        fail "quillan-crawl through its link failed: $(cat "$scratch/crawl.log")"
    gzip -dc "$scratch/texts/site.wet.gz" 2>/dev/null | grep -q 'Crawled page text' ||
        fail "quillan-crawl wrote no text of the page: $(cat "$scratch/crawl.log")"
else
    echo "note: no python3-distributed here; quillan-crawl's job through its link is not run"
fi

# The installed registry tools register the installed Netvane (the test's
# own registry, from the environment).
"$prefix/$pkglibdir/regsvr" "$prefix/$pkglibdir/netvane.so" >/dev/null || fail "installed regsvr cannot register Netvane"
# An automation Boolean: -1 true, 0 false.
case $("$prefix/$pkglibdir/dispget" Vanelink.Netvane ConnectedOnline 2>&1) in
    -1|0) ;;
    *) fail "the installed Netvane does not answer through dispget" ;;
esac
"$prefix/$pkglibdir/regsvr" -u "$prefix/$pkglibdir/netvane.so" >/dev/null || fail "installed regsvr cannot unregister Netvane"

# The program, started through its link, reads its picture from its own
# folder (the folder it finds through /proc/self/exe). It opens the picture
# at start-up and keeps it open while the splash plays.
if [ -e "$prefix/bin/quillan" ]; then
    picture=$(readlink -f "$prefix/$pkglibdir/spider14.gif")
    opened_picture() {
        for fd in /proc/"$pid"/fd/*; do
            [ "$(readlink "$fd" 2>/dev/null)" = "$picture" ] && return 0
        done
        return 1
    }
    (cd / && QT_QPA_PLATFORM=offscreen exec "$prefix/bin/quillan") >"$scratch/quillan.log" 2>&1 &
    pid=$!
    wait_for 30 opened_picture || fail "the program started through bin/quillan never opened $picture: $(cat "$scratch/quillan.log")"
    kill -0 "$pid" 2>/dev/null || fail "the program ended on its own: $(cat "$scratch/quillan.log")"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
else
    echo "note: no program in this build; its start through bin/quillan is not checked"
fi

# The manual pages render without complaint.
for page in quillan quillan-convert quillan-crawl; do
    MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>"$scratch/man.err" >"$scratch/man.out" ||
        fail "man $page failed"
    [ -s "$scratch/man.err" ] && fail "man $page: $(cat "$scratch/man.err")"
    grep -q "^NAME" "$scratch/man.out" || fail "man $page has no NAME section"
done
finish
