# Shared by scripts/test and scripts/demo: the Debian packages the project needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev nlohmann-json3-dev qt6-base-dev libjpeg-dev
    fonts-liberation)
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix binutils srecord)
# scripts/package: CPack's Debian packages (dpkg-shlibdeps, file), man pages, the Windows zips
# and installer.
PACKAGE_PACKAGES=("${BUILD_PACKAGES[@]}" dpkg-dev file help2man nsis
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
# scripts/check-packages: the checks' runner, Debian's checks, the installed window on a
# private X display, srec_cat for the simulator's man page example, and 7z to read the
# installers.
PACKAGE_CHECK_PACKAGES=(python3 cmake lintian desktop-file-utils appstream shared-mime-info
    bash-completion man-db xvfb xauth xdotool openbox x11-utils srecord p7zip-full)
# scripts/wine-test: Wine's checks drive the window on a private X display. wine64 itself is
# installed on its own, so that a machine without it still reaches the checks that say so.
WINE_PACKAGES=("${BUILD_PACKAGES[@]}" python3 cmake g++-mingw-w64-x86-64-posix srecord xvfb
    xauth xdotool imagemagick openbox x11-utils fonts-liberation fonts-dejavu-extra)
# The guest's checks: QEMU, the initramfs packer, and a static build of the command-line tool.
GUEST_PACKAGES=("${BUILD_PACKAGES[@]}" python3 qemu-system-x86 cpio)

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

# What Wine's checks run besides the installer (scripts/package installer): the x86_64 programs
# with morvik2-inspect.exe, the simulator.
BuildForWine() {
    InstallPackages wine64 || echo "the wine64 package could not be installed"
    cmake --preset windows >/dev/null
    cmake --build build/windows --target morvik2-flash morvik2-update morvik2-inspect
    cmake --preset release >/dev/null
    cmake --build build/release --target morvik2-sim
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
