# Shared by run.sh and test.sh: installs the Debian packages that are missing.
# Usage: ensure_packages PKG...
ensure_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The packages every build needs.
BUILD_PACKAGES=(g++ make cmake nlohmann-json3-dev qt6-base-dev libchm-dev fp-utils)
# What the tests and benchmarks add (the install test checks the installed files
# and builds and checks the Debian package with the last seven).
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev desktop-file-utils appstream libxml2-utils
               man-db dpkg-dev file lintian)
# The Windows build of the core and the tool, and Wine to run its tests.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix googletest wine wine64)

JOBS=2
