#!/usr/bin/env bash
# Output identity of quillan-convert: the texts a build writes, recorded once
# and compared with another build's, byte for byte.
#
# Every page of the three shared corpora (text-corpus, extraction-corpus,
# multilingual-corpus) is converted in the three kinds of text (stripped,
# --readable, --article) on four roads:
#   file     quillan-convert [KIND] PAGE -o OUT, a process per page
#   stdin    quillan-convert [KIND] < PAGE > OUT, a process per page
#   batch    quillan-convert [KIND] -j 2 --out-dir DIR PAGE... (handed over to
#            quillan-convert-net), a run per corpus and kind
#   archive  quillan-convert --warc [KIND] --format wet|jsonl, and WET into a
#            .gz output, over a WARC of the corpus built by identity.py (a gzip
#            member per record, fixed dates and record ids, Content-Type
#            text/html without a charset, so the program sniffs it)
# The manifest has a line per road, kind, corpus and page (or archive output):
#   ROAD KIND CORPUS ITEM exit=STATUS SHA256
# sorted, so that two records of the same build are the same file. An archive
# output has a line for the whole output and one per record in it; the random
# record ids and the warcinfo record's date (the time of the run) are
# normalised first (see identity.py); a .gz output is digested inflated.
# Standard error is not recorded. A record takes about three minutes on two
# cores, printing a line per road and kind (pages, seconds).
#
#   outputs.sh record BIN_DIR MANIFEST [SHARED]   write MANIFEST
#   outputs.sh check BIN_DIR MANIFEST [SHARED]    exit 1 on any difference
#   outputs.sh compare OLD_BIN NEW_BIN [SHARED]   record OLD_BIN, check NEW_BIN
# SHARED (or $QUILLAN_SHARED) is the folder of the corpora, by default
# ../shared beside the repository.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
helper=$here/identity.py
corpora=(text-corpus extraction-corpus multilingual-corpus)
kinds=(strip readable article)

die() {
  echo "outputs.sh: $*" >&2
  exit 2
}

kind_flag() {
  case $1 in
  strip) ;;
  readable) echo --readable ;;
  article) echo --article ;;
  *) die "unknown kind $1" ;;
  esac
}

# One page on the file or the standard input road; prints its manifest line.
# Runs under xargs, in a shell of its own.
one_page() {
  local bin=$1 road=$2 kind=$3 corpus=$4 page=$5 out=$6
  local flag rc=0
  flag=$(kind_flag "$kind")
  case $road in
  file) "$bin/quillan-convert" ${flag:+"$flag"} "$page" -o "$out" 2>/dev/null || rc=$? ;;
  stdin) "$bin/quillan-convert" ${flag:+"$flag"} <"$page" >"$out" 2>/dev/null || rc=$? ;;
  esac
  local sum=missing
  [ -f "$out" ] && sum=$(sha256sum <"$out" | cut -d' ' -f1)
  rm -f "$out"
  printf '%s\t%s\t%s\t%s\texit=%s\t%s\n' "$road" "$kind" "$corpus" \
    "$(basename "$page")" "$rc" "$sum"
}

summary() { # road kind pages start
  printf '%-8s %-9s %4d pages %6ds\n' "$1" "$2" "$3" $((SECONDS - $4)) >&2
}

record() {
  local bin=$1 manifest=$2 shared=$3
  local prog
  for prog in quillan-convert quillan-convert-net; do
    [ -x "$bin/$prog" ] || die "$bin/$prog is missing"
  done
  command -v python3 >/dev/null || die "python3 is missing"
  local c
  for c in "${corpora[@]}"; do
    [ -d "$shared/$c/pages" ] || die "$shared/$c/pages is missing"
  done
  bin=$(cd "$bin" && pwd)

  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/outputs.XXXXXX")
  # shellcheck disable=SC2064 # the folder is known now
  trap "rm -rf '$work'" EXIT
  local lines=$work/lines pages
  : >"$lines"

