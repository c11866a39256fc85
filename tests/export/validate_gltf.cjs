// Runs the Khronos glTF validator over .glb and .gltf files and prints what it finds.
//
// Usage: node validate_gltf.cjs [--validator FOLDER] [--strict] FILE...
//   FOLDER holds node_modules/gltf-validator (default: $WARPKIT_GLTF_VALIDATOR_DIR, else
//   build/export-tools of this repository), as scripts/setup_export_tools.sh installs it.
//   --strict counts warnings as failures too.
// Exit status: 0 no errors, 1 errors (or warnings with --strict), 2 bad usage,
// 3 the validator is not installed.
'use strict';
const fs = require('fs');
const path = require('path');

const args = process.argv.slice(2);
let folder = process.env.WARPKIT_GLTF_VALIDATOR_DIR ||
    path.join(__dirname, '..', '..', 'build', 'export-tools');
let strict = false;
const files = [];
for (let i = 0; i < args.length; ++i) {
    if (args[i] === '--validator' && i + 1 < args.length) folder = args[++i];
    else if (args[i] === '--strict') strict = true;
    else files.push(args[i]);
}
if (files.length === 0) {
    console.error('Usage: node validate_gltf.cjs [--validator FOLDER] [--strict] FILE...');
    process.exit(2);
}

let validator;
try {
    validator = require(path.resolve(folder, 'node_modules', 'gltf-validator'));
} catch (error) {
    console.error(`The glTF validator is not installed in ${path.resolve(folder)}: ` +
                  'run scripts/setup_export_tools.sh ' + folder);
    process.exit(3);
}

const severities = ['ERROR', 'WARNING', 'INFO', 'HINT'];

async function validate(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 0,
        writeTimestamp: false,
        externalResourceFunction: (uri) => new Promise((resolve, reject) => {
            fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)),
                        (error, data) => error ? reject(error.toString())
                                               : resolve(new Uint8Array(data)));
        }),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints`);
    for (const message of issues.messages) {
        console.log(`  ${severities[message.severity]} ${message.code} ` +
                    `${message.pointer || ''}: ${message.message}`);
    }
    return issues.numErrors > 0 || (strict && issues.numWarnings > 0);
}

(async () => {
    let failed = false;
    for (const file of files) {
        try {
            if (await validate(file)) failed = true;
        } catch (error) {
            console.log(`${file}: the validator could not read it: ${error}`);
            failed = true;
        }
    }
    process.exit(failed ? 1 : 0);
})();
