#!/usr/bin/env bash
# Builds the Debian package of this build folder with CPack and checks what a
# user installs: its fields, its file list, and that its Depends name the
# Debian package of every library the programs link (and no -dev package).
#
#   debian_package_test.sh BUILD_DIR VERSION PREFIX
set -euo pipefail
build=$1
version=$2
prefix=${3#/}
work=$(mktemp -d "${TMPDIR:-/tmp}/gloam-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Uncompressed and unstripped it is the same package, made faster.
(cd "$work" && cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=none -D CPACK_STRIP_FILES=OFF >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    exit 1
}
packages=("$work"/out/gloam_*.deb)
[[ ${#packages[@]} -eq 1 && -f ${packages[0]} ]] || { echo "FAIL: cpack made no gloam_*.deb" >&2; exit 1; }
deb=${packages[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "gloam_${version}_${arch}.deb" ]] || fail "the package is called $(basename "$deb")"

[[ $(dpkg-deb -f "$deb" Package) == gloam ]] || fail "Package is not gloam"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version is not $version"
[[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || fail "Architecture is not $arch"
[[ -n $(dpkg-deb -f "$deb" Description) ]] || fail "no Description"

expected=$(printf '%s\n' \
    "./$prefix/bin/gloam" "./$prefix/bin/gloam-check" "./$prefix/bin/gloam-render" \
    "./$prefix/libexec/gloam/gloam-plugin-probe" \
    "./$prefix/share/gloam/adventure.xsd" "./$prefix/share/gloam/demo/adventures/demo.xml" \
    "./$prefix/share/gloam/tools/link-demo-plugins" "./$prefix/share/gloam/tools/make-demo-sounds" \
    "./$prefix/share/man/man1/gloam-check.1.gz" "./$prefix/share/man/man1/gloam-render.1.gz" \
    "./$prefix/share/man/man1/gloam.1.gz" | sort)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[[ $files == "$expected" ]] || fail "the package holds other files than expected:
$(diff <(echo "$expected") <(echo "$files") || true)"

# Every program and script is executable by everyone.
while read -r mode _ _ _ _ path; do
    [[ $mode == -rwxr-xr-x ]] || fail "$path is $mode"
done < <(dpkg-deb -c "$deb" | grep -E ' \./[^ ]*/(bin|tools|libexec/gloam)/[^/]+$')

depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *([^ (]+).*/\1/' | sort -u)
[[ -n $names ]] || fail "the package depends on nothing"
grep -q -- '-dev$' <<<"$names" && fail "Depends names a development package: $depends"

# The libraries the programs really link (the packaged files are these,
# stripped), and the Debian packages they come from.
for program in gloam gloam-render gloam-check; do
    for library in $(objdump -p "$build/$program" | awk '/NEEDED/ {print $2}'); do
        path=$(ldconfig -p | awk -v lib="$library" '!found && $1 == lib && /x86-64|AArch64|64bit/ {print $NF; found = 1}')
        [[ -z $path ]] && path=$(ldconfig -p | awk -v lib="$library" '!found && $1 == lib {print $NF; found = 1}')
        [[ -n $path ]] || { fail "$program links $library, which ldconfig does not know"; continue; }
        owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n1 | cut -d: -f1) ||
            owner=$(dpkg -S "$path" 2>/dev/null | head -n1 | cut -d: -f1) || true
        [[ -n $owner ]] || { fail "no Debian package holds $library"; continue; }
        grep -qx -- "$owner" <<<"$names" || fail "$program links $library from $owner, which Depends does not name: $depends"
    done
done
# And nothing beyond them: each dependency is a package that is installed here.
for name in $names; do
    dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null | grep -q installed ||
        fail "Depends names $name, which is not an installed Debian package"
done

[[ $failures -eq 0 ]] || exit 1
echo "$(basename "$deb"): $(wc -c <"$deb") bytes uncompressed; Depends: $depends"
