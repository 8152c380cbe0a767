// The page in Debian's Chromium, as a user drives it, against the same static
// server as make serve-web: loading, play and pause, selecting, a run file and
// a share link replaying the native program's run, the timeline, a damaged file.
//   node page_test.mjs SITE_FOLDER VELMORA DATA_FOLDER SCREENSHOT.png
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

const [site, velmora, data, shot] = process.argv.slice(2);
if (!existsSync(join(site, "index.html"))) {
  console.log(`${site} holds no page: make web builds it`);
  process.exit(77);
}
const require = createRequire(new URL("../../web/package.json", import.meta.url));
const { chromium } = require("playwright-core");
const work = mkdtempSync(join(tmpdir(), "velmora-page-"));
const generations = 12;

let server, base, browser;
const errors = [];

async function serve() {
  server = spawn("python3", ["-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", site], { stdio: ["ignore", "pipe", "pipe"] });
  return new Promise((resolve, reject) => {
    const found = (chunk) => {
      const port = /port (\d+)/.exec(String(chunk));
      if (port) resolve(`http://127.0.0.1:${port[1]}/`);
    };
    server.stdout.on("data", found);
    server.stderr.on("data", found);
    server.on("exit", (code) => reject(new Error(`the server ended with ${code}`)));
  });
}

async function open(url = base) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on("console", (message) => message.type() === "error" && errors.push(message.text()));
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(url);
  await page.waitForSelector("body[data-ready=true]", { timeout: 30000 });
  return page;
}

const text = (page, id) => page.textContent(`[data-testid=${id}]`);
const shown = async (page) => ({ generation: await text(page, "generation"), mean: await text(page, "ave-food"), last: await text(page, "food-per-animal") });

async function runTo(page, generation) {
  await page.click("text=Timeline");
  await page.fill("[data-testid=run-to]", String(generation));
  await page.click("[data-testid=run-to-go]");
  await page.waitForFunction((g) => window.velmora.status()?.generation === g, generation, { timeout: 60000 });
}

// The native program's numbers for the stored run file at generation g: the log's mean and the CSV's last row.
function native() {
  copyFileSync(join(data, "exact_run.toml"), join(work, "exact_run.toml"));
  copyFileSync(join(data, "map_half8.png"), join(work, "map_half8.png"));
  const ran = spawnSync(velmora, ["--headless", "--run", "exact_run.toml", "--generations", String(generations), "--csv", "run.csv", "--quiet"], { cwd: work });
  assert.equal(ran.status, 0, String(ran.stderr));
  const lines = readFileSync(join(work, "log.txt"), "utf8").trim().split("\n");
  const mean = /Ave food\/animal: *([0-9.]+)/.exec(lines[lines.length - 1])[1];
  const rows = readFileSync(join(work, "run.csv"), "utf8").trim().split("\n");
  const last = Number(rows[rows.length - 1].split(",")[3]).toFixed(3);
  return { generation: String(generations), mean, last };
}

before(async () => {
  base = await serve();
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic"],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
  rmSync(work, { recursive: true, force: true });
});

test("the page loads without errors and draws the world", async () => {
  const page = await open();
  const ink = await page.evaluate(() => {
    const canvas = document.querySelector("[data-testid=world]");
    const pixels = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let coloured = 0;
    for (let k = 0; k < pixels.length; k += 4) if (pixels[k] !== 255 || pixels[k + 1] !== 255 || pixels[k + 2] !== 255) coloured += 1;
    return coloured / (pixels.length / 4);
  });
  assert.ok(ink > 0.01 && ink < 0.9, `the view is ${Math.round(ink * 100)}% ink`);
  assert.deepEqual(errors, []);
  await page.close();
});

test("play moves the counter and pause stops it", async () => {
  const page = await open();
  const at = () => page.evaluate(() => window.velmora.status().generation * 1e6 + window.velmora.status().update);
  const start = await at();
  await page.click("[data-testid=play]");
  await page.waitForFunction((s) => window.velmora.status().generation * 1e6 + window.velmora.status().update > s + 20, start);
  await page.keyboard.press("Space");   // Space pauses as the button does
  await page.waitForTimeout(300);
  const paused = await at();
  await page.waitForTimeout(700);
  assert.equal(await at(), paused);
  await page.close();
});

test("a click selects an animal and the inspector names it", async () => {
  const page = await open();
  const [animal] = await page.evaluate(() => window.velmora.animals());
  const point = await page.evaluate(([x, y]) => window.velmora.onCanvas(x, y), [animal.x, animal.y]);
  await page.click("[data-testid=world]", { position: point });
  await page.waitForFunction((id) => document.querySelector("[data-testid=inspected-id]").textContent === String(id), animal.id);
  assert.equal(await page.evaluate(() => window.velmora.selected()), animal.id);
  await page.close();
});

test("a run file opened here replays the native run, and so does its share link", async () => {
  const want = native();
  const page = await open();
  await page.setInputFiles("[data-testid=open]", [join(data, "exact_run.toml"), join(data, "map_half8.png")]);
  await page.waitForFunction(() => window.velmora.status().seed === 11);
  await runTo(page, generations);
  assert.deepEqual(await shown(page), want);

  await page.click("[data-testid=share]");
  await page.waitForFunction(() => document.querySelector("[data-testid=share-link]").value !== "");
  const link = await page.inputValue("[data-testid=share-link]");
  assert.match(link, /#run=[A-Za-z0-9_-]+$/);
  const fresh = await open(link);
  await runTo(fresh, generations);
  assert.deepEqual(await shown(fresh), want);

  // Back on the timeline and on again: the same numbers.
  await fresh.click("text=Timeline");
  for (let k = 0; k < 4; ++k) {
    const before = await fresh.evaluate(() => window.velmora.status().generation);
    await fresh.click("[data-testid=back]");
    await fresh.waitForFunction((g) => window.velmora.status().generation === g - 1, before);
  }
  assert.equal(await text(fresh, "generation"), String(generations - 4));
  await runTo(fresh, generations);
  assert.deepEqual(await shown(fresh), want);
  await fresh.screenshot({ path: shot });

  // A link cut short says so and changes nothing.
  const cut = await open(link.slice(0, link.length - 40));
  assert.match(await text(cut, "message"), /Unable to open the link/);
  await cut.close();
  await fresh.close();
  await page.close();
  assert.deepEqual(errors, []);
});

test("a damaged file is refused with its message and the world stays", async () => {
  const page = await open();
  await runTo(page, 1);
  const before = await page.evaluate(() => window.velmora.status());
  const bad = join(work, "damaged.npz");
  writeFileSync(bad, Buffer.from("PK\u0003\u0004 this is no checkpoint"));
  await page.setInputFiles("[data-testid=open]", bad);
  await page.waitForFunction(() => !document.querySelector("[data-testid=message]").hidden);
  assert.match(await text(page, "message"), /damaged\.npz/);
  assert.deepEqual(await page.evaluate(() => window.velmora.status()), before);
  await page.close();
});
