// Bundles the page's scripts and copies its static files into the site folder:
//   node build.mjs SITE_FOLDER
import { build } from "esbuild";
import { copyFileSync, mkdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const site = process.argv[2];
if (!site) {
  console.error("usage: node build.mjs SITE_FOLDER");
  process.exit(2);
}
mkdirSync(site, { recursive: true });
await build({
  entryPoints: { app: join(here, "src/main.ts"), worker: join(here, "src/worker.ts") },
  outdir: site,
  bundle: true,
  format: "esm",
  target: "es2022",
  minify: true,
  sourcemap: false,
  logLevel: "warning",
});
copyFileSync(join(here, "index.html"), join(site, "index.html"));
copyFileSync(join(here, "style.css"), join(site, "style.css"));
copyFileSync(join(here, "../data/org.velmora.Velmora.svg"), join(site, "favicon.svg"));
copyFileSync(join(here, "node_modules/uplot/dist/uPlot.min.css"), join(site, "uPlot.min.css"));
