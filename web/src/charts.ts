// The Evolution chart (uPlot) and the Lineages picture, from the shown
// branch's generations.
import uPlot from "uplot";
import type { HistoryRow } from "./protocol";

export class EvolutionChart {
  private plot: uPlot;
  private rows: HistoryRow[] = [];

  constructor(into: HTMLElement) {
    const options: uPlot.Options = {
      width: 460,
      height: 220,
      scales: { x: { time: false } },
      axes: [{ label: "generation" }, { label: "food" }],
      series: [
        { label: "generation" },
        { label: "food per animal", stroke: "#1f6fd1", width: 1.5 },
        { label: "mean since reset", stroke: "#d1561f", width: 1.5 },
        { label: "best", stroke: "#2f9e44", width: 1 },
      ],
    };
    this.plot = new uPlot(options, [[], [], [], []], into);
  }

  // Rows from index from on; a from of 0 starts again.
  add(rows: HistoryRow[], from: number): void {
    if (from === 0) this.rows = [];
    this.rows.length = from;
    this.rows.push(...rows);
    const r = this.rows;
    this.plot.setData([r.map((row) => row[0]), r.map((row) => row[3]), r.map((row) => row[5]), r.map((row) => row[4])]);
  }

  history(): HistoryRow[] {
    return this.rows;
  }
}

// A colour of its own for each line, by its founder's id.
function lineColour(id: number): string {
  const hue = (id * 137.508) % 360;
  return `hsl(${hue.toFixed(1)}, 62%, 58%)`;
}

// The largest lines of each generation as bands, each its share of the animals, oldest generation left.
export function drawLineages(canvas: HTMLCanvasElement, rows: HistoryRow[]): void {
  const context = canvas.getContext("2d")!;
  context.fillStyle = "#ffffff";
  context.fillRect(0, 0, canvas.width, canvas.height);
  if (rows.length === 0) return;
  const columns = Math.min(rows.length, canvas.width);
  const w = canvas.width / columns;
  for (let c = 0; c < columns; ++c) {
    const row = rows[Math.floor((c * rows.length) / columns)];
    const founders = row[10], counts = row[11], animals = row[6];
    let y = 0;
    for (let k = 0; k < founders.length && founders[k] !== 0; ++k) {
      const h = animals > 0 ? (counts[k] / animals) * canvas.height : 0;
      context.fillStyle = lineColour(founders[k]);
      context.fillRect(c * w, y, Math.ceil(w), h);
      y += h;
    }
    context.fillStyle = "#dddddd";   // the rest, in lines too small to show
    context.fillRect(c * w, y, Math.ceil(w), canvas.height - y);
  }
}
