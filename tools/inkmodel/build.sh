#!/usr/bin/env bash
# Rebuilds the ink model from the KanjiVG strokes: installs what it needs
# when missing, writes the training rasters, trains on the CPU (resuming
# after an interruption: run it again) and puts the model and its metadata
# into data/inkmodel/. Work files go to build-inkmodel/ (about 2.5 GB).
# The program reads with both models together.
#   tools/inkmodel/build.sh              ink-ja.onnx: the jōyō kanji
#   tools/inkmodel/build.sh --longhand   ink-ja-longhand.onnx: the name kanji
#                                        too, and a third shard of longhand
#                                        (joins, lifted hooks, a brush's sway),
#                                        six epochs (about 7 GB)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tools/inkmodel"
seed=1207
per_class=50
shards=2
longhand_shards=0
epochs=4
side=48
recipe=standard
name=ink-ja
names=()
case "${1:-}" in
    "") ;;
    --longhand) recipe=longhand; name=ink-ja-longhand; longhand_shards=1; epochs=6; names=(--names) ;;
    *) echo "usage: tools/inkmodel/build.sh [--longhand]" >&2; exit 2 ;;
esac
work=${TARUVO_INKMODEL_WORK:-$root/build-inkmodel$([ "$recipe" = standard ] || echo "-$recipe")}

need=()
for p in python3 python3-numpy python3-torch python3-kanjidraw kanjidic; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
    echo "inkmodel: installing ${need[*]}"
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q >/dev/null
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
# Debian's interpreter, which sees Debian's torch.
py=/usr/bin/python3
# Threads that wait passively: on a machine shared with other work, spinning
# OpenMP threads halve the throughput.
export OMP_WAIT_POLICY=PASSIVE
mkdir -p "$work"
start=$(date +%s)
for ((s = 0; s < shards; ++s)); do
    "$py" "$here/generate.py" --out "$work/data" --shard "$s" --per-class "$per_class" --seed "$seed" --side "$side" "${names[@]}"
done
for ((s = shards; s < shards + longhand_shards; ++s)); do
    "$py" "$here/generate.py" --out "$work/data" --shard "$s" --per-class "$per_class" --seed "$seed" --side "$side" "${names[@]}" --longhand
done
"$py" "$here/generate.py" --out "$work/data" --shard 1000 --name val --per-class 2 --seed "$seed" --side "$side" "${names[@]}"
classes=$("$py" "$here/classes.py" "${names[@]}" | cut -d' ' -f1)
"$py" "$here/train.py" --data "$work/data" --out "$work/train" --classes "$classes" \
    --epochs "$epochs" --seed "$seed"
"$py" "$here/finish.py" --onnx "$work/train/model.onnx" --out "$root/data/inkmodel" \
    --seed "$seed" --per-class $((per_class * (shards + longhand_shards))) --epochs "$epochs" \
    --recipe "$recipe" --name "$name" --side "$side" --rebuild "tools/inkmodel/build.sh${1:+ $1}" "${names[@]}"
echo "inkmodel: done in $(( ($(date +%s) - start) / 60 )) minutes"
