// The page: the world view, its controls, the inspector, the timeline, the
// settings made from the core's table, charts, files and share links. The
// run itself lives in the worker; this thread draws and asks.
import { EvolutionChart, drawLineages } from "./charts";
import { stride } from "./protocol";
import type { Animal, Branch, Frame, NamedFile, Reply, Request, SettingRow, Status } from "./protocol";
import { linkLimit, pack, unpack } from "./share";
import { ViewState, clampView, draw, drawGenes, drawNeurons, toWorld, zoomAt } from "./view";

const element = <T extends HTMLElement>(id: string): T => {
  const found = document.getElementById(id);
  if (!found) throw new Error(`the page has no #${id}`);
  return found as T;
};

// ---- the worker

const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
let nextId = 1;
const waiting = new Map<number, (reply: Reply) => void>();
worker.onmessage = (event: MessageEvent<Reply>) => {
  const done = waiting.get(event.data.id);
  waiting.delete(event.data.id);
  done?.(event.data);
};
worker.onerror = (event) => say(`The simulation stopped: ${event.message}`);

function ask(request: Request): Promise<Reply> {
  const id = nextId++;
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage({ id, request });
  });
}

// ---- what the page holds

const canvas = element<HTMLCanvasElement>("world");
const view: ViewState = { zoom: 1, left: 0, top: 0, follow: false, rays: false };
let table: SettingRow[] = [];
let status: Status | null = null;
let animals: Float64Array = new Float64Array(0);
let plants: Float64Array = new Float64Array(0);
let map: Float64Array | null = null;
let selected = 0;
let inspected: Animal | null = null;
let playing = false;
let busy = false;          // a request is out: the next waits for its answer
let speed = 0;             // the speed slider's step
let redraw = true;
let brushRect: [number, number, number, number] | null = null;
const chart = new EvolutionChart(element("evolution"));
const speeds = [1, 2, 5, 10, 20, 50, 100, 200, 0];   // world updates a frame; 0: as fast as it goes

// The rate line's counts, as the desktop window keeps them.
let frames = 0, updates = 0, framesPerSecond = 0, updatesPerSecond = 0, countedAt = performance.now();

function say(text: string, note = false): void {
  const box = element("message");
  box.textContent = text;
  box.classList.toggle("note", note);
  box.hidden = text === "";
}

function told(reply: Reply): boolean {
  if (reply.problem) say(reply.problem);
  if (reply.frame) take(reply.frame);
  return !reply.problem;
}

// ---- answers

function take(frame: Frame): void {
  animals = frame.animals;
  plants = frame.plants;
  const before = status;
  status = frame.status;
  if (frame.map) map = frame.map.length > 0 ? frame.map : null;
  inspected = frame.inspected;
  if (selected !== 0 && inspected === null) selected = 0;
  updates += frame.updates;
  if (frame.history.length > 0 || frame.history_from === 0) chart.add(frame.history, frame.history_from);
  if (!before || before.width !== status.width || before.height !== status.height) clampView(view, status.width, status.height);
  showStatus(frame.branches);
  showInspector();
  redraw = true;
}

const fixed = (value: number | null, digits = 3): string => (value === null ? "–" : value.toFixed(digits));

function showStatus(branches: Branch[]): void {
  if (!status) return;
  element("generation").textContent = String(status.generation);
  element("update").textContent = String(status.update);
  element("animals").textContent = String(status.animals);
  element("plants").textContent = String(status.plants);
  element("ave-food").textContent = fixed(status.ave_food);
  const rows = chart.history();
  element("food-per-animal").textContent = rows.length > 0 ? fixed(rows[rows.length - 1][3]) : "–";
  element("seed").textContent = String(status.seed);
  const slider = element<HTMLInputElement>("timeline-slider");
  slider.min = String(status.start);
  slider.max = String(status.reach);
  if (document.activeElement !== slider) slider.value = String(status.generation);
  element("timeline-at").textContent = String(status.generation);
  element("timeline-reach").textContent = String(status.reach);
  element<HTMLButtonElement>("undo").disabled = !status.can_undo;
  element<HTMLButtonElement>("redo").disabled = !status.can_redo;
  const list = element("branches");
  const shown = branches.map((b) => b.text).join("\n");
  if (list.dataset.shown !== shown) {
    list.dataset.shown = shown;
    list.replaceChildren(
      ...branches.map((branch, k) => {
        const item = document.createElement("li");
        item.textContent = branch.text + " ";
        if (k !== status!.branch) {
          const button = document.createElement("button");
          button.textContent = "Show";
          button.onclick = () => void request({ kind: "switch", branch: k });
          item.append(button);
        }
        return item;
      }),
    );
  }
  const lineages = element<HTMLCanvasElement>("lineages");
  if (!element("charts").hidden) drawLineages(lineages, rows);
}

