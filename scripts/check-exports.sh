#!/bin/bash
# Fails when the shipped library exports a symbol outside its public
# interface: internal units (log, streams, OSSHFile, transactions) and
# standard-library template instantiations must stay hidden, or callers start
# to depend on them and two copies of the C++ runtime can meet across the
# DLL boundary.
#
#   check-exports.sh LIBRARY        libQVRGENREG_ZAVOVOV364.so (nm -DC) or
#                                   QVRGENREG_ZAVOVOV364.dll (objdump -p)
#   check-exports.sh --names FILE   one demangled name a line ("-": stdin)
#
# Prints every name that is not allowed and exits 1 when there is one. A
# library must also export every function of the C interface
# (include/genreg/genreg_c.h) by its plain, undecorated name: a C name that
# lost its extern "C" would appear mangled, and one with a calling
# convention's decoration as _name or name@N, and neither can be called by
# another toolchain.
set -euo pipefail

# One extended regular expression a line, matched against demangled names.
allowed_patterns() {
    cat <<'PATTERNS'
^(typeinfo (name )?for )?(GenRegBase|GenRegFile|GenRegText|GenRegBin|GenRegVarVal|GenRegServices|GenRegBinVarVal|GlobalReg)(::|$)
^GenRegReadLine\(
^GenRegWriteLine\(
^oss[A-Za-z]*Version[A-Za-z]*\(
^oss(Open|Close)(Instance|Service)List\(
^ossGetNext(Instance|Service)\(
^oss(Get|Set|Remove)(Instance|Service)Info\(
^genregRc[A-Za-z]*\(
^genregSet[A-Za-z]*File\(
^genregSetLogCallback\(
^genreg_[a-z0-9_]+$
^GetGlobalRegPathName\(
^UpgradeServiceLevels\(
^bCompactFormattedLine$
^qvrThisIsAQVRLibrary$
PATTERNS
}

die() { echo "check-exports: $*" >&2; exit 2; }

c_header=$(cd "$(dirname "$0")/.." && pwd)/include/genreg/genreg_c.h

# The functions the C interface declares, one a line.
declared_c_names() {
    grep -E '^GENREG_API' "$c_header" | grep -oE '\bgenreg_[a-z0-9_]+\(' | tr -d '(' | sort -u
}

demangle() {
    if command -v x86_64-w64-mingw32-c++filt >/dev/null; then
        x86_64-w64-mingw32-c++filt
    else
        c++filt
    fi
}

# Writes the library's exported names, demangled, one a line.
exported_names() {
    local library=$1
    case "$library" in
    *.dll)
        # The export table's names follow "[Ordinal/Name Pointer] Table"
        # as "[   3] name" lines, up to the next blank line.
        x86_64-w64-mingw32-objdump -p "$library" |
            awk '/^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
                 names && /^[ \t]*$/ { names = 0 }
                 names && /^[ \t]*\[ *[0-9]+\]/ { print $NF }' |
            demangle
        ;;
    *)
        # "0000000000004fcf T genregRcName(unsigned int)": drop address and kind.
        nm -DC --defined-only "$library" | sed -E 's/^[0-9a-fA-F]* +[A-Za-z] +//'
        ;;
    esac
}

if [ "${1:-}" = "--names" ]; then
    [ $# -eq 2 ] || die "usage: $0 --names FILE"
    names=$(cat "$2")
    what=$2
else
    [ $# -eq 1 ] || die "usage: $0 LIBRARY | --names FILE"
    [ -f "$1" ] || die "no such library: $1"
    names=$(exported_names "$1")
    what=$(basename "$1")
fi

total=$(printf '%s\n' "$names" | grep -c . || true)
rejected=$(printf '%s\n' "$names" | grep . | grep -v -E -f <(allowed_patterns) || true)
if [ -n "$rejected" ]; then
    count=$(printf '%s\n' "$rejected" | grep -c .)
    echo "$what: $count of $total exported names are not part of the public interface:"
    printf '%s\n' "$rejected" | sort -u | sed 's/^/  /'
    exit 1
fi
if [ "${1:-}" != "--names" ]; then
    missing=$(comm -23 <(declared_c_names) <(printf '%s\n' "$names" | sort -u))
    if [ -n "$missing" ]; then
        echo "$what: C functions of genreg_c.h not exported by their plain names:"
        printf '%s\n' "$missing" | sed 's/^/  /'
        exit 1
    fi
    echo "$what: all $(declared_c_names | grep -c .) C functions are exported undecorated"
fi
echo "$what: all $total exported names are part of the public interface"
