#!/bin/bash
# Builds the Debian package from a finished build tree (cpack into a scratch
# folder, nothing is compiled) and checks what a Debian user gets: the files
# and their owners and modes, the control fields, the manual pages, the
# desktop entry, the AppStream metainfo, the bash completion and lintian's
# verdict. Exit 77 (skipped) only when a checker is not installed.
#
#   check_deb.sh BUILD_DIR SOURCE_DIR CPACK [GUI:ON|OFF]
set -u
readonly kSkip=77
build=$1
source=$2
cpack=$3
gui=${4:-ON}

for tool in "$cpack" dpkg-deb lintian appstreamcli desktop-file-validate man groff; do
    if ! command -v "$tool" > /dev/null; then
        echo "SKIP: $tool is not installed"
        exit $kSkip
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

scratch=$(mktemp -d "$build/package-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" > "$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$scratch"/*.deb)
deb=${debs[0]}
[[ -f $deb ]] || { echo "FAIL: no .deb"; exit 1; }

# --- Contents: each file, root-owned, with its mode.
dpkg-deb -c "$deb" > "$scratch/contents"
expect_entry() {
    local mode=$1 path=$2
    grep -qE "^$mode root/root +[0-9]+ [0-9-]+ [0-9:]+ \./$path\$" "$scratch/contents" ||
        fail "no $mode root/root entry ./$path"
}
expect_entry -rwxr-xr-x usr/bin/sonivate-cli
expect_entry -rw-r--r-- usr/share/man/man1/sonivate-cli.1.gz
expect_entry -rw-r--r-- usr/share/bash-completion/completions/sonivate-cli
expect_entry -rw-r--r-- 'usr/lib/systemd/system/sonivate-watch@\.service'
expect_entry -rw-r--r-- usr/share/doc/sonivate/copyright
expect_entry -rw-r--r-- usr/share/doc/sonivate/changelog\.Debian\.gz
expect_entry -rw-r--r-- usr/share/doc/sonivate/examples/watch\.conf
if [[ $gui == ON ]]; then
    expect_entry -rwxr-xr-x usr/bin/sonivate
    expect_entry -rw-r--r-- usr/share/man/man1/sonivate.1.gz
    expect_entry -rw-r--r-- usr/share/applications/sonivate\.desktop
    expect_entry -rw-r--r-- usr/share/metainfo/com\.kovantel\.sonivate\.metainfo\.xml
    expect_entry -rw-r--r-- usr/share/icons/hicolor/scalable/apps/sonivate\.svg
fi
awk '$2 != "root/root" { print "FAIL: not root-owned: " $0; bad = 1 } END { exit bad }' "$scratch/contents" ||
    failures=$((failures + 1))
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: directory mode: " $0; bad = 1 }
     $1 ~ /^-/ && $1 != "-rwxr-xr-x" && $1 != "-rw-r--r--" { print "FAIL: file mode: " $0; bad = 1 }
     END { exit bad }' "$scratch/contents" || failures=$((failures + 1))

# --- Control fields.
for field in Package Version Architecture Maintainer Section Priority Depends Description; do
    dpkg-deb -f "$deb" "$field" | grep -q . || fail "control field $field is empty"
done
[[ $(dpkg-deb -f "$deb" Section) == sound ]] || fail "section is not sound"
# The library dependencies come from the binaries (dpkg-shlibdeps).
dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>=' || fail "Depends lacks the versioned libc6 of shlibdeps"
# The window's Qt dialogs speak Japanese from Qt's own catalogue (qtbase_ja).
if [[ $gui == ON ]]; then
    dpkg-deb -f "$deb" Depends | grep -qE '(^|[ ,])qt6-translations-l10n([ ,(]|$)' ||
        fail "Depends lacks qt6-translations-l10n"
fi
[[ $(dpkg-deb -f "$deb" Description | wc -l) -gt 2 ]] || fail "no extended description"

root=$scratch/root
dpkg-deb -x "$deb" "$root"

# --- Documents Debian asks for.
head -1 "$root/usr/share/doc/sonivate/copyright" |
    grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not machine-readable"
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/sonivate/changelog.Debian.gz" | head -1 | grep -qF "sonivate ($version)" ||
    fail "changelog.Debian.gz does not start with version $version"

# --- Manual pages render without a warning, as lintian renders them.
pages=(sonivate-cli)
[[ $gui == ON ]] && pages+=(sonivate)
for page in "${pages[@]}"; do
    file=$root/usr/share/man/man1/$page.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 > /dev/null)
    [[ -z $warnings ]] || fail "man $page: $warnings"
    warnings=$(zcat "$file" | groff -t -ww -z -man -Tutf8 2>&1)
    [[ -z $warnings ]] || fail "groff $page: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2> /dev/null | grep -q '^EXIT STATUS' || fail "man $page: no EXIT STATUS"
done
# Every reason code the program can give is in the manual.
cli_page=$(zcat "$root/usr/share/man/man1/sonivate-cli.1.gz")
codes=$(grep -oE '^ +\{RowReason::[A-Za-z]+, "[a-z_]+"' "$source/src/app/row_reason.cpp" | grep -oE '"[a-z_]+"' | tr -d '"')
[[ -n $codes ]] || fail "no reason codes read from row_reason.cpp"
for code in $codes; do
    grep -qF "$code" <<< "$cli_page" || fail "sonivate-cli.1 lacks the reason code $code"
done

# --- Desktop entry and metainfo.
if [[ $gui == ON ]]; then
    desktop=$root/usr/share/applications/sonivate.desktop
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    grep -qx 'Exec=sonivate %F' "$desktop" || fail "desktop Exec is not 'sonivate %F'"
    for type in audio/x-wav audio/wav audio/vnd.wave; do
        grep -q "^MimeType=.*$type;" "$desktop" || fail "desktop MimeType lacks $type"
    done
    appstreamcli validate --no-net "$root/usr/share/metainfo/com.kovantel.sonivate.metainfo.xml" ||
        fail "appstreamcli validate"
    grep -qF '<launchable type="desktop-id">sonivate.desktop</launchable>' \
        "$root/usr/share/metainfo/com.kovantel.sonivate.metainfo.xml" || fail "metainfo launchable"
fi

# --- Service template: well-formed, when systemd can check it here.
if command -v systemd-analyze > /dev/null; then
    mkdir "$scratch/unit"
    sed "s#/usr/bin/sonivate-cli#$build/src/cli/sonivate-cli#" \
        "$root/usr/lib/systemd/system/sonivate-watch@.service" > "$scratch/unit/sonivate-watch@.service"
    # Only the manual is not installed on this machine.
    problems=$(cd "$scratch/unit" && systemd-analyze verify ./sonivate-watch@.service 2>&1 | grep -v "Command 'man ")
    [[ -z $problems ]] || fail "systemd-analyze verify: $problems"
fi

# --- Bash completion.
"$source/tests/package/check_completion.sh" "$root/usr/share/bash-completion/completions/sonivate-cli" \
    "$build/src/cli/sonivate-cli" || fail "bash completion"

# --- lintian: no errors; the warnings are listed.
lintian --no-tag-display-limit "$deb" > "$scratch/lintian" 2>&1
cat "$scratch/lintian"
grep -q '^E: ' "$scratch/lintian" && fail "lintian reports errors"

if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed: $deb"