function showInspector(): void {
  element("inspector-empty").hidden = inspected !== null;
  element("inspector-body").hidden = inspected === null;
  if (!inspected) return;
  const a = inspected;
  element("inspected-id").textContent = String(a.id);
  const facts: [string, string][] = [
    ["parents", a.parent_a === 0 ? "none: a founder" : `${a.parent_a} and ${a.parent_b}`],
    ["founder", String(a.founder)],
    ["born in generation", String(a.born)],
    ["food", String(a.food)],
    ["wall hits", String(a.wall_hits)],
    ["fitness", fixed(a.fitness)],
    ["place", `${a.x.toFixed(3)}, ${a.y.toFixed(3)}`],
    ["heading", `${((a.heading * 180) / Math.PI).toFixed(1)}°`],
    ["motors", `${a.left_motor.toFixed(3)} left, ${a.right_motor.toFixed(3)} right`],
  ];
  element("inspected-facts").replaceChildren(
    ...facts.flatMap(([term, value]) => {
      const dt = document.createElement("dt");
      dt.textContent = term;
      const dd = document.createElement("dd");
      dd.textContent = value;
      return [dt, dd];
    }),
  );
  const rows = a.touch.map((touch, k) => `<tr><th>whisker ${k + 1}</th>${touch.map((v) => `<td>${v.toFixed(2)}</td>`).join("")}</tr>`);
  rows.push(`<tr><th>vision</th><td colspan="3">${a.vision.map((v) => v.toFixed(1)).join(" ")}</td></tr>`);
  element("senses").innerHTML = rows.join("");
  drawNeurons(element<HTMLCanvasElement>("neurons"), a.outputs, a.layer_width, a.layer_count + 1);
  drawGenes(element<HTMLCanvasElement>("genes"), a.genes, a.outputs.length);
}

// ---- the frame loop

async function request(message: Request): Promise<Reply> {
  while (busy) await new Promise((resolve) => setTimeout(resolve, 5));
  busy = true;
  try {
    const reply = await ask(message);
    told(reply);
    return reply;
  } finally {
    busy = false;
  }
}

function loop(): void {
  requestAnimationFrame(loop);
  const now = performance.now();
  if (now - countedAt >= 1000) {
    framesPerSecond = frames;
    updatesPerSecond = updates;
    frames = updates = 0;
    countedAt = now;
  }
  if (status && view.follow && inspected) {
    view.left = inspected.x - status.width / view.zoom / 2;
    view.top = inspected.y - status.height / view.zoom / 2;
    clampView(view, status.width, status.height);
  }
  if (redraw && status) paint();
  if (busy) return;
  if (playing) {
    const perFrame = speeds[speed];
    busy = true;
    void ask({ kind: "tick", updates: perFrame === 0 ? 1 << 30 : perFrame, budget: perFrame === 0 ? 25 : 200, rays: view.rays, selected })
      .then(told)
      .finally(() => (busy = false));
  }
}

function paint(): void {
  if (!status) return;
  draw(canvas, view, {
    animals,
    plants,
    width: status.width,
    height: status.height,
    map: map && status.map ? { weights: map, columns: status.map[0], rows: status.map[1] } : null,
    selected,
    brushRect,
  });
  // The rate line, in the corner as the desktop window writes it.
  const context = canvas.getContext("2d")!;
  const line = `Frame rate: ${String(framesPerSecond).padStart(3)} Update Rate  ${updatesPerSecond} `;
  context.font = "13px ui-monospace, monospace";
  context.fillStyle = "rgba(255,255,255,0.8)";
  context.fillRect(0, 0, context.measureText(line).width + 8, 18);
  context.fillStyle = "#000";
  context.fillText(line, 4, 13);
  frames += 1;
  redraw = playing;
}

function setPlaying(on: boolean): void {
  playing = on;
  element("play").textContent = on ? "Pause" : "Play";
  redraw = true;
}

// A fresh frame without running, for what changed on the page alone.
function refresh(): void {
  void request({ kind: "frame", rays: view.rays, selected });
}

// ---- the world view's mouse

let drag: { mode: "pan" | "animal" | "remove"; x: number; y: number; moved: boolean; startX: number; startY: number } | null = null;

