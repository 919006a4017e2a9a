#!/usr/bin/env bash
# Installs the Debian packages that building and running Glintara need (with --test, testing
# too), and only those that are missing. Without root it names the command to run instead.
set -euo pipefail

# What building and running the programs needs: ./run installs these alone.
packages=(
    g++ make cmake pkg-config
    libopencv-dev libxcb1-dev libjpeg-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
)
# With --test: what the tests and the GStreamer element need besides (./test, make test).
if [[ "${1:-}" == "--test" ]]; then
    packages+=(
        ffmpeg
        libgtest-dev libgmock-dev
        xvfb xauth xdotool x11-utils imagemagick openbox
        opencv-doc
        libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
        gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    )
fi
# With --bench: what the benchmark compares against, GStreamer's own kaleidoscope element.
if [[ "${1:-}" == "--bench" ]]; then
    packages=(gstreamer1.0-plugins-bad)
fi

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
