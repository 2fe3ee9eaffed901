# Shared by scripts/test and scripts/demo: the Debian packages the project needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev nlohmann-json3-dev qt6-base-dev libjpeg-dev
    fonts-liberation)
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix binutils srecord)
# scripts/package: CPack's Debian packages (dpkg-shlibdeps, file), man pages, the Windows zips
# and installer.
PACKAGE_PACKAGES=("${BUILD_PACKAGES[@]}" dpkg-dev file help2man nsis
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
# scripts/check-packages: the checks' runner, Debian's checks, and the installed window on a
# private X display.
PACKAGE_CHECK_PACKAGES=(python3 cmake lintian desktop-file-utils appstream shared-mime-info
    bash-completion man-db xvfb xauth xdotool openbox x11-utils)

InstallPackages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# Starts openbox (with scripts/openbox.xml) on $DISPLAY and returns once it manages the screen:
# a window mapped while the window manager is still starting can stay unmapped for good. Sets
# WM_PID. Needs openbox and x11-utils.
StartWindowManager() {
    openbox --config-file "$(dirname "${BASH_SOURCE[0]}")/openbox.xml" >/dev/null 2>&1 </dev/null &
    WM_PID=$!
    local tries=200
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        tries=$((tries - 1))
        if [ "$tries" -eq 0 ] || ! kill -0 "$WM_PID" 2>/dev/null; then
            echo "openbox did not start on $DISPLAY" >&2
            return 1
        fi
        sleep 0.1
    done
}
