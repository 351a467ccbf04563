#!/usr/bin/env bash
# Builds the Debian package, lints it, installs it with apt, checks what it put in place, purges
# it and checks that nothing but the users' data is left. Installs and removes the package
# nimbra on this machine: run it as root (or a user who may use sudo) on a test machine.
#
#   tools/package-test.sh [BUILD_DIR]    (default: build-package)
#
# The last line says PASSED or FAILED; the exit status is 0 only when every check passed.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
dir=${1:-build-package}

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi

step="start"
scratch=$(mktemp -d)
installed=false
finish() {
    local status=$?
    rm -rf "$scratch"
    # A failed run leaves the machine as it found it.
    if $installed; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y nimbra >/dev/null 2>&1 ||
            true
    fi
    if ((status == 0)); then
        echo "package test: PASSED"
    else
        echo "package test: FAILED at: $step" >&2
    fi
}
trap finish EXIT

fail() {
    echo "package test: $*" >&2
    exit 1
}

step="build"
tools/package.sh "$dir"
debs=("$dir"/nimbra_*.deb)
((${#debs[@]} == 1)) || fail "expected one package in $dir, found: ${debs[*]}"
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb --field "$deb" Version)
dpkg-deb --field "$deb" Depends | grep -q "libqt6widgets6" ||
    fail "the computed dependencies lack the Qt libraries"

step="lintian"
lintian --info --display-info --fail-on error,warning "$deb"

step="install"
# dpkg's state of nimbra: empty or "... not-installed" once it is gone with its configuration.
package_state() {
    local state
    state=$(dpkg-query -W -f='${Status}' nimbra 2>/dev/null || true)
    [[ $state == *not-installed ]] || echo "$state"
}
# An earlier copy of the same version would stay in place of the one just built.
if [[ -n $(package_state) ]]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y nimbra
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
installed=true
dpkg-query -L nimbra | sort >"$scratch/files"

step="programs"
# The package's own programs, not a copy that `cmake --install` put in /usr/local.
[[ $(/usr/bin/nimbra --version) == "nimbra $version" ]] ||
    fail "nimbra --version does not say $version"
/usr/bin/nimbractl --help | grep -q "^Usage: nimbractl" || fail "nimbractl --help prints no usage"
# The installed nimbractl finds the installed template database.
home="$scratch/home"
log="$scratch/20170304.csv"
printf 'Time,Temperature(C)\n2017-03-04 9:00:00,21.5,40,7.4,21.5\n' >"$log"
HOME=$home /usr/bin/nimbractl import "$log" | grep -q "^1 rows imported" ||
    fail "nimbractl import failed"
exported=$(HOME=$home /usr/bin/nimbractl export | tail -n 1)
[[ $exported == "2017-03-04 09:00:00,21.5,40,7.4,21.5" ]] ||
    fail "nimbractl export does not give back the imported row"

step="desktop files"
[[ -f /usr/lib/udev/rules.d/70-nimbra.rules ]] || fail "the udev rule is missing"
grep -q 'ATTRS{idVendor}=="0483", ATTRS{idProduct}=="5750".*TAG+="uaccess"' \
    /usr/lib/udev/rules.d/70-nimbra.rules || fail "the udev rule does not name the station"
desktop-file-validate /usr/share/applications/nimbra.desktop
for size in 32x32 64x64; do
    [[ -f /usr/share/icons/hicolor/$size/apps/nimbra.png ]] || fail "no $size icon"
done
appstreamcli validate --no-net /usr/share/metainfo/org.nimbra.Nimbra.metainfo.xml
# The release notes the package ships name the release it is.
grep -q "<release version=\"$version\"" /usr/share/metainfo/org.nimbra.Nimbra.metainfo.xml ||
    fail "the AppStream metadata lacks release $version"
zcat /usr/share/doc/nimbra/changelog.gz | sed -n 1p | grep -qF "nimbra ($version)" ||
    fail "the changelog does not start with $version"

step="manual pages"
for program in nimbra nimbractl; do
    page=$(man -w "$program")
    [[ $page == /usr/share/man/man1/$program.1.gz ]] || fail "man -w $program gives '$page'"
done
# Every option and command the programs know is in their manual page (read from its source,
# so that no line break or hyphenation hides a word).
documented() {
    local page=$1
    shift
    local text
    text=$(zcat "$(man -w "$page")" | sed 's/\\-/-/g')
    local word
    for word in "$@"; do
        grep -qE -- "(^|[^a-z-])$word([^a-z-]|$)" <<<"$text" ||
            fail "man $page does not mention $word"
    done
}
# Options stand after a blank, a bracket or a bar; "thermo-hygrometer" is no option.
options_in() {
    grep -oE -- '(^|[][ |])--?[a-z][a-z-]*' | sed 's/^[][ |]//' | sort -u
}
mapfile -t options < <(/usr/bin/nimbra --help | options_in)
documented nimbra "${options[@]}"
mapfile -t commands < <(/usr/bin/nimbractl --help |
    sed -n 's/^.*nimbractl \[--data-folder DIR\] \(\[--simulate\] \)\{0,1\}\([a-z|-]*\).*/\2/p' |
    tr '|' '\n' | grep .)
((${#commands[@]} > 0)) || fail "nimbractl --help lists no command"
mapfile -t options < <(/usr/bin/nimbractl --help | options_in)
options+=("${commands[@]}")
for command in "${commands[@]}"; do
    mapfile -t -O "${#options[@]}" options < <(/usr/bin/nimbractl "$command" --help | options_in)
done
documented nimbractl "${options[@]}"

step="purge"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y nimbra
installed=false
[[ -z $(package_state) ]] || fail "dpkg still knows nimbra: $(package_state)"
# Files must be gone; a folder may stay only while another package owns it or it holds others'
# files.
while read -r path; do
    if [[ -d $path && ! -L $path ]]; then
        if [[ -z $(ls -A "$path") ]] && ! dpkg-query -S "$path" >/dev/null 2>&1; then
            fail "empty folder left behind: $path"
        fi
    elif [[ -e $path || -L $path ]]; then
        fail "left behind: $path"
    fi
done <"$scratch/files"
[[ -f $home/.local/share/KV7100/7100.db ]] || fail "the user's data folder went with the package"
