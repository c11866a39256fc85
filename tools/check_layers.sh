#!/usr/bin/env bash
# Checks that every include between the folders of src/ points down the layers. The layers,
# lowest first, are the folders WARPKIT_CORE_FOLDERS and then WARPKIT_UI_FOLDERS name in the
# CMakeLists.txt beside SRC_DIR. The core folders and export/ (the headless tool, which stands
# beside the window on the core) include no Qt header. Prints one line per wrong include,
# naming the file and the line, and exits 1 when there is any.
# Usage: check_layers.sh [SRC_DIR]   (default: the src/ of this checkout)
set -euo pipefail
src=${1:-$(dirname "$0")/../src}
cd "$src"

folders_of() {
    sed -n "s/^set($1 \\(.*\\))\$/\\1/p" ../CMakeLists.txt
}
read -r -a core_layers <<<"$(folders_of WARPKIT_CORE_FOLDERS)"
read -r -a ui_layers <<<"$(folders_of WARPKIT_UI_FOLDERS)"
if [ "${#core_layers[@]}" = 0 ] || [ "${#ui_layers[@]}" = 0 ]; then
    echo "$src/../CMakeLists.txt names no WARPKIT_CORE_FOLDERS or WARPKIT_UI_FOLDERS" >&2
    exit 2
fi
layers=("${core_layers[@]}" "${ui_layers[@]}")
core_count=${#core_layers[@]}

rank_of() {
    local k
    for k in "${!layers[@]}"; do
        if [ "${layers[$k]}" = "$1" ]; then
            echo "$k"
            return
        fi
    done
    echo -1
}

faults=0
report() {
    echo "$1"
    faults=$((faults + 1))
}

for folder in "${layers[@]}" export; do
    [ -d "$folder" ] || continue
    if [ "$folder" = export ]; then
        own=$core_count  # may use the whole core, nothing of the window
        core=1
    else
        own=$(rank_of "$folder")
        core=$((own < core_count))
    fi
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        text=${rest#*:}
        if [[ $text =~ \#[[:space:]]*include[[:space:]]*\<(Q[^>]*)\> ]]; then
            if [ "$core" = 1 ]; then
                report "src/$file:$line: includes <${BASH_REMATCH[1]}>, but $folder/ is built without Qt"
            fi
        elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([a-z_]+)/([^\"]*)\" ]]; then
            target=${BASH_REMATCH[1]}
            [ "$target" = "$folder" ] && continue
            target_rank=$(rank_of "$target")
            [ "$target_rank" -lt 0 ] && continue  # not a layer folder (tests/, a library's own)
            if [ "$folder" = export ] && [ "$target_rank" -ge "$core_count" ]; then
                report "src/$file:$line: includes $target/${BASH_REMATCH[2]}, but export/ builds on the core alone"
            elif [ "$folder" != export ] && [ "$target_rank" -gt "$own" ]; then
                report "src/$file:$line: includes $target/${BASH_REMATCH[2]}, a layer above $folder/ (order: ${layers[*]})"
            fi
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$folder" --include='*.h' --include='*.cpp' || true)
done

if [ "$faults" -gt 0 ]; then
    echo "$faults include(s) point up the layers" >&2
    exit 1
fi
echo "layers: every include points down"
