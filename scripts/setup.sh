#!/bin/sh
# Installs everything the build, the tests and the examples need on Debian 12.
# Run as root (or through sudo). Safe to run again.
set -eu
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
    build-essential cmake g++ clang libclang-rt-14-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    python3 valgrind gnuplot-nox man-db groff-base \
    libmpfr-dev libgmp-dev libblas-dev liblapack-dev >/dev/null
