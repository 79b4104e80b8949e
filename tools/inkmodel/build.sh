#!/usr/bin/env bash
# Rebuilds the ink model from the KanjiVG strokes: installs what it needs
# when missing, writes the training rasters, trains on the CPU (resuming
# after an interruption: run it again) and puts the model and its metadata
# into data/inkmodel/. Work files go to build-inkmodel/ (about 2.5 GB).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${TARUVO_INKMODEL_WORK:-$root/build-inkmodel}
here="$root/tools/inkmodel"
seed=1207
per_class=50
shards=2
epochs=4

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
    "$py" "$here/generate.py" --out "$work/data" --shard "$s" --per-class "$per_class" --seed "$seed"
done
"$py" "$here/generate.py" --out "$work/data" --shard 1000 --name val --per-class 2 --seed "$seed"
classes=$("$py" -c "import sys; sys.path.insert(0, '$here'); import classes; print(len(classes.classes()[0]))")
"$py" "$here/train.py" --data "$work/data" --out "$work/train" --classes "$classes" \
    --epochs "$epochs" --seed "$seed"
"$py" "$here/finish.py" --onnx "$work/train/model.onnx" --out "$root/data/inkmodel" \
    --seed "$seed" --per-class $((per_class * shards)) --epochs "$epochs"
echo "inkmodel: done in $(( ($(date +%s) - start) / 60 )) minutes"
