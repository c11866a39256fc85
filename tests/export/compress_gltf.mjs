// Compresses a glTF file the way glTF Transform's command line does with its `meshopt` and
// `draco` commands (the same functions of @gltf-transform/functions, with their defaults), so
// that the importer's tests read what artists' pipelines write.
//
// Usage: node compress_gltf.mjs TOOLS_FOLDER meshopt|draco IN OUT
//   TOOLS_FOLDER holds node_modules/@gltf-transform, draco3dgltf and meshoptimizer
//   (scripts/setup_export_tools.sh installs them).
import path from 'path';
import { pathToFileURL } from 'url';

const [tools, method, input, output] = process.argv.slice(2);
if (!output || !['meshopt', 'draco'].includes(method)) {
    console.error('Usage: node compress_gltf.mjs TOOLS_FOLDER meshopt|draco IN OUT');
    process.exit(2);
}
const load = (name, part) =>
    import(pathToFileURL(path.resolve(tools, 'node_modules', name, part)).href);
const { NodeIO } = await load('@gltf-transform/core', 'dist/index.js');
const { ALL_EXTENSIONS } = await load('@gltf-transform/extensions', 'dist/index.js');
const { meshopt, draco } = await load('@gltf-transform/functions', 'dist/index.js');
const { MeshoptEncoder, MeshoptDecoder } = await load('meshoptimizer', 'index.js');
const draco3d = (await load('draco3dgltf', 'draco3dgltf.js')).default;

await MeshoptEncoder.ready;
await MeshoptDecoder.ready;
const io = new NodeIO().registerExtensions(ALL_EXTENSIONS).registerDependencies({
    'draco3d.encoder': await draco3d.createEncoderModule(),
    'draco3d.decoder': await draco3d.createDecoderModule(),
    'meshopt.encoder': MeshoptEncoder,
    'meshopt.decoder': MeshoptDecoder,
});
const document = await io.read(input);
await document.transform(method === 'meshopt' ? meshopt({ encoder: MeshoptEncoder }) : draco());
await io.write(output, document);
