// velmora under Node: node velmora.mjs --headless --generations N ...
// The program is the WebAssembly module beside this file; it reads and writes
// the machine's files and ends with its exit status.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

const start = createRequire(import.meta.url)("./velmora-core.js");
try {
    // The module's bytes given at once: its own loader would fetch them as from a web server.
    await start({ arguments: process.argv.slice(2), wasmBinary: readFileSync(new URL("./velmora-core.wasm", import.meta.url)) });
} catch (stop) {
    // The program's exit arrives as an exception carrying its status.
    if (stop && typeof stop.status === "number") process.exit(stop.status);
    throw stop;
}