  local road kind corpus start n page total=0
  for corpus in "${corpora[@]}"; do
    pages=("$shared/$corpus/pages"/*.html)
    total=$((total + ${#pages[@]}))
  done
  for road in file stdin; do
    for kind in "${kinds[@]}"; do
      start=$SECONDS
      for corpus in "${corpora[@]}"; do
        mkdir -p "$work/$road/$kind/$corpus"
        for page in "$shared/$corpus/pages"/*.html; do
          printf '%s\0%s\0%s\0%s\0%s\0%s\0' "$bin" "$road" "$kind" "$corpus" \
            "$page" "$work/$road/$kind/$corpus/$(basename "$page").out"
        done
      done | xargs -0 -n 6 -P 2 bash -c "$(declare -f kind_flag one_page die); one_page \"\$@\"" one_page >>"$lines"
      summary "$road" "$kind" "$total" "$start"
    done
  done

  local dir rc name
  for kind in "${kinds[@]}"; do
    start=$SECONDS
    n=0
    for corpus in "${corpora[@]}"; do
      dir=$work/batch/$kind/$corpus
      pages=("$shared/$corpus/pages"/*.html)
      rc=0
      # shellcheck disable=SC2046 # the flag is one word or none
      "$bin/quillan-convert" $(kind_flag "$kind") -q -j 2 --out-dir "$dir" \
        "${pages[@]}" 2>/dev/null || rc=$?
      n=$((n + ${#pages[@]}))
      if [ -d "$dir" ]; then
        for name in "$dir"/*; do
          [ -e "$name" ] || continue
          printf 'batch\t%s\t%s\t%s\texit=%s\t%s\n' "$kind" "$corpus" \
            "$(basename "$name")" "$rc" "$(sha256sum <"$name" | cut -d' ' -f1)"
        done >>"$lines"
      fi
      printf 'batch\t%s\t%s\t(run)\texit=%s\t-\n' "$kind" "$corpus" "$rc" >>"$lines"
      rm -rf "$dir"
    done
    summary batch "$kind" "$n" "$start"
  done

  local warcs=$work/warcs format split out item
  mkdir -p "$warcs"
  for corpus in "${corpora[@]}"; do
    python3 "$helper" warc "$warcs/$corpus.warc.gz" "$corpus" "$shared/$corpus/pages"
  done
  for kind in "${kinds[@]}"; do
    for format in wet jsonl wet.gz; do
      start=$SECONDS
      for corpus in "${corpora[@]}"; do
        # The output's name goes into the warcinfo record: the same on every run.
        dir=$work/archive/$kind/$format/$corpus
        mkdir -p "$dir"
        out=$dir/$corpus.$format
        split=${format%.gz}
        rc=0
        # shellcheck disable=SC2046
        "$bin/quillan-convert" --warc $(kind_flag "$kind") --format "$split" \
          "$warcs/$corpus.warc.gz" -o "$out" 2>/dev/null || rc=$?
        if [ -f "$out" ]; then
          python3 "$helper" split "$split" "$out" | while IFS=$'\t' read -r item sum; do
            printf 'archive\t%s\t%s\t%s:%s\texit=%s\t%s\n' "$kind" "$corpus" \
              "$format" "$item" "$rc" "$sum"
          done >>"$lines"
        else
          printf 'archive\t%s\t%s\t%s:(whole output)\texit=%s\tmissing\n' \
            "$kind" "$corpus" "$format" "$rc" >>"$lines"
        fi
        rm -rf "$dir"
      done
      summary archive "$kind/$format" "$total" "$start"
    done
  done

  LC_ALL=C sort "$lines" >"$manifest.tmp.$$"
  mv "$manifest.tmp.$$" "$manifest"
  echo "outputs.sh: $(wc -l <"$manifest") lines in $manifest" >&2
}

# Prints the lines of the two manifests that differ, by road, kind, corpus and
# item, and their count; fails when there is any.
differences() {
  local old=$1 new=$2
  LC_ALL=C awk -F'\t' '
    NR == FNR { was[$1 "\t" $2 "\t" $3 "\t" $4] = $5 " " $6; next }
    {
      key = $1 "\t" $2 "\t" $3 "\t" $4
      now = $5 " " $6
      if (!(key in was)) { print "new      " key "\t" now; n++ }
      else if (was[key] != now) { print "differs  " key "\t" was[key] " -> " now; n++ }
      delete was[key]
    }
    END {
      for (key in was) { print "missing  " key "\t" was[key]; n++ }
      print (n + 0) " differences"
      exit n > 0
    }' "$old" "$new"
}

# Files of the top-level shell removed on exit; a record, run in a subshell,
# removes its own folder.
leftovers=()
trap 'rm -f "${leftovers[@]}"' EXIT

check() {
  local bin=$1 manifest=$2 shared=$3
  [ -f "$manifest" ] || die "$manifest is missing"
  local now
  now=$(mktemp "${TMPDIR:-/tmp}/outputs-manifest.XXXXXX")
  leftovers+=("$now")
  (record "$bin" "$now" "$shared")
  differences "$manifest" "$now"
}

[ $# -ge 3 ] || die "usage: outputs.sh record|check BIN_DIR MANIFEST [SHARED]
       outputs.sh compare OLD_BIN NEW_BIN [SHARED]"
mode=$1
shared=${4:-${QUILLAN_SHARED:-$root/../shared}}
case $mode in
record) (record "$2" "$3" "$shared") ;;
check) check "$2" "$3" "$shared" ;;
compare)
  before=$(mktemp "${TMPDIR:-/tmp}/outputs-before.XXXXXX")
  leftovers+=("$before")
  (record "$2" "$before" "$shared")
  check "$3" "$before" "$shared"
  ;;
*) die "unknown mode $mode" ;;
esac