function canvasPoint(event: MouseEvent): [number, number] {
  const box = canvas.getBoundingClientRect();
  return [((event.clientX - box.left) * canvas.width) / box.width, ((event.clientY - box.top) * canvas.height) / box.height];
}

function worldPoint(event: MouseEvent): [number, number] {
  const [px, py] = canvasPoint(event);
  return toWorld(view, canvas, status!.width, status!.height, px, py);
}

canvas.addEventListener("mousedown", async (event) => {
  if (!status) return;
  const [x, y] = worldPoint(event);
  const [px, py] = canvasPoint(event);
  const brush = element<HTMLInputElement>("brush").checked;
  if (brush && event.shiftKey) {
    drag = { mode: "remove", x, y, moved: false, startX: px, startY: py };
    brushRect = [x, y, x, y];
    return;
  }
  if (brush) {
    await request({ kind: "edit", edit: "plant_at", values: [x, y] });
    return;
  }
  const slack = (3 * status.width) / view.zoom / canvas.width;
  const reply = await ask({ kind: "animal_at", x, y, slack });
  const found = reply.found ?? 0;
  if (found !== 0 && found === selected) {
    drag = { mode: "animal", x, y, moved: false, startX: px, startY: py };
    return;
  }
  if (found !== 0) {
    selected = found;
    refresh();
    return;
  }
  drag = { mode: "pan", x: px, y: py, moved: false, startX: px, startY: py };
});

window.addEventListener("mousemove", (event) => {
  if (!drag || !status) return;
  const [px, py] = canvasPoint(event);
  if (Math.abs(px - drag.startX) + Math.abs(py - drag.startY) > 3) drag.moved = true;
  if (drag.mode === "pan") {
    view.left -= ((px - drag.x) * status.width) / view.zoom / canvas.width;
    view.top -= ((py - drag.y) * status.height) / view.zoom / canvas.height;
    clampView(view, status.width, status.height);
    drag.x = px;
    drag.y = py;
  } else if (drag.mode === "remove") {
    const [x, y] = worldPoint(event);
    brushRect = [drag.x, drag.y, x, y];
  }
  redraw = true;
});

window.addEventListener("mouseup", async (event) => {
  if (!drag || !status) return;
  const done = drag;
  drag = null;
  const [x, y] = worldPoint(event);
  if (done.mode === "animal" && done.moved) {
    await request({ kind: "edit", edit: "move", values: [selected, Math.min(Math.max(x, 0), status.width), Math.min(Math.max(y, 0), status.height)] });
  } else if (done.mode === "remove") {
    brushRect = null;
    await request({ kind: "edit", edit: "remove_plants_in", values: [done.x, done.y, x, y] });
  } else if (done.mode === "pan" && !done.moved) {
    selected = 0;
    inspected = null;
    showInspector();
  }
  redraw = true;
});

canvas.addEventListener("wheel", (event) => {
  if (!status) return;
  event.preventDefault();
  const [px, py] = canvasPoint(event);
  zoomAt(view, canvas, status.width, status.height, view.zoom * Math.pow(1.2, -Math.sign(event.deltaY)), px, py);
  redraw = true;
}, { passive: false });

// ---- controls

element("play").onclick = () => setPlaying(!playing);
element("step").onclick = () => {
  if (status) void request({ kind: "run_to", generation: status.generation + 1, budget: 1e9, rays: view.rays, selected });
};
element<HTMLInputElement>("speed").oninput = (event) => {
  speed = Number((event.target as HTMLInputElement).value);
  element("speed-text").textContent = speeds[speed] === 0 ? "as fast as it goes" : `${speeds[speed]} update${speeds[speed] > 1 ? "s" : ""} a frame`;
};
element<HTMLInputElement>("rays").onchange = (event) => {
  view.rays = (event.target as HTMLInputElement).checked;
  refresh();
};
element<HTMLInputElement>("follow").onchange = (event) => {
  view.follow = (event.target as HTMLInputElement).checked;
  redraw = true;
};
element("whole").onclick = () => {
  view.zoom = 1;
  view.follow = false;
  element<HTMLInputElement>("follow").checked = false;
  if (status) clampView(view, status.width, status.height);
  redraw = true;
};
element("reset").onclick = () => void startRun(Math.floor(Math.random() * 4294967296));
element("clone").onclick = () => void request({ kind: "edit", edit: "clone", values: [selected] });
element("remove").onclick = () => void request({ kind: "edit", edit: "remove", values: [selected] });
element("undo").onclick = () => void request({ kind: "edit", edit: "undo", values: [] });
element("redo").onclick = () => void request({ kind: "edit", edit: "redo", values: [] });
element("back").onclick = () => status && void request({ kind: "go", generation: Math.max(status.start, status.update > 0 ? status.generation : status.generation - 1) });
element("forward").onclick = () => status && void request({ kind: "go", generation: status.generation + 1 });
element<HTMLInputElement>("timeline-slider").onchange = (event) => void request({ kind: "go", generation: Number((event.target as HTMLInputElement).value) });

