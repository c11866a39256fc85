#!/usr/bin/env bash
# The example of docs/export.md run through the built program: the example project made from examples/,
# each command on it, the exit statuses, and the Khronos validator on every glTF form.
#
# Usage: command_line_test.sh WARPKIT_EXPORT MAKE_EXAMPLE_PROJECT EXAMPLES_FOLDER VALIDATOR_FOLDER
set -euo pipefail

tool=$1
make_project=$2
examples=$3
validator=$4
here=$(cd "$(dirname "$0")" && pwd)

source "$here/../support/shell_checks.sh"

# expect STATUS COMMAND...: runs the command, keeping its output in $work/out and $work/err.
expect() {
    local want=$1
    shift
    local status=0
    "$@" >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" -ne "$want" ]; then
        fail "$* exited $status, not $want; stderr: $(cat "$work/err")"
    fi
}

command -v node >/dev/null || { echo "node is missing: run scripts/setup_export_tools.sh" >&2; exit 1; }
if [ ! -d "$validator/node_modules/gltf-validator" ]; then
    echo "the glTF validator is missing in $validator: run scripts/setup_export_tools.sh $validator" >&2
    exit 1
fi

"$make_project" "$examples" "$work/face.twp"

expect 0 "$tool" info "$examples/expressions.qxm"
grep -q "expressions.qxm: 4 objects, 4 colours" "$work/out" || fail "info: $(cat "$work/out")"
grep -Eq "^ +3  twist +674 +1344$" "$work/out" || fail "info: $(cat "$work/out")"

expect 0 "$tool" check "$work/face.twp" --strict
grep -q "^3 of 3 targets loaded, 0 warnings$" "$work/out" || fail "check: $(cat "$work/out")"
expect 1 "$tool" check "$examples/head.qxm"
grep -q "is an object file, not a project file; 'warpkit-export info .*head.qxm' lists its objects" \
    "$work/err" || fail "check of an object file: $(cat "$work/err")"

expect 0 "$tool" weights "$work/face.twp" --frame 40
[ "$(cat "$work/out")" = $'1 smile 100.00\n2 squash 53.33\n3 twist 80.00' ] ||
    fail "weights: $(cat "$work/out")"

expect 0 "$tool" obj "$work/face.twp" -o "$work/frames"
[ "$(ls "$work/frames" | grep -c '^frame_00[0-9][0-9]\.obj$')" -eq 91 ] || fail "obj: $(ls "$work/frames")"
[ -f "$work/frames/palette.mtl" ] || fail "obj wrote no palette.mtl"

expect 0 "$tool" pc2 "$work/face.twp" -o "$work/face.pc2"
grep -q "^wrote $work/face.pc2: 91 frames of 674 points, frames 0 to 90$" "$work/out" ||
    fail "pc2: $(cat "$work/out")"
[ "$(stat -c %s "$work/face.pc2")" -eq $((32 + 91 * 674 * 12)) ] || fail "pc2 size"
expect 0 "$tool" mdd "$work/face.twp" -o "$work/face.mdd" --step 10 --fps 24
[ "$(stat -c %s "$work/face.mdd")" -eq $((8 + 10 * 4 + 10 * 674 * 12)) ] || fail "mdd size"

expect 0 "$tool" gltf "$work/face.twp" -o "$work/face.glb" --strict
expect 0 "$tool" gltf "$work/face.twp" -o "$work/face text.gltf" --fps 24
[ -f "$work/face text.bin" ] || fail "gltf wrote no .bin beside the .gltf"
grep -q "^wrote $work/face text.gltf and $work/face text.bin: " "$work/out" ||
    fail "gltf did not name the .bin: $(cat "$work/out")"
expect 0 "$tool" gltf "$work/face.twp" -o "$work/normals.glb" --normals --frames 20..70
expect 0 "$tool" gltf "$work/face.twp" -o "$work/packed.glb" --normals --compress --names plain
grep -q "sparse, .* buffer views compressed" "$work/out" || fail "gltf --compress: $(cat "$work/out")"
node "$here/validate_gltf.cjs" --strict --validator "$validator" "$work/face.glb" \
    "$work/face text.gltf" "$work/normals.glb" "$work/packed.glb" || fail "the validator found problems"

expect 0 "$tool" match "$examples/head.qxm" "$examples/expressions.qxm:smile" -o "$work/smile.qxm"
grep -q "^matched by topology, 1 part: 0 of 674 vertices renumbered$" "$work/out" || fail "match: $(cat "$work/out")"
expect 1 "$tool" match "$examples/head.qxm" "$examples/smile.qxm" -o "$work/smile.qxm"
grep -q "the file already exists" "$work/err" || fail "match over a file: $(cat "$work/err")"

# The import example of docs/formats.md: a glTF morph animation made a project and exported again, and an
# FBX file of Debian's test models converted.
models=${WARPKIT_TEST_MODELS:-/usr/share/assimp/models}
cube=$models/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf
expect 0 "$tool" project "$cube" -o "$work/cube.twp"
grep -q "source Cube, 2 targets, frames 0 to 126 at 30 fps" "$work/out" || fail "project: $(cat "$work/out")"
expect 0 "$tool" gltf "$work/cube.twp" -o "$work/cube.glb"
node "$here/validate_gltf.cjs" --strict --validator "$validator" "$work/cube.glb" ||
    fail "the validator found problems in the round trip"
