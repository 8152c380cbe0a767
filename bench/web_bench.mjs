// The page's speed in Debian's Chromium: world updates a second of a world of
// 2000 animals and 2000 plants in the page's worker against the native
// program's, one thread each, and the view's frames a second while it runs.
//   node web_bench.mjs SITE_FOLDER VELMORA
import { spawn, spawnSync } from "node:child_process";
import { createRequire } from "node:module";

const [site, velmora] = process.argv.slice(2);
const require = createRequire(new URL("../web/package.json", import.meta.url));
const { chromium } = require("playwright-core");
const length = 100, generations = 4, updates = length * generations;

const native = (threads) => {
  const began = process.hrtime.bigint();
  const ran = spawnSync(velmora, ["--headless", "--animals", "2000", "--plants", "2000", "--generation-length", String(length),
    "--generations", String(generations), "--seed", "1", "--threads", String(threads), "--no-log", "--quiet"]);
  if (ran.status !== 0) throw new Error(String(ran.stderr));
  return updates / (Number(process.hrtime.bigint() - began) / 1e9);
};

const server = spawn("python3", ["-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", site], { stdio: ["ignore", "pipe", "pipe"] });
const base = await new Promise((resolve) => {
  const found = (chunk) => { const port = /port (\d+)/.exec(String(chunk)); if (port) resolve(`http://127.0.0.1:${port[1]}/`); };
  server.stdout.on("data", found);
  server.stderr.on("data", found);
});
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic"],
});
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(base);
  await page.waitForSelector("body[data-ready=true]");
  await page.click("text=Settings");
  await page.fill('[data-setting="animals"]', "2000");
  await page.fill('[data-setting="plants"]', "2000");
  await page.fill('[data-setting="generation-length"]', String(length));
  await page.fill("#seed-input", "1");
  await page.click("#new-run");
  await page.waitForFunction(() => window.velmora.status()?.animals === 2000);

  // Updates a second: as fast as it goes, to the end of the generations.
  await page.click("text=Timeline");
  await page.fill("[data-testid=run-to]", String(generations));
  const began = Date.now();
  await page.click("[data-testid=run-to-go]");
  await page.waitForFunction((g) => window.velmora.status().generation === g, generations, { timeout: 600000 });
  const inPage = updates / ((Date.now() - began) / 1000);

  // Frames a second: the view of every animal (their whiskers, arrows and the plants) drawn again and again.
  const perFrame = await page.evaluate(() => {
    window.velmora.paintTime(10);
    return window.velmora.paintTime(100);
  });
  const frames = Math.round(1000 / perFrame);

  const one = native(1), all = native(0 || 2);
  console.log(`2000 + 2000: the page ${inPage.toFixed(0)} updates/s; native ${one.toFixed(0)} updates/s on one thread ` +
    `(${all.toFixed(0)} on two): the page at ${(inPage / one).toFixed(2)} of native's one thread`);
  console.log(`2000 + 2000: the view draws in ${perFrame.toFixed(1)} ms, ${frames} frames/s`);
} finally {
  await browser.close();
  server.kill();
}
