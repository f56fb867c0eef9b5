#!/usr/bin/env bash
# The Debian package CPack builds: its name, fields and dependencies (every
# library an installed program needs comes from a package it depends on),
# its contents (exactly the install rules' files, owned by root), and its
# maintainer scripts, run in a throw-away root: Netvane registered and the
# System Information tool recorded on install, unregistered on removal, and
# nothing left behind. Lintian finds no error and no warning. The build
# machine itself is never installed to.
#   deb_package_test.sh BUILD_DIR MANIFEST PREFIX PKGLIBDIR [MACHINE_REGISTRY_DIR]
here=$(dirname "$0")
. "$here/lib.sh"
build=$1 manifest=$2 prefix=$3 pkglibdir=$4 machine_registry=${5:-}

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; die "cpack failed"; }
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$scratch/out/quillan_${version}_${arch}.deb
[ -f "$deb" ] || die "no quillan_${version}_${arch}.deb; cpack made: $(ls "$scratch/out")"

# --- control fields ---------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillan ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
[ -n "$depends" ] || fail "no Depends"
field Recommends | grep -qw hardinfo || fail "hardinfo is not recommended"

# --- lintian: no error, no warning --------------------------------------------
command -v lintian >/dev/null || die "lintian is missing (scripts/setup.sh installs it)"
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1 ||
    fail "lintian finds faults in the package:"$'\n'"$(grep -v 'running with root' "$scratch/lintian")"

# --- contents ----------------------------------------------------------------
dpkg-deb -c "$deb" >"$scratch/contents" || die "dpkg-deb -c failed"
awk '{print $2}' "$scratch/contents" | sort -u | grep -vx 'root/root' >"$scratch/owners" &&
    fail "files not owned by root: $(cat "$scratch/owners")"
root=$scratch/root
dpkg-deb -x "$deb" "$root" || die "dpkg-deb -x failed"
diff <(sed "s|^|${prefix#/}/|" "$manifest" | LC_ALL=C sort) <(tree_list "$root") >"$scratch/diff" ||
    fail "package contents differ from the install rules:"$'\n'"$(cat "$scratch/diff")"
# Stripped programs, and nothing naming the build machine's folders.
grep -rlF "$build" "$root" >"$scratch/leaks" && fail "files naming the build folder: $(cat "$scratch/leaks")"

# Every library an installed program loads comes from a package named in
# Depends (the package's own folder aside).
tr ',|' '\n\n' <<<"$depends" | awk '{print $1}' | sed 's/:.*//' | grep . >"$scratch/depends"
owner_of() {
    local path=$1 pkg
    for candidate in "$path" "${path#/usr}" "/usr$path"; do
        pkg=$(dpkg -S "$candidate" 2>/dev/null | grep -v '^diversion' | head -1 | cut -d: -f1) &&
            [ -n "$pkg" ] && { echo "$pkg"; return 0; }
    done
    return 1
}
while IFS= read -r elf; do
    rel=${elf#"$root"/}
    ldd "$elf" >"$scratch/ldd" 2>&1
    # The libraries it names itself (what the libraries need in turn is
    # their packages' business), found where the loader finds them.
    for soname in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
        [ -e "$root$prefix/$pkglibdir/$soname" ] && continue
        # "libx.so.1 => /path (address)", or "/path/ld-linux.so.2 (address)"
        # for the loader itself.
        path=$(awk -v so="$soname" '$1 == so && $2 == "=>" {print $3}
            $2 != "=>" && substr($1, length($1) - length(so)) == "/" so {print $1}' "$scratch/ldd" | head -1)
        [ -n "$path" ] && [ "$path" != "not" ] || { fail "$rel: $soname not found"; continue; }
        pkg=$(owner_of "$path") || { fail "$rel: no package holds $path"; continue; }
        grep -qxF "$pkg" "$scratch/depends" || fail "$rel needs $soname from $pkg, which Depends lacks"
    done
done < <(elf_files "$root")

if [ "$(id -u)" -eq 0 ]; then
    # What apt would say on this machine, without installing anything.
    if ! dpkg --dry-run -i "$deb" >"$scratch/dry.log" 2>&1; then
        if grep -q 'lock' "$scratch/dry.log"; then
            echo "note: dpkg is busy; dpkg --dry-run skipped"
        else
            fail "dpkg --dry-run -i: $(cat "$scratch/dry.log")"
        fi
    fi
fi

# --- maintainer scripts in the throw-away root -------------------------------
control=$scratch/control
dpkg-deb -e "$deb" "$control" || die "dpkg-deb -e failed"
for script in postinst prerm postrm; do
    [ -x "$control/$script" ] || die "no executable $script"
    sh -n "$control/$script" || fail "$script: shell syntax"
done

lib=$root$prefix/$pkglibdir
# Stripping kept what Netvane carries beside its code.
"$lib/regsvr" -i "$lib/netvane.so" | grep -q '^Resource TYPELIB' || fail "the packaged netvane.so lost its type library"
registry_env=(env -u QUILLAN_REGISTRY_DIR)
[ -n "$machine_registry" ] && registry_env+=(QUILLAN_MACHINE_REGISTRY_DIR="$root$machine_registry")
# ConnectedOnline, an automation Boolean (-1 or 0), or an error.
online() { "${registry_env[@]}" "$lib/dispget" Vanelink.Netvane ConnectedOnline 2>&1; }
sysinfo() { "${registry_env[@]}" "$lib/reg" query 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO' /v PATH 2>&1; }
maint() { DPKG_ROOT=$root DPKG_MAINTSCRIPT_NAME=$1 "$control/$1" "${@:2}"; }

case $(online) in -1|0) fail "Netvane answers before the package registered it" ;; esac
maint postinst configure || fail "postinst configure failed"
case $(online) in -1|0) ;; *) fail "Netvane is not registered after postinst: $(online)" ;; esac
sysinfo | grep -q '/usr/bin/hardinfo' || fail "the System Information tool is not recorded: $(sysinfo)"
if [ -n "$machine_registry" ]; then
    [ -n "$(ls -A "$root$machine_registry" 2>/dev/null)" ] || fail "nothing written to $machine_registry"
    [ "$(stat -c %a "$root$machine_registry")" = 755 ] || fail "$machine_registry is not readable by all, writable by root only"
fi
# Configuring again (reinstall) works; a value the administrator set stays.
"${registry_env[@]}" "$lib/reg" add 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO' /v PATH /d /opt/tools/sysinfo /f >/dev/null
maint postinst configure 1.4.2 || fail "postinst configure (again) failed"
sysinfo | grep -q '/opt/tools/sysinfo' || fail "postinst replaced the administrator's System Information tool"
# An upgrade keeps the registration.
maint prerm upgrade 1.4.2 || fail "prerm upgrade failed"
case $(online) in -1|0) ;; *) fail "prerm upgrade unregistered Netvane" ;; esac

maint prerm remove || fail "prerm remove failed"
case $(online) in -1|0) fail "Netvane still answers after prerm remove" ;; esac
sysinfo | grep -q '/opt/tools/sysinfo' || fail "prerm removed a value the package did not record"
# dpkg removes the package's files, then postrm runs.
while IFS= read -r f; do rm -f "$root/${prefix#/}/$f"; done <"$manifest"
maint postrm remove || fail "postrm remove failed"
maint postrm purge || fail "postrm purge failed"
left=$(cd "$root" && find . -mindepth 1 \( -type f -o -type l \) -printf '%P\n')
[ -z "$left" ] || fail "left behind after removal: $left"
[ -e "$root/var/lib/quillan" ] && fail "var/lib/quillan left behind"
finish
