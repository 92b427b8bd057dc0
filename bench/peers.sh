#!/bin/sh
# Runs the peer yardsticks beside this build's three programs: the whole
# process of each, median of BENCH_RUNS runs (default 3), and the ratios.
#   sh bench/peers.sh [BUILD_DIR] [--quick]
# The peers need libmpfr-dev libgmp-dev libblas-dev liblapack-dev.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
shift || true
peers=${PEERS_DIR:-$here/../../shared/peers}
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
for p in mobrel tarsik velmar; do ln -s "$build/$p/$p" "$bin/$p"; done
bash "$peers/bench.sh" "$bin" "$@"
