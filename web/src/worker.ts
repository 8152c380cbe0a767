// The simulation's thread: the core in WebAssembly, one watched run. The page
// never waits on it; each request is answered with what to draw next.
import type { Core, Session } from "./core";
import type { Frame, HistoryRow, NamedFile, Reply, Request } from "./protocol";

declare const self: DedicatedWorkerGlobalScope;

let core: Core;
let session: Session;
let historySent = -1;       // rows of the shown history the page holds; -1: send them all
let historyShape = "";      // what the history was when last sent: a rewind or a new run sends it whole
let mapSent = "";

async function load(): Promise<void> {
  const url = new URL("./velmora-web.mjs", import.meta.url).href;
  const create = (await import(/* @vite-ignore */ url)).default as (options?: object) => Promise<Core>;
  core = await create({ print: () => {}, printErr: () => {} });
  for (const folder of ["/out", "/in", "/maps", "/save"]) if (!core.FS.analyzePath(folder).exists) core.FS.mkdir(folder);
  session = new core.Session();
}

function frame(rays: boolean, selected: number, updates: number): Frame {
  const status = JSON.parse(session.status());
  // The history goes whole when it no longer continues what was sent (a rewind, a branch, a new run).
  const shape = `${status.branch}:${status.start}:${status.seed}`;
  const rows = status.history as number;
  if (shape !== historyShape || rows < historySent) historySent = -1;
  historyShape = shape;
  const from = historySent < 0 ? 0 : historySent;
  const history: HistoryRow[] = rows > from ? JSON.parse(session.history(from)) : [];
  historySent = rows;
  const mapShape = JSON.stringify(status.map) + shape;
  let map: Float64Array | null = null;
  if (mapShape !== mapSent) {
    map = session.foodMap().slice();
    mapSent = mapShape;
  }
  const inspected = selected > 0 ? JSON.parse(session.inspect(selected)) : null;
  return {
    animals: session.frame(rays).slice(),
    plants: session.plants().slice(),
    status,
    history,
    history_from: from,
    inspected,
    branches: JSON.parse(session.branches()),
    map,
    updates,
  };
}

function resendAll(): void {
  historySent = -1;
  mapSent = "";
}

// Writes files the page gives into a folder of the module's, keeping their relative paths.
function place(folder: string, files: NamedFile[]): void {
  for (const file of files) {
    const parts = `${folder}/${file.name}`.split("/").filter((part) => part !== "" && part !== ".");
    const path: string[] = [];
    for (const part of parts) {
      if (part === "..") path.pop();
      else path.push(part);
    }
    let at = "";
    for (const part of path.slice(0, -1)) {
      at += "/" + part;
      if (!core.FS.analyzePath(at).exists) core.FS.mkdir(at);
    }
    core.FS.writeFile("/" + path.join("/"), file.bytes);
  }
}

function clear(folder: string): void {
  const walk = (at: string): void => {
    for (const name of core.FS.readdir(at)) {
      if (name === "." || name === "..") continue;
      const path = `${at}/${name}`;
      try {
        core.FS.unlink(path);
      } catch {
        walk(path);
      }
    }
  };
  if (core.FS.analyzePath(folder).exists) walk(folder);
}

function saved(what: string): NamedFile[] | string {
  clear("/save");
  const names: Record<string, string> = { world: "velmora.dat", checkpoint: "velmora.npz", run: "velmora.toml" };
  const path = `/save/${names[what]}`;
  const problem = session.save(what, path);
  if (problem) return problem;
  const files: NamedFile[] = [{ name: names[what], bytes: core.FS.readFile(path) }];
  if (what === "run") {
    // What the run file names beside it: its start and its food map, by the paths it gives.
    const text = new TextDecoder().decode(files[0].bytes);
    for (const match of text.matchAll(/^file = "((?:[^"\\]|\\.)*)"$/gm)) {
      const name = JSON.parse(`"${match[1]}"`) as string;
      const target = new URL(name, "file:///save/").pathname;
      files.push({ name, bytes: core.FS.readFile(decodeURIComponent(target)) });
    }
  }
  return files;
}

function handle(request: Request): Omit<Reply, "id"> {
  switch (request.kind) {
    case "init":
      resendAll();
      return { table: JSON.parse(core.settingsTable()), version: core.version(), frame: frame(false, 0, 0) };
    case "tick": {
      const updates = request.updates > 0 ? session.step(request.updates, request.budget) : 0;
      return { frame: frame(request.rays, request.selected, updates) };
    }
    case "frame":
      return { frame: frame(request.rays, request.selected, 0) };
    case "run_to": {
      let updates = 0;
      const until = performance.now() + request.budget;
      for (;;) {
        const status = JSON.parse(session.status());
        if (status.generation >= request.generation || performance.now() > until) break;
        const left = (request.generation - status.generation) * status.generation_length - status.update;
        updates += session.step(Math.min(left, 100000), Math.max(1, until - performance.now()));
      }
      return { frame: frame(request.rays, request.selected, updates) };
    }
    case "start": {
      let mapPath = "";
      if (request.map) {
        clear("/maps");
        place("/maps", [request.map]);
        mapPath = `/maps/${request.map.name}`;
      }
      const problem = session.start(request.seed, request.settings, request.seasons, mapPath, request.schedule);
      resendAll();
      return { problem, frame: frame(false, 0, 0) };
    }
    case "apply":
      return { problem: session.applyNow(request.settings, request.schedule), frame: frame(false, 0, 0) };
    case "go": {
      const problem = session.go(request.generation);
      return { problem, frame: frame(false, 0, 0) };
    }
    case "switch":
      return { problem: session.switchBranch(request.branch), frame: frame(false, 0, 0) };
    case "edit": {
      const [a = 0, b = 0, c = 0, d = 0, e = 0] = request.values;
      let problem = "";
      switch (request.edit) {
        case "move": problem = session.move(a, b, c); break;
        case "clone": problem = session.clone(a); break;
        case "remove": problem = session.remove(a); break;
        case "plant_at": problem = session.plantAt(a, b); break;
        case "remove_plants_in": problem = session.removePlantsIn(a, b, c, d); break;
        case "undo": problem = session.undo() ? "" : "Nothing to undo"; break;
        case "redo": problem = session.redo() ? "" : "Nothing to redo"; break;
      }
      void e;
      return { problem, frame: frame(false, 0, 0) };
    }
    case "act":
      return { problem: session.act(request.action, request.a, request.b), frame: frame(false, 0, 0) };
    case "animal_at":
      return { found: session.animalAt(request.x, request.y, request.slack) };
    case "open": {
      clear("/in");
      place("/in", request.files);
      const problem = session.open(`/in/${request.main}`);
      resendAll();
      return { problem, frame: frame(false, 0, 0) };
    }
    case "save": {
      const files = saved(request.what);
      return typeof files === "string" ? { problem: files } : { files };
    }
    case "output":
      return { text: session.output(request.what) };
  }
}

const ready = load();

self.onmessage = async (event: MessageEvent<{ id: number; request: Request }>) => {
  const { id, request } = event.data;
  let reply: Reply;
  try {
    await ready;
    reply = { id, ...handle(request) };
  } catch (error) {
    reply = { id, problem: `The core stopped: ${error instanceof Error ? error.message : String(error)}` };
  }
  const transfer: Transferable[] = [];
  if (reply.frame) {
    transfer.push(reply.frame.animals.buffer, reply.frame.plants.buffer);
    if (reply.frame.map) transfer.push(reply.frame.map.buffer);
  }
  for (const file of reply.files ?? []) transfer.push(file.bytes.buffer);
  self.postMessage(reply, transfer);
};
