// The world view: the world drawn to scale on a canvas, as the desktop
// window draws it (white bodies outlined black, the first animal green,
// whiskers coloured by what they touch, green plants), zoomed and panned.
import { stride } from "./protocol";

export interface ViewState {
  zoom: number;      // 1: the whole world
  left: number;      // world units at the canvas's left edge
  top: number;
  follow: boolean;
  rays: boolean;
}

export const maxZoom = 64;

const whiskerColours = ["#ffffff", "#ff0000", "#00ff00", "#0000ff"];

export function clampView(view: ViewState, width: number, height: number): void {
  view.zoom = Math.min(Math.max(view.zoom, 1), maxZoom);
  view.left = Math.min(Math.max(view.left, 0), width - width / view.zoom);
  view.top = Math.min(Math.max(view.top, 0), height - height / view.zoom);
  if (view.zoom === 1) view.left = view.top = 0;
}

// World units per canvas pixel, along each axis.
export function scale(view: ViewState, canvas: HTMLCanvasElement, width: number, height: number): [number, number] {
  return [width / view.zoom / canvas.width, height / view.zoom / canvas.height];
}

export function toWorld(view: ViewState, canvas: HTMLCanvasElement, width: number, height: number, px: number, py: number): [number, number] {
  const [sx, sy] = scale(view, canvas, width, height);
  return [view.left + px * sx, view.top + py * sy];
}

export function zoomAt(view: ViewState, canvas: HTMLCanvasElement, width: number, height: number, zoom: number, px: number, py: number): void {
  const [x, y] = toWorld(view, canvas, width, height, px, py);
  view.zoom = Math.min(Math.max(zoom, 1), maxZoom);
  const [sx, sy] = scale(view, canvas, width, height);
  view.left = x - px * sx;
  view.top = y - py * sy;
  clampView(view, width, height);
}

let shade: { canvas: HTMLCanvasElement; key: Float64Array } | null = null;

// The food map, faint green where plants grow, as a picture stretched over the world.
function foodMapPicture(weights: Float64Array, columns: number, rows: number): HTMLCanvasElement {
  if (shade && shade.key === weights) return shade.canvas;
  const canvas = document.createElement("canvas");
  canvas.width = columns;
  canvas.height = rows;
  const context = canvas.getContext("2d")!;
  const image = context.createImageData(columns, rows);
  let most = 0;
  for (const weight of weights) most = Math.max(most, weight);
  for (let k = 0; k < weights.length; ++k) {
    image.data[4 * k] = 40;
    image.data[4 * k + 1] = 170;
    image.data[4 * k + 2] = 40;
    image.data[4 * k + 3] = most > 0 ? Math.round((70 * weights[k]) / most) : 0;
  }
  context.putImageData(image, 0, 0);
  shade = { canvas, key: weights };
  return canvas;
}

export interface Scene {
  animals: Float64Array;
  plants: Float64Array;
  width: number;
  height: number;
  map: { weights: Float64Array; columns: number; rows: number } | null;
  selected: number;
  brushRect: [number, number, number, number] | null;   // a removal rectangle being dragged, world units
}

