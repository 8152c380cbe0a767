// The page's core (web/core.cpp in WebAssembly), called as the worker calls
// it, under Node: runs and their outputs against the native program's,
// refusals that change nothing, edits with undo and redo, the timeline, and
// files saved and opened again.
//   node core_test.mjs SITE_FOLDER VELMORA DATA_FOLDER
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, test } from "node:test";

const [site, velmora, data] = process.argv.slice(2);
// Emscripten's module for Node and a worker reads these as a CommonJS one would have them.
globalThis.__dirname = site;
globalThis.require = createRequire(import.meta.url);
const create = (await import(join(site, "velmora-web.mjs"))).default;
const core = await create({ wasmBinary: readFileSync(join(site, "velmora-web.wasm")), print: () => {}, printErr: () => {} });
for (const folder of ["/out", "/in", "/save", "/maps"]) core.FS.mkdir(folder);
const work = mkdtempSync(join(tmpdir(), "velmora-core-"));
after(() => rmSync(work, { recursive: true, force: true }));

const status = (session) => JSON.parse(session.status());
const runTo = (session, generation) => {
  const now = status(session);
  session.step((generation - now.generation) * now.generation_length - now.update, 1e9);
  assert.deepEqual([status(session).generation, status(session).update], [generation, 0]);
};
const native = (args, file) => {
  const ran = spawnSync(velmora, ["--headless", "--quiet", ...args], { cwd: work });
  assert.equal(ran.status, 0, String(ran.stderr));
  return readFileSync(join(work, file), "utf8");
};
const withoutSeconds = (csv) => csv.trim().split("\n").map((row) => row.split(",").filter((_, k) => k !== 8).join(",")).join("\n");

test("a seeded run's log, CSV and family tree are the native program's", () => {
  const session = new core.Session();
  assert.equal(session.start(5, "animals = 24\nmutate-amount = 2.5", "6 4 20 square", "", "3 mutate-amount 1.5"), "");
  runTo(session, 10);
  // The native program replays the page's run file: seasons and the schedule come with it.
  assert.equal(session.save("run", "/save/same.toml"), "");
  const text = new TextDecoder().decode(core.FS.readFile("/save/same.toml"));
  assert.match(text, /\[seasons\][^[]*shape = "square"/);
  assert.match(text, /generation = 3\nupdate = 0\nmutate-amount = 1.5/);
  writeFileSync(join(work, "same.toml"), text);
  rmSync(join(work, "log.txt"), { force: true });
  native(["--run", "same.toml", "--generations", "10", "--csv", "run.csv", "--lineage", "tree.csv"], "log.txt");
  assert.equal(session.output("log"), readFileSync(join(work, "log.txt"), "utf8"));
  assert.equal(withoutSeconds(session.output("csv")), withoutSeconds(readFileSync(join(work, "run.csv"), "utf8")));
  assert.equal(session.output("lineage"), readFileSync(join(work, "tree.csv"), "utf8"));
});

test("refusals name the problem and leave the run as it was", () => {
  const session = new core.Session();
  assert.equal(session.start(9, "", "", "", ""), "");
  runTo(session, 2);
  const before = session.status();
  core.FS.writeFile("/maps/not.png", "no picture at all");
  core.FS.writeFile("/in/damaged.npz", "PK\u0003\u0004 cut short");
  core.FS.writeFile("/in/newer.toml", "format = 9\nseed = 1\n");
  const refused = [
    [() => session.start(-1, "", "", "", ""), /seed must be a whole number/],
    [() => session.start(1, "colour = red", "", "", ""), /no setting colour/],
    [() => session.start(1, "animals = 60000", "", "", ""), /Animals: must be a whole number from 0 to 50000/],
    [() => session.start(1, "", "1 2 3 sine", "", ""), /Seasons: /],
    [() => session.start(1, "", "40 5 20 wobbly", "", ""), /shape \(sine or square\)/],
    [() => session.start(1, "", "", "/maps/not.png", ""), /not\.png/],
    [() => session.start(1, "", "", "", "5 animals 3"), /cannot change during a run/],
    [() => session.start(1, "", "", "", "5 plants"), /give a generation, a setting and its value/],
    [() => session.applyNow("animals = 30", ""), /cannot change during a run/],
    [() => session.open("/in/damaged.npz"), /damaged\.npz/],
    [() => session.open("/in/newer.toml"), /its format 9 is newer than 1/],
    [() => session.remove(123456), /./],
    [() => session.go(-1), /No generation/],
    [() => session.switchBranch(7), /no such branch/],
    [() => session.act("fly", 0, 0), /no action fly/],
  ];
  for (const [call, reason] of refused) {
    assert.match(call(), reason);
    assert.equal(session.status(), before);
  }
});

test("an edit undone and done again, and a change made now", () => {
  const session = new core.Session();
  session.start(3, "", "", "", "");
  runTo(session, 1);
  const animals = status(session).animals;
  const frame = session.frame(false);
  const id = session.animalAt(frame[0], frame[1], 0);
  assert.ok(id > 0);
  assert.equal(session.clone(id), "");
  assert.equal(status(session).animals, animals + 1);
  assert.equal(status(session).can_undo, true);
  assert.equal(session.undo(), true);
  assert.equal(status(session).animals, animals);
  assert.equal(status(session).can_redo, true);
  assert.equal(session.redo(), true);
  assert.equal(status(session).animals, animals + 1);
  assert.equal(session.applyNow("plants = 3", ""), "");
  assert.equal(status(session).plants, 3);
  assert.equal(JSON.parse(session.inspect(id)).id, id);
  assert.equal(session.inspect(987654), "null");
});

test("back on the timeline and on again, and a saved run opened again, give the same run", () => {
  const session = new core.Session();
  session.start(4, "generation-length = 200", "", "", "");
  runTo(session, 8);
  const log = session.output("log");
  assert.equal(session.go(3), "");
  assert.equal(status(session).generation, 3);
  runTo(session, 8);
  assert.equal(session.output("log"), log);
  for (const [what, name] of [["world", "again.dat"], ["checkpoint", "again.npz"], ["run", "again.toml"]]) assert.equal(session.save(what, `/save/${name}`), "");
  const again = new core.Session();
  assert.equal(again.open("/save/again.toml"), "");
  runTo(again, 8);
  assert.equal(again.output("log"), log);
  const resumed = new core.Session();
  assert.equal(resumed.open("/save/again.npz"), "");
  assert.equal(status(resumed).generation, 8);
  assert.equal(status(resumed).animals, status(session).animals);
});