async function runTo(generation: number): Promise<void> {
  setPlaying(false);
  while (status && status.generation < generation) {
    const reply = await request({ kind: "run_to", generation, budget: 100, rays: view.rays, selected });
    if (reply.problem || (reply.frame && reply.frame.updates === 0)) break;
    paint();
  }
}
element("run-to-go").onclick = () => void runTo(Number(element<HTMLInputElement>("run-to").value));

document.addEventListener("keydown", (event) => {
  const target = event.target as HTMLElement;
  if (target.closest("input, textarea, select")) return;
  if (event.key === " ") {
    event.preventDefault();
    setPlaying(!playing);
  } else if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === "z") {
    event.preventDefault();
    void request({ kind: "edit", edit: event.shiftKey ? "redo" : "undo", values: [] });
  }
});

for (const button of document.querySelectorAll<HTMLButtonElement>("nav button")) {
  button.onclick = () => {
    for (const other of document.querySelectorAll<HTMLButtonElement>("nav button")) other.classList.toggle("chosen", other === button);
    for (const tab of document.querySelectorAll<HTMLElement>(".tab")) tab.hidden = tab.id !== button.dataset.tab;
    if (button.dataset.tab === "charts") drawLineages(element<HTMLCanvasElement>("lineages"), chart.history());
  };
}

// ---- the settings, from the core's table

function buildSettings(): void {
  const rows = element("setting-rows");
  rows.replaceChildren(
    ...table.map((row) => {
      const label = document.createElement("label");
      label.title = `${row.help} (${row.range}; default ${row.default})${row.changes ? "; may change during a run" : ""}`;
      const name = document.createElement("span");
      name.textContent = row.label + (row.unit ? ` (${row.unit})` : "");
      let input: HTMLInputElement | HTMLSelectElement;
      if (row.kind === "choice") {
        const select = document.createElement("select");
        for (const choice of row.choices) select.append(new Option(choice, choice));
        input = select;
      } else {
        const box = document.createElement("input");
        if (row.kind === "flag") {
          box.type = "checkbox";
        } else {
          box.type = "number";
          box.step = row.kind === "whole" ? "1" : "any";
          if (row.low !== null) box.min = String(row.low);
          if (row.high !== null) box.max = String(row.high);
          if (row.automatic) box.placeholder = "automatic";
        }
        input = box;
      }
      input.dataset.setting = row.name;
      label.append(name, input);
      return label;
    }),
  );
}

function fillSettings(): void {
  if (!status) return;
  for (const row of table) {
    const input = document.querySelector<HTMLInputElement | HTMLSelectElement>(`[data-setting="${row.name}"]`);
    if (!input) continue;
    const value = status.settings[row.name] ?? "";
    if (input instanceof HTMLInputElement && input.type === "checkbox") input.checked = value === "true";
    else input.value = value.replace(/^"|"$/g, "");
  }
  element<HTMLInputElement>("seed-input").value = String(status.seed);
}

function same(row: SettingRow, a: string, b: string): boolean {
  if (row.kind === "whole" || row.kind === "real") return a !== "" && b !== "" && Number(a) === Number(b);
  return a === b;
}

// The form's settings as "name = value" lines: all, or only those that differ from the world's.
function settingLines(onlyChanged: boolean, onlyChangeable: boolean): string {
  const lines: string[] = [];
  for (const row of table) {
    if (onlyChangeable && !row.changes) continue;
    const input = document.querySelector<HTMLInputElement | HTMLSelectElement>(`[data-setting="${row.name}"]`);
    if (!input) continue;
    let value: string;
    if (input instanceof HTMLInputElement && input.type === "checkbox") value = input.checked ? "true" : "false";
    else value = input.value.trim();
    if (value === "") continue;
    const now = (status?.settings[row.name] ?? "").replace(/^"|"$/g, "");
    const fallback = row.kind === "flag" ? (row.fallback ? "true" : "false") : row.default;
    if (same(row, value, onlyChanged ? now : fallback)) continue;
    lines.push(`${row.name} = ${value}`);
  }
  return lines.join("\n");
}