# Back onto the originals, each written as the other kind of file: the cube's .bin gathered into
# one .glb (written away from the original's folder), the face's binary chunk into a .bin.
expect 0 "$tool" gltf "$work/cube.twp" --onto "$cube" -o "$work/cube onto.glb" --strict
grep -q "^target 1 thin: same as morph target 0 \"thin\"$" "$work/out" || fail "onto: $(cat "$work/out")"
expect 0 "$tool" gltf "$work/face.twp" --onto "$work/face.glb" -o "$work/face onto.gltf" --strict
[ -f "$work/face onto.bin" ] || fail "gltf --onto wrote no .bin beside the .gltf"
node "$here/validate_gltf.cjs" --strict --validator "$validator" "$work/cube onto.glb" \
    "$work/face onto.gltf" || fail "the validator found problems onto the originals"
# The cube made a file of two animations, "blink" (0.2 s) and "talk" (3 s), "talk" driving the
# cube and a copy of it: info lists them, project takes the one named and says which it took
# unasked, and under --strict refuses to choose.
cp "${cube%.gltf}.bin" "$work/"
node - "$cube" "$work/two.gltf" <<'SCRIPT'
const fs = require("fs");
const [source, output] = process.argv.slice(2);
const gltf = JSON.parse(fs.readFileSync(source, "utf8"));
const floats = [];
const accessor = (values, keys) => {
  const view = gltf.bufferViews.push({ buffer: 1, byteOffset: floats.length * 4, byteLength: values.length * 4 }) - 1;
  floats.push(...values);
  const times = keys ? { min: [Math.min(...values)], max: [Math.max(...values)] } : {};
  return gltf.accessors.push({ bufferView: view, componentType: 5126, count: values.length, type: "SCALAR", ...times }) - 1;
};
const sampler = (times, weights) => ({ input: accessor(times, true), output: accessor(weights, false) });
gltf.meshes.push({ ...gltf.meshes[0], name: "Cube copy" });
gltf.scenes[0].nodes.push(gltf.nodes.push({ mesh: 1, name: "copy" }) - 1);
const channel = (s, node) => ({ sampler: s, target: { node, path: "weights" } });
gltf.animations = [
  { name: "blink", channels: [channel(0, 0)], samplers: [sampler([0, 0.1, 0.2], [0, 0, 1, 0, 0, 0])] },
  { name: "talk", channels: [channel(0, 0), channel(1, 1)],
    samplers: [sampler([0, 3], [0, 0, 0, 1]), sampler([0, 1.5, 3], [0, 0, 1, 1, 0, 0])] },
];
const bytes = Buffer.from(new Float32Array(floats).buffer);
gltf.buffers.push({ byteLength: bytes.length, uri: "data:application/octet-stream;base64," + bytes.toString("base64") });
fs.writeFileSync(output, JSON.stringify(gltf));
SCRIPT
expect 0 "$tool" info "$work/two.gltf"
grep -q "^$work/two.gltf: 2 meshes, 2 animations of morph target weights$" "$work/out" &&
    grep -q '^mesh 1 "Cube copy" (kept as Cube_copy): 24 vertices, 12 triangles, 2 morph targets$' "$work/out" &&
    grep -q '^animation 1 "talk": 3 s, the weights of 2 meshes$' "$work/out" &&
    grep -q '^  mesh 1 "Cube copy": 3 keys at 0, 1.5, 3 s (linear)$' "$work/out" || fail "info: $(cat "$work/out")"
expect 0 "$tool" project "$work/two.gltf" -o "$work/two.twp"
grep -q "frames 0 to 6 at 30 fps" "$work/out" || fail "project takes blink: $(cat "$work/out")"
grep -q '^warpkit-export: warning: .*: mesh 0 "Cube" has 2 animations of its weights: animation 0 "blink" (0.2 s) is taken; the others: animation 1 "talk" (3 s)' \
    "$work/err" || fail "project names blink: $(cat "$work/err")"
for chosen in talk 1; do
    expect 0 "$tool" project "$work/two.gltf" -o "$work/talk-$chosen.twp" --mesh 1 --animation "$chosen" --strict
    grep -q "source Cube_copy, 2 targets, frames 0 to 90 at 30 fps" "$work/out" || fail "project --animation $chosen: $(cat "$work/out")"
done
expect 1 "$tool" project "$work/two.gltf" -o "$work/strict.twp" --strict
[ ! -e "$work/strict.twp" ] || fail "project --strict wrote a project"
expect 0 "$tool" qxm "$models/FBX/box.fbx" -o "$work/box.qxm"
grep -Eq "^ +0  root +8 +12$" "$work/out" || fail "qxm: $(cat "$work/out")"

# Bad usage exits 2, a refused file 1, each with one line on stderr.
expect 2 "$tool"
expect 2 "$tool" gltf "$work/face.twp"
expect 2 "$tool" obj "$work/face.twp" --frames 3..1 -o "$work/x"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "usage error is not one line: $(cat "$work/err")"
expect 2 "$tool" weights "$work/face.twp" --frame 91
expect 1 "$tool" check "$work/missing.twp"
grep -q "^warpkit-export: The project file $work/missing.twp cannot be loaded: " "$work/err" ||
    fail "refusal: $(cat "$work/err")"
expect 1 "$tool" info "$work/face.twp"
grep -q "Tessel Warp can only open QXM<rev.3>format" "$work/err" || fail "info refusal: $(cat "$work/err")"
expect 0 "$tool" --help
grep -q "^Usage: warpkit-export" "$work/out" || fail "help: $(cat "$work/out")"

# A file whose name starts with '-' is named after '--'.
cp "$work/face.twp" "$work/-face.twp"
expect 2 "$tool" check "$work/-face.twp" -- --strict
cd "$work"
expect 0 "$tool" check -- -face.twp
cd - >/dev/null
grep -q "^3 of 3 targets loaded, 0 warnings$" "$work/out" || fail "check -- -face.twp: $(cat "$work/out")"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "warpkit-export command line: all passed"