export function draw(canvas: HTMLCanvasElement, view: ViewState, scene: Scene): void {
  const context = canvas.getContext("2d")!;
  const [sx, sy] = scale(view, canvas, scene.width, scene.height);
  const px = (x: number): number => (x - view.left) / sx;
  const py = (y: number): number => (y - view.top) / sy;
  context.fillStyle = "#ffffff";
  context.fillRect(0, 0, canvas.width, canvas.height);
  if (scene.map) context.drawImage(foodMapPicture(scene.map.weights, scene.map.columns, scene.map.rows), px(0), py(0), scene.width / sx, scene.height / sy);

  // Plants: one path for all.
  context.beginPath();
  const plants = scene.plants;
  for (let k = 0; k + 3 < plants.length; k += 4) {
    const rx = Math.max(plants[k + 2] / 2 / sx, 0.5), ry = Math.max(plants[k + 3] / 2 / sy, 0.5);
    const x = px(plants[k]), y = py(plants[k + 1]);
    if (x + rx < 0 || y + ry < 0 || x - rx > canvas.width || y - ry > canvas.height) continue;
    context.moveTo(x + rx, y);
    context.ellipse(x, y, rx, ry, 0, 0, 2 * Math.PI);
  }
  context.fillStyle = "#00ff00";
  context.fill();
  context.strokeStyle = "#00ff00";
  context.lineWidth = 2;
  context.stroke();

  const n = stride(view.rays);
  const animals = scene.animals;
  const bodies = new Path2D(), first = new Path2D(), arrows = new Path2D(), rays = new Path2D();
  const whiskers = [new Path2D(), new Path2D(), new Path2D(), new Path2D()];
  let selected: [number, number, number] | null = null;
  for (let k = 0; k + n <= animals.length; k += n) {
    const x = px(animals[k]), y = py(animals[k + 1]), heading = animals[k + 2];
    const rx = animals[k + 3] / 2 / sx, ry = animals[k + 4] / 2 / sy;
    const reach = (animals[k + 6] + animals[k + 5]) / sx + rx + (view.rays ? 0.55 / sx : 0);
    if (animals[k + 7] === scene.selected) selected = [x, y, 0.6 * (animals[k + 3] + animals[k + 4]) / 2 / sx];
    if (x + reach < 0 || y + reach < 0 || x - reach > canvas.width || y - reach > canvas.height) continue;
    // A speck of a few pixels is a dot, big enough to be seen.
    const speck = rx < 1.5 && ry < 1.5 && !view.rays;
    const body = k === 0 ? first : bodies;
    body.moveTo(x + Math.max(rx, 1.5), y);
    body.ellipse(x, y, Math.max(rx, speck ? 1.5 : 0.5), Math.max(ry, speck ? 1.5 : 0.5), 0, 0, 2 * Math.PI);
    if (speck) continue;
    const length = animals[k + 5], cos = Math.cos(heading), sin = Math.sin(heading);
    arrows.moveTo(x - (length * cos) / sx, y - (length * sin) / sy);
    const tipX = x + (length * cos) / sx, tipY = y + (length * sin) / sy;
    arrows.lineTo(tipX, tipY);
    const barb = 0.75 * length;
    arrows.moveTo(x + (barb * Math.cos(heading - Math.PI / 4)) / sx, y + (barb * Math.sin(heading - Math.PI / 4)) / sy);
    arrows.lineTo(tipX, tipY);
    arrows.lineTo(x + (barb * Math.cos(heading + Math.PI / 4)) / sx, y + (barb * Math.sin(heading + Math.PI / 4)) / sy);
    const distance = animals[k + 6], r = animals[k + 5] / 2;
    for (let w = 0; w < 6; ++w) {
      const angle = heading - Math.PI / 3 + (w * Math.PI) / 3;
      const cx = x + (distance * Math.cos(angle)) / sx, cy = y + (distance * Math.sin(angle)) / sy;
      const path = whiskers[animals[k + 8 + w]] ?? whiskers[0];
      path.moveTo(cx + r / sx, cy);
      path.ellipse(cx, cy, r / sx, r / sy, 0, 0, 2 * Math.PI);
    }
    if (view.rays) {
      for (let i = 0; i < 10; ++i) {
        if (animals[k + 24 + (i >> 1)] === 0) continue;
        rays.moveTo(x, y);
        rays.lineTo(x + animals[k + 14 + i] / sx, y + animals[k + 29 + i] / sy);
      }
    }
  }
  context.lineWidth = 1;
  context.strokeStyle = "#000000";
  context.fillStyle = "#ffffff";
  context.fill(bodies);
  context.stroke(bodies);
  context.fillStyle = "#00ff00";
  context.fill(first);
  context.stroke(first);
  context.stroke(arrows);
  whiskers.forEach((path, colour) => {
    context.fillStyle = whiskerColours[colour];
    context.fill(path);
    context.stroke(path);
  });
  context.stroke(rays);
  if (selected) {
    context.strokeStyle = "#0000ff";
    context.lineWidth = 2;
    context.beginPath();
    context.arc(selected[0], selected[1], selected[2] + 2, 0, 2 * Math.PI);
    context.stroke();
  }
  if (scene.brushRect) {
    const [x0, y0, x1, y1] = scene.brushRect;
    context.strokeStyle = "#c00000";
    context.lineWidth = 1;
    context.setLineDash([4, 3]);
    context.strokeRect(px(Math.min(x0, x1)), py(Math.min(y0, y1)), Math.abs(x1 - x0) / sx, Math.abs(y1 - y0) / sy);
    context.setLineDash([]);
  }
}

// The neuron outputs as discs, a row per layer: white at 0, blue above, red below.
export function drawNeurons(canvas: HTMLCanvasElement, outputs: number[], columns: number, rows: number): void {
  const context = canvas.getContext("2d")!;
  context.fillStyle = "#ffffff";
  context.fillRect(0, 0, canvas.width, canvas.height);
  if (columns <= 0) return;
  const w = canvas.width / columns, h = canvas.height / rows;
  outputs.forEach((value, k) => {
    const column = k % columns, row = Math.floor(k / columns);
    context.beginPath();
    context.ellipse((column + 0.5) * w, (row + 0.5) * h, w / 2 - 1, h / 2 - 1, 0, 0, 2 * Math.PI);
    context.fillStyle = value === 0 ? "#ffffff" : value > 0 ? "#0000ff" : "#ff0000";
    context.fill();
    context.strokeStyle = "#000000";
    context.stroke();
  });
}

// The genes as a heat map, per neuron a row: blue positive, red negative, the strongest the deepest.
export function drawGenes(canvas: HTMLCanvasElement, genes: number[], neurons: number): void {
  const context = canvas.getContext("2d")!;
  context.fillStyle = "#ffffff";
  context.fillRect(0, 0, canvas.width, canvas.height);
  if (genes.length === 0 || neurons <= 0) return;
  const columns = Math.ceil(genes.length / neurons);
  let most = 0;
  for (const gene of genes) most = Math.max(most, Math.abs(gene));
  const w = canvas.width / columns, h = canvas.height / neurons;
  genes.forEach((gene, k) => {
    const share = most > 0 ? Math.abs(gene) / most : 0;
    const fade = Math.round(255 * (1 - share));
    context.fillStyle = gene >= 0 ? `rgb(${fade},${fade},255)` : `rgb(255,${fade},${fade})`;
    context.fillRect((k % columns) * w, Math.floor(k / columns) * h, Math.ceil(w), Math.ceil(h));
  });
}
