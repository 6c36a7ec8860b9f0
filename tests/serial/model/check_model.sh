#!/bin/sh
# Model-checks a Promela model exhaustively with spin (safety: assertions and invalid end
# states) in a scratch folder; fails on any error or when the search was cut short.
# Usage: check_model.sh MODEL.pml SCRATCH_DIR
set -eu
model=$1
dir=$2
mkdir -p "$dir"
cd "$dir"
cp "$model" model.pml
spin -a model.pml >/dev/null
cc -O2 -DSAFETY -DCOLLAPSE -DMEMLIM=3000 -o pan pan.c
./pan -m1000000 >pan.out 2>&1 || true
grep -E "errors: |states, stored" pan.out
grep -q "errors: 0" pan.out
! grep -q "max search depth too small" pan.out
