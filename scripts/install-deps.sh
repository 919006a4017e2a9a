#!/usr/bin/env bash
# Installs the Debian packages that building and running Glintara need (with --package, the
# plugins and the Debian package too; with --test, everything the tests use), and only those
# that are missing. Without root it names the command to run instead.
set -euo pipefail

# What building and running the programs needs: ./run installs these alone.
packages=(
    g++ make cmake pkg-config
    libopencv-dev libxcb1-dev libjpeg-dev libwebp-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
    libavdevice-dev libpipewire-0.3-dev qtbase5-dev
)
# What the plugins and the Debian package need besides (make deb).
plugin_packages=(
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev frei0r-plugins-dev
    dpkg-dev file
)
# What the tests run besides: the hosts of the plugins among them (./test, make test).
test_packages=(
    ffmpeg
    libgtest-dev libgmock-dev
    xvfb xauth xdotool x11-utils imagemagick openbox
    opencv-doc
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-bad melt
    pipewire pipewire-bin pipewire-pulse wireplumber gstreamer1.0-pipewire dbus-daemon
)
case "${1:-}" in
    --test) packages+=("${plugin_packages[@]}" "${test_packages[@]}") ;;
    --package) packages+=("${plugin_packages[@]}") ;;
    # What the benchmark compares against, GStreamer's own kaleidoscope element.
    --bench) packages=(gstreamer1.0-plugins-bad) ;;
    "") ;;
    *) echo "install-deps.sh: unknown option $1" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

command="apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    echo "glintara: missing Debian packages; as root run: apt-get update && $command" >&2
    exit 1
fi

echo "Installing missing packages: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
$command
