// What the page and its worker say to each other. The page asks; the worker
// answers each request with its id, and every answer carries what the page
// draws and shows next.

export interface SettingRow {
  name: string;
  label: string;
  kind: "whole" | "real" | "flag" | "choice";
  unit: string;
  fallback: number | null;
  automatic: boolean;
  low: number | null;
  high: number | null;
  changes: boolean;
  resets: boolean;
  default: string;
  range: string;
  help: string;
  choices: string[];
}

export interface Status {
  generation: number;
  update: number;
  generation_length: number;
  animals: number;
  plants: number;
  ave_food: number | null;
  seed: number;
  width: number;
  height: number;
  wrap: boolean;
  manual: boolean;
  start: number;
  reach: number;
  branch: number;
  history: number;
  map: [number, number] | null;
  can_undo: boolean;
  can_redo: boolean;
  settings: Record<string, string>;
}

export interface Animal {
  id: number;
  parent_a: number;
  parent_b: number;
  founder: number;
  born: number;
  food: number;
  wall_hits: number;
  fitness: number | null;
  x: number;
  y: number;
  heading: number;
  speed: number;
  left_motor: number;
  right_motor: number;
  first: boolean;
  touch: [number, number, number][];
  vision: number[];
  layer_width: number;
  layer_count: number;
  outputs: number[];
  genes: number[];
}

export interface Branch {
  text: string;
  number: number;
  reach: number;
}

// One generation as the chart and the lineages picture take it.
export type HistoryRow = [number, number, number, number, number, number, number, number, number, number, number[], number[]];

// A file, by its path relative to the run file, and its bytes.
export interface NamedFile {
  name: string;
  bytes: Uint8Array;
}

export type Request =
  | { kind: "init" }
  | { kind: "tick"; updates: number; budget: number; rays: boolean; selected: number }
  | { kind: "frame"; rays: boolean; selected: number }
  | { kind: "start"; seed: number; settings: string; seasons: string; map: NamedFile | null; schedule: string }
  | { kind: "apply"; settings: string; schedule: string }
  | { kind: "run_to"; generation: number; budget: number; rays: boolean; selected: number }
  | { kind: "go"; generation: number }
  | { kind: "switch"; branch: number }
  | { kind: "edit"; edit: "move" | "clone" | "remove" | "plant_at" | "remove_plants_in" | "undo" | "redo"; values: number[] }
  | { kind: "act"; action: string; a: number; b: number }
  | { kind: "animal_at"; x: number; y: number; slack: number }
  | { kind: "open"; files: NamedFile[]; main: string }
  | { kind: "save"; what: "world" | "checkpoint" | "run" }
  | { kind: "output"; what: "csv" | "log" | "lineage" };

export interface Frame {
  animals: Float64Array;   // stride frame_stride(rays)
  plants: Float64Array;    // x, y, size_x, size_y each
  status: Status;
  history: HistoryRow[];   // every row of the shown branch, when it changed; else the new ones
  history_from: number;    // the first row's index
  inspected: Animal | null;
  branches: Branch[];
  map: Float64Array | null; // the food map's weights, when it changed
  updates: number;          // world updates this request made
}

export interface Reply {
  id: number;
  problem?: string;          // a refusal, one line
  frame?: Frame;
  table?: SettingRow[];
  version?: string;
  found?: number;            // animal_at's id, 0 for none
  files?: NamedFile[];       // what was saved, the main file first
  text?: string;             // an output
}

export const stride = (rays: boolean): number => (rays ? 39 : 14);
