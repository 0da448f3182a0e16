#!/usr/bin/env bash
# Fills BUILD/corpus/<target>/ with the seeds of the fuzz targets: the example scenes saved as
# binary scenes, the registry that saving them wrote, and the example and regression files.
# Usage: fuzz/make_corpus.sh BUILD   (a build folder holding the `nimbra` program)
set -euo pipefail

build=${1:?usage: fuzz/make_corpus.sh BUILD}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
corpus=$build/corpus
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT

mkdir -p "$corpus"/{scene,registry,csv,json,library}

"$build/nimbra" --config-dir "$config" render --save-scene "$corpus/scene/builtin-demo.nbs"
for scene in "$source_dir"/examples/*.json "$source_dir"/examples/presets/*.json; do
    name=$(basename "$scene" .json)
    "$build/nimbra" --config-dir "$config" render "$scene" --save-scene "$corpus/scene/$name.nbs"
done

cp "$config/nimbra.reg" "$corpus/registry/full.reg"
head -c 1036 "$config/nimbra.reg" > "$corpus/registry/one-record.reg"

cp "$source_dir"/examples/particles/*.csv "$corpus/csv/"
cp "$source_dir"/examples/particles/*.json "$corpus/json/"
cp "$source_dir"/tests/data/particles/*.csv "$corpus/csv/"
cp "$source_dir"/tests/data/particles/*.json "$corpus/json/"
cp "$source_dir"/examples/presets/*.nbr "$source_dir"/tests/data/library/*.nbr "$corpus/library/"
echo "seeds in $corpus:"
for dir in "$corpus"/*/; do echo "  $(basename "$dir"): $(ls "$dir" | wc -l) files"; done
