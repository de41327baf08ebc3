#!/usr/bin/env bash
# Remakes seeds/ from descriptions/ with undtool (build it first):
#   tests/fuzz/make-seeds.sh build/native/bin/undtool
set -euo pipefail
tool="${1:?path of undtool}"
here="$(cd "$(dirname "$0")" && pwd)"
for d in "$here"/descriptions/*.json; do
  "$tool" write "$d" "$here/seeds/$(basename "$d" .json).und" 2>/dev/null
done
