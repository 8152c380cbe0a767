// The core's module as Emscripten makes it (web/core.cpp binds its calls).
export interface Session {
  start(seed: number, settings: string, seasons: string, map: string, schedule: string): string;
  applyNow(settings: string, schedule: string): string;
  step(updates: number, budgetMs: number): number;
  frame(rays: boolean): Float64Array;
  plants(): Float64Array;
  foodMap(): Float64Array;
  status(): string;
  history(from: number): string;
  animalAt(x: number, y: number, slack: number): number;
  inspect(id: number): string;
  go(generation: number): string;
  branches(): string;
  switchBranch(branch: number): string;
  move(id: number, x: number, y: number): string;
  clone(id: number): string;
  remove(id: number): string;
  plantAt(x: number, y: number): string;
  removePlantsIn(x0: number, y0: number, x1: number, y1: number): string;
  act(name: string, a: number, b: number): string;
  undo(): boolean;
  redo(): boolean;
  open(path: string): string;
  save(kind: string, path: string): string;
  output(kind: string): string;
}

export interface FileSystem {
  writeFile(path: string, data: Uint8Array | string): void;
  readFile(path: string): Uint8Array;
  mkdir(path: string): void;
  readdir(path: string): string[];
  unlink(path: string): void;
  analyzePath(path: string): { exists: boolean };
}

export interface Core {
  Session: new () => Session;
  settingsTable(): string;
  version(): string;
  FS: FileSystem;
}

declare const create: (options?: object) => Promise<Core>;
export default create;
