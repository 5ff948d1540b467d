# Sourced by the scripts that build: makes sure the Debian packages they
# need are installed. As root, apt-get installs the missing ones; otherwise
# the script stops and says exactly what to install.
#
#   . scripts/packages.sh
#   genreg_need_packages SCRIPT-NAME PACKAGE...
#
# On a system without dpkg nothing is checked: the build says what it lacks.

genreg_need_packages() {
    local who=$1
    shift
    command -v dpkg-query >/dev/null 2>&1 || return 0
    local package missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
        echo "$who: installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q || return 1
        apt-get install -y -q --no-install-recommends "${missing[@]}" || return 1
        return 0
    fi
    echo "$who: needs the packages ${missing[*]}; install them with:" >&2
    echo "    sudo apt-get install ${missing[*]}" >&2
    return 1
}

# What every build of the tree needs.
GENREG_BUILD_PACKAGES=(cmake g++ make pkg-config)
# What scripts/test-all.sh needs on top: GoogleTest, the sanitizers and
# libFuzzer (clang), the MinGW-w64 cross build and Wine, pandoc for the man
# page, man to render it, the tools the build checks use, and python3 for
# the test of the Python module over the C interface.
GENREG_TEST_PACKAGES=(libgtest-dev googletest clang libclang-rt-14-dev mingw-w64 wine64 wine
                      pandoc man-db git file binutils python3)
