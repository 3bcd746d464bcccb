#!/usr/bin/env bash
# Installs the Debian packages Orvelle needs (only those missing), then
# configures and builds it incrementally in ./build.
#   setup.sh [--bench]   --bench: also the duplicate finders, GNU time and the
#                        wallpapers that bench/make-corpus.py and bench/run-bench.sh use,
#                        and LibreOffice for bench/compare-metafiles.py
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bench=false
for arg in "$@"; do
    case $arg in
        --bench) bench=true ;;
        *)
            echo "usage: setup.sh [--bench]" >&2
            exit 2
            ;;
    esac
done

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libjpeg62-turbo-dev libjpeg-turbo-progs libxxhash-dev libsimpleini-dev libgtest-dev libbenchmark-dev
    xvfb xauth imagemagick xdg-utils fonts-ipafont-gothic fonts-ipafont-mincho fonts-liberation
    # Metafile text: the signs of the picture fonts (Symbol, Wingdings, Webdings),
    # and the scripts Liberation and IPA lack, which Qt falls back to: Arabic
    # (DejaVu), Chinese and Korean (WenQuanYi Micro Hei), Thai (Garuda).
    fonts-symbola fonts-dejavu-core fonts-wqy-microhei fonts-tlwg-garuda-ttf
    # The sanitizer builds and the fuzz targets (scripts/sanitize.sh): clang,
    # its sanitizer and libFuzzer runtimes (only recommended by clang-14, so
    # named here), the symbolizer for readable reports, and gcc's
    # LeakSanitizer runtime for the window tests.
    clang-14 libclang-rt-14-dev llvm-14 liblsan0
    # The installation's tests (tests/packaging/): the desktop entry's and the
    # metainfo's validators, and the manual pages' formatter; and
    # dpkg-shlibdeps, which cpack asks for the package's library dependencies.
    desktop-file-utils appstream groff-base dpkg-dev
)
if $bench; then
    packages+=(
        jdupes rdfind fdupes rmlint findimagedupes time python3
        gnome-backgrounds mate-backgrounds plasma-workspace-wallpapers
        # bench/compare-metafiles.py: the reference renderer and the image tools.
        libreoffice-draw-nogui poppler-utils imagemagick fonts-dejavu-core
    )
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

build="$top/build"
if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)"
