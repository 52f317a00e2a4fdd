#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs what a user would run
# first: every program's --help, --version and an unknown option, and every
# man page through man(1), which must render it without a warning and name
# every option the program's --help lists.
#
#   installed_programs_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/gloam-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for program in gloam gloam-render gloam-check; do
    exe=$prefix/bin/$program
    if [[ ! -x $exe ]]; then
        fail "$program is not installed in bin/"
        continue
    fi

    help=$("$exe" --help) || fail "$program --help exits with $?"
    [[ $help == "usage: $program "* ]] || fail "$program --help does not begin with its usage: ${help:0:80}"

    answer=$("$exe" --version) || fail "$program --version exits with $?"
    [[ $answer =~ ^$program\ ${version//./\\.}(\ \(git\ [0-9a-f]+(-dirty)?\))?$ ]] ||
        fail "$program --version says '$answer', not '$program $version' (and the revision)"

    status=0
    complaint=$("$exe" --no-such-option 2>&1 >/dev/null) || status=$?
    [[ $status -eq 2 ]] || fail "$program --no-such-option exits with $status, not 2"
    [[ $complaint == "$program: unknown option '--no-such-option' (see --help)" ]] ||
        fail "$program --no-such-option says '$complaint'"

    page=$prefix/share/man/man1/$program.1.gz
    if [[ ! -f $page ]]; then
        fail "no man page $program.1.gz in share/man/man1/"
        continue
    fi
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man cannot render $program.1"
    [[ -z $warnings ]] || fail "man warns about $program.1: $warnings"
    text=$(MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
    [[ $text == *"$program - "* ]] || fail "$program.1 has no NAME line"
    for option in $(grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
        grep -qe "$option" <<<"$text" || fail "$program.1 does not explain $option, which $program --help lists"
    done
done

data=$prefix/share/gloam
[[ -f $data/adventure.xsd ]] || fail "the schema is not in share/gloam/"
[[ -f $data/demo/adventures/demo.xml ]] || fail "the demo adventure is not in share/gloam/demo/adventures/"
for script in make-demo-sounds link-demo-plugins; do
    [[ -x $data/tools/$script ]] || fail "share/gloam/tools/$script is missing or not executable"
done
# The documented way to give the demo its plug-ins works from the installed copy.
if [[ -f /usr/lib/ladspa/amp_1181.so ]]; then
    "$data/tools/link-demo-plugins" "$prefix/mydemo/plugins"
    [[ -L $prefix/mydemo/plugins/amp_1181.so ]] || fail "link-demo-plugins made no link to amp_1181.so"
    # Plug-ins are tried in the installed probe first: without it every one
    # would be refused and the filter reported as unknown.
    mkdir -p "$prefix/mydemo/adventures" "$prefix/mydemo/sounds"
    printf '<a><scene><par><filter name="amp"/></par></scene></a>\n' >"$prefix/mydemo/adventures/amp.xml"
    found=$(cd "$prefix/mydemo" && XDG_CACHE_HOME="$prefix/cache" "$prefix/bin/gloam-check" --format json adventures/amp.xml) || true
    [[ $found != *unknown-plugin* && $found != *filter-crashes* ]] ||
        fail "the installed gloam-check does not find its plug-in probe: $found"
fi

[[ $failures -eq 0 ]] || exit 1
echo "installed programs, man pages and data files are in order"