let chosenMap: NamedFile | null = null;

function seasonsText(): string {
  if (!element<HTMLInputElement>("seasons").checked) return "";
  const value = (id: string): string => element<HTMLInputElement>(id).value;
  return `${value("season-period")} ${value("season-low")} ${value("season-high")} ${element<HTMLSelectElement>("season-shape").value}`;
}

async function startRun(seed: number): Promise<void> {
  const reply = await request({
    kind: "start",
    seed,
    settings: settingLines(false, false),
    seasons: seasonsText(),
    map: chosenMap,
    schedule: element<HTMLTextAreaElement>("schedule").value,
  });
  if (!reply.problem) {
    say("");
    selected = 0;
    fillSettings();
  }
}

element("new-run").onclick = () => void startRun(Number(element<HTMLInputElement>("seed-input").value));
element("apply-now").onclick = async () => {
  const reply = await request({ kind: "apply", settings: settingLines(true, true), schedule: element<HTMLTextAreaElement>("schedule").value });
  if (!reply.problem) say("Applied from now on", true);
};

// A picture the browser can read, as PNG bytes (a PNG as it is, so that 16-bit greys keep their precision).
async function mapOf(file: File): Promise<NamedFile> {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const base = file.name.replace(/[^A-Za-z0-9._-]/g, "_");
  const png = bytes.length > 8 && bytes[0] === 0x89 && bytes[1] === 0x50 && bytes[2] === 0x4e && bytes[3] === 0x47;
  if (png || file.name.toLowerCase().endsWith(".npy")) return { name: base, bytes };
  let picture: ImageBitmap;
  try {
    picture = await createImageBitmap(file);
  } catch {
    throw new Error(`${file.name} is not a picture this browser can read`);
  }
  const surface = new OffscreenCanvas(picture.width, picture.height);
  surface.getContext("2d")!.drawImage(picture, 0, 0);
  const blob = await surface.convertToBlob({ type: "image/png" });
  return { name: base.replace(/\.[^.]*$/, "") + ".png", bytes: new Uint8Array(await blob.arrayBuffer()) };
}

element<HTMLInputElement>("food-map").onchange = async (event) => {
  const input = event.target as HTMLInputElement;
  const file = input.files?.[0];
  input.value = "";
  if (!file) return;
  try {
    chosenMap = await mapOf(file);
    element("food-map-name").textContent = `${file.name} (for the next new run)`;
  } catch (error) {
    say(error instanceof Error ? error.message : String(error));
  }
};
element("food-map-clear").onclick = () => {
  chosenMap = null;
  element("food-map-name").textContent = "none";
};

// ---- files

