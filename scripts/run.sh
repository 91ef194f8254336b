#!/usr/bin/env bash
# The main job on a fresh machine: install what is missing, build both libraries
# and the tool into build-release/, and run hankel-transf on its built-in
# distances (extra arguments go to the tool).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DHANKEL_TRANSF_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" >/dev/null
exec ./build-release/tools/hankel-transf --grid "$@"
