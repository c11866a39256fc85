// Plays an exported glTF file the way a three.js page does: GLTFLoader (with the meshopt
// decoder) parses it, an AnimationMixer runs its animation, and the shape at each asked frame
// is the mesh's positions plus its morph targets times the weights the mixer set. No DOM is
// needed for that, so it runs under Node.
//
// Usage: node play_gltf.mjs TOOLS_FOLDER FILE FPS FIRST_FRAME FRAME...
//   TOOLS_FOLDER holds node_modules/three (scripts/setup_export_tools.sh installs it); the
//   animation time of FRAME is (FRAME - FIRST_FRAME) / FPS.
// Prints "names N1|N2|...", then per frame "weights F W1 W2 ..." and "positions F X Y Z ...".
import fs from 'fs';
import path from 'path';
import { fileURLToPath, pathToFileURL } from 'url';

const [tools, file, fpsText, firstText, ...frames] = process.argv.slice(2);
if (!frames.length) {
    console.error('Usage: node play_gltf.mjs TOOLS_FOLDER FILE FPS FIRST_FRAME FRAME...');
    process.exit(2);
}
const load = (part) => import(pathToFileURL(path.resolve(tools, 'node_modules/three', part)).href);
const THREE = await load('build/three.module.js');
const { GLTFLoader } = await load('examples/jsm/loaders/GLTFLoader.js');
const { MeshoptDecoder } = await load('examples/jsm/libs/meshopt_decoder.module.js');

const bytes = fs.readFileSync(file);
// The loader fetches a .bin beside a .gltf by URL; Node's fetch reads no file URLs, but data
// URLs, so the file is handed over as one.
// three's file loader reports progress with the browser's ProgressEvent, which Node lacks.
globalThis.ProgressEvent ??= class extends Event {
    constructor(type, init = {}) { super(type); Object.assign(this, init); }
};
const manager = new THREE.LoadingManager();
manager.setURLModifier((url) => url.startsWith('file:')
    ? 'data:application/octet-stream;base64,' + fs.readFileSync(fileURLToPath(url)).toString('base64')
    : url);
const loader = new GLTFLoader(manager).setMeshoptDecoder(MeshoptDecoder);
const gltf = await new Promise((resolve, reject) =>
    loader.parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length),
                 pathToFileURL(path.dirname(path.resolve(file))).href + '/', resolve, reject));

let mesh = null;
gltf.scene.traverse((object) => { if (!mesh && object.isMesh) mesh = object; });
const names = Object.keys(mesh.morphTargetDictionary || {})
    .sort((a, b) => mesh.morphTargetDictionary[a] - mesh.morphTargetDictionary[b]);
console.log('names ' + names.join('|'));

const mixer = new THREE.AnimationMixer(gltf.scene);
if (gltf.animations.length) {
    // Played once and held at its end, so the last frame is not the first again.
    const action = mixer.clipAction(gltf.animations[0]);
    action.setLoop(THREE.LoopOnce, 1);
    action.clampWhenFinished = true;
    action.play();
}
const base = mesh.geometry.attributes.position;
const morphs = mesh.geometry.morphAttributes.position || [];
for (const frame of frames) {
    mixer.setTime((Number(frame) - Number(firstText)) / Number(fpsText));
    const weights = mesh.morphTargetInfluences || [];
    const positions = [];
    for (let i = 0; i < base.count; ++i) {
        for (let c = 0; c < 3; ++c) {
            let value = base.getComponent(i, c);
            morphs.forEach((morph, t) => { value += weights[t] * morph.getComponent(i, c); });
            positions.push(value);
        }
    }
    console.log(`weights ${frame} ${weights.join(' ')}`);
    console.log(`positions ${frame} ${positions.join(' ')}`);
}