function download(name: string, bytes: Uint8Array | string, type = "application/octet-stream"): void {
  const url = URL.createObjectURL(new Blob([bytes as BlobPart], { type }));
  const link = document.createElement("a");
  link.href = url;
  link.download = name.split("/").pop() ?? name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

async function openFiles(list: FileList | File[]): Promise<void> {
  const files = [...list];
  const main = files.find((f) => f.name.endsWith(".toml")) ?? files.find((f) => /\.(npz|dat)$/i.test(f.name)) ?? files[0];
  if (!main) return;
  const named: NamedFile[] = await Promise.all(files.map(async (f) => ({ name: f.name, bytes: new Uint8Array(await f.arrayBuffer()) })));
  setPlaying(false);
  const reply = await request({ kind: "open", files: named, main: main.name });
  if (!reply.problem) {
    say(`Opened ${main.name}`, true);
    selected = 0;
    fillSettings();
  }
}

element<HTMLInputElement>("open").onchange = async (event) => {
  const input = event.target as HTMLInputElement;
  if (input.files) await openFiles(input.files);
  input.value = "";
};
document.addEventListener("dragover", (event) => event.preventDefault());
document.addEventListener("drop", (event) => {
  event.preventDefault();
  if (event.dataTransfer?.files.length) void openFiles(event.dataTransfer.files);
});

async function save(what: "world" | "checkpoint" | "run"): Promise<NamedFile[] | null> {
  const reply = await request({ kind: "save", what });
  return reply.files ?? null;
}

element("save-world").onclick = async () => (await save("world"))?.forEach((f) => download(f.name, f.bytes));
element("save-checkpoint").onclick = async () => (await save("checkpoint"))?.forEach((f) => download(f.name, f.bytes));
element("save-run").onclick = async () => (await save("run"))?.forEach((f) => download(f.name, f.bytes));
for (const [id, what, name] of [["csv", "csv", "velmora.csv"], ["log", "log", "log.txt"], ["lineage", "lineage", "lineage.csv"]] as const) {
  element(id).onclick = async () => {
    const reply = await request({ kind: "output", what });
    if (reply.text !== undefined) download(name, reply.text, "text/plain");
  };
}

let recorder: MediaRecorder | null = null;
element("record").onclick = () => {
  if (recorder) {
    recorder.stop();
    return;
  }
  const chunks: Blob[] = [];
  const type = ["video/webm;codecs=vp9", "video/webm"].find((t) => MediaRecorder.isTypeSupported(t));
  if (!type) {
    say("This browser cannot record WebM video");
    return;
  }
  recorder = new MediaRecorder(canvas.captureStream(30), { mimeType: type });
  recorder.ondataavailable = (event) => chunks.push(event.data);
  recorder.onstop = async () => {
    download("velmora.webm", new Uint8Array(await new Blob(chunks).arrayBuffer()), "video/webm");
    recorder = null;
    element("record").textContent = "Record video";
  };
  recorder.start(1000);
  element("record").textContent = "Stop recording";
};

element("share").onclick = async () => {
  const files = await save("run");
  if (!files) return;
  const packed = await pack(files);
  if (packed.length > linkLimit) {
    say(`This run is too large for a link (${Math.round(packed.length / 1024)} KB packed, at most ${linkLimit / 1024} KB): its run file and the files it names are downloaded instead`);
    files.forEach((f) => download(f.name, f.bytes));
    return;
  }
  const link = `${location.origin}${location.pathname}#run=${packed}`;
  element("share-box").hidden = false;
  element<HTMLInputElement>("share-link").value = link;
  say("The link replays this run exactly, as far as it is run", true);
};
element("share-copy").onclick = () => void navigator.clipboard?.writeText(element<HTMLInputElement>("share-link").value).catch(() => {});

// A link's run, opened as a run file.
async function openLink(): Promise<void> {
  const hash = location.hash;
  if (!hash.startsWith("#run=")) return;
  let files: NamedFile[];
  try {
    files = await unpack(hash.slice(5));
  } catch (error) {
    say(`Unable to open the link: ${error instanceof Error ? error.message : String(error)}`);
    return;
  }
  const reply = await request({ kind: "open", files, main: files[0].name });
  if (!reply.problem) {
    say("Opened the link's run", true);
    fillSettings();
  }
}
window.addEventListener("hashchange", () => void openLink());

// ---- for scripts: what the page shows, read-only (the browser's console, tests)

Object.defineProperty(window, "velmora", {
  value: Object.freeze({
    status: () => (status ? { ...status } : null),
    animals: () => {
      const n = stride(view.rays), out: { id: number; x: number; y: number }[] = [];
      for (let k = 0; k + n <= animals.length; k += n) out.push({ id: animals[k + 7], x: animals[k], y: animals[k + 1] });
      return out;
    },
    // A world point's place on the canvas, in CSS pixels from its top left.
    onCanvas: (x: number, y: number) => {
      const box = canvas.getBoundingClientRect();
      if (!status) return null;
      const sx = status.width / view.zoom / canvas.width, sy = status.height / view.zoom / canvas.height;
      return { x: ((x - view.left) / sx) * (box.width / canvas.width), y: ((y - view.top) / sy) * (box.height / canvas.height) };
    },
    selected: () => selected,
    rates: () => ({ frames: framesPerSecond, updates: updatesPerSecond }),
    // Milliseconds a redraw of the view takes, over count of them.
    paintTime: (count: number) => {
      const began = performance.now();
      for (let k = 0; k < count; ++k) paint();
      return (performance.now() - began) / count;
    },
  }),
});

// ---- start

async function init(): Promise<void> {
  const reply = await request({ kind: "init" });
  table = reply.table ?? [];
  element("version").textContent = reply.version ?? "";
  buildSettings();
  // A run of its own for each visit, as the desktop program seeds by the clock; a link brings its own.
  if (!location.hash.startsWith("#run=")) await startRun(Math.floor(Math.random() * 4294967296));
  fillSettings();
  await openLink();
  document.body.dataset.ready = "true";
  requestAnimationFrame(loop);
}

void init();
