#!/bin/bash
# Installs the build into a temporary prefix and builds tests/consumer
# against it twice, with find_package(genreg) and with pkg-config, then runs
# both programs. Catches an install that lacks a header, a package file or
# the library, a package that points back into the build tree, and public
# headers that do not compile on their own. The genreg command, its bash
# completion and (when the build writes it) its man page are installed too,
# and the command runs from the moved prefix without LD_LIBRARY_PATH.
#
#   infra_consumer.sh BUILD_DIR SOURCE_DIR CXX_COMPILER LIBDIR [BINDIR MANDIR|-]
set -euo pipefail
build=$1
source=$2
cxx=$3
libdir=$4
bindir=${5:-}
mandir=${6:--}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
command_files=()
if [ -n "$bindir" ]; then
    command_files+=("$bindir/genreg" share/bash-completion/completions/genreg)
    [ "$mandir" != - ] && command_files+=("$mandir/man1/genreg.1")
fi
missing=0
for file in include/genreg/genreg.h include/genreg/export.h include/genreg/rc.h \
    "$libdir/libQVRGENREG_ZAVOVOV364.so" "$libdir/pkgconfig/genreg.pc" \
    "$libdir/cmake/genreg/genregConfig.cmake" "$libdir/cmake/genreg/genregConfigVersion.cmake" \
    "$libdir/cmake/genreg/genregTargets.cmake" share/genreg/python/genreg.py \
    "${command_files[@]}"; do
    if [ ! -f "$prefix/$file" ]; then
        echo "not installed: $file"
        missing=1
    fi
done
[ "$missing" -eq 0 ]

# The installed tree must stand alone: move it so that no path into the
# build or the first prefix can still work.
mv "$prefix" "$work/moved"
prefix=$work/moved

if [ -n "$bindir" ]; then
    echo "--- genreg from the moved prefix"
    (unset LD_LIBRARY_PATH && "$prefix/$bindir/genreg" version 9.7.4.0)
fi

if command -v python3 >/dev/null; then
    echo "--- the Python module from the moved prefix"
    PYTHONPATH="$prefix/share/genreg/python" \
        GENREG_LIBRARY="$prefix/$libdir/libQVRGENREG_ZAVOVOV364.so" \
        python3 -B -c 'import genreg; print(genreg.version_to_string(genreg.version_from_number(9070400)))'
fi

echo "--- find_package(genreg)"
cmake -S "$source/tests/consumer" -B "$work/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work/with-cmake"
"$work/with-cmake/consumer" "$work"

echo "--- pkg-config genreg"
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs genreg)
echo "pkg-config: $flags"
# shellcheck disable=SC2086  # the flags are words
"$cxx" -std=c++17 -Wall -Wextra -Werror -o "$work/with-pkg-config" \
    "$source/tests/consumer/consumer.cpp" $flags
LD_LIBRARY_PATH="$prefix/$libdir" "$work/with-pkg-config" "$work"
