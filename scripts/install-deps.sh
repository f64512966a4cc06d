#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test
# Tweenwright, and the comma-decimal locale that one of the tests switches to.
# libqt6svg6 draws the window's SVG icon; the validators, dpkg-dev (dpkg-shlibdeps,
# with file) and x11-utils (xprop) serve the install and package tests, with
# lintian, xmllint (libxml2-utils), update-mime-database (shared-mime-info) and
# groff for the package's checks; nlohmann-json reads and writes the document's
# JSON form and CLI11 the command line; clang with its sanitizer and fuzzer
# runtimes builds the fuzz targets. FFmpeg's libraries (found through
# pkg-config) encode renders: videos, GIFs and PNG frames. libsndfile decodes a
# speech track and libsamplerate resamples it for Qt Multimedia's sound output;
# the tests play sound into a PulseAudio server of their own (a null sink) and
# make their sound files with sox and espeak-ng.
set -euo pipefail

packages=(cmake g++ ninja-build libgtest-dev libbenchmark-dev qt6-base-dev
          xvfb xauth xdotool xclip fonts-dejavu-core locales
          libqt6svg6 desktop-file-utils appstream dpkg-dev file x11-utils
          clang libclang-rt-14-dev
          nlohmann-json3-dev libcli11-dev lintian libxml2-utils shared-mime-info groff-base
          pkg-config libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
          libsndfile1-dev libsamplerate0-dev qt6-multimedia-dev
          pulseaudio pulseaudio-utils sox espeak-ng)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
