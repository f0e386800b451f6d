#!/usr/bin/env bash
# The fault campaign (docs/campaign.md): one fault of each class at every
# exchange of a small T62, PSoC and ZQ3 update, every reply byte where a
# reply is one byte, run with ridorez against the simulator and judged by
# what the simulated device then holds: no false success, no hang, and the
# update again completes wherever the device still listens. Not a test of the
# suite: it takes minutes and writes the table.
#
#   scripts/campaign.sh [--quick | --pairs] [--only t62,psoc,zq3] [--jobs N] [--class CLASS] [--paced]
#
# --pairs runs pairs of faults instead (a reply sent twice early, then each
# single fault at sampled later exchanges) and rewrites only their section
# of the table.
# --class runs one fault class only (for the pairs, the later fault's);
# --paced has the simulator send each byte in its time on the line. With
# either, write the table elsewhere (CAMPAIGN_DOC=FILE) and carry its rows
# over: the table file is rewritten from the runs made.
# --quick samples every eighth PSoC block and four ZQ3 frames for the reply
# bytes instead of every block and six frames. The runs that went wrong are
# kept in build/campaign/kept; every run's outcome is in
# build/campaign/work/campaign-runs.jsonl. Exits 1 on a false success or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build/native ] || cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$(nproc)" --target ridorez devsim >/dev/null
rm -rf build/campaign
mkdir -p build/campaign
# The machine is shared: the runs wait on the line far more than they
# compute, and give way to other work.
exec nice -n 10 python3 tools/campaign/campaign.py --ridorez build/native/cli/ridorez \
  --devsim build/native/tools/devsim/devsim --work build/campaign/work --keep-dir build/campaign/kept \
  --out "${CAMPAIGN_DOC:-docs/campaign.md}" "$@"
