// A run as a link: its run file and the files it names, packed into the
// fragment (#run=...), deflated and in base64url, so that opening the link
// replays the run exactly and nothing leaves the browser.
import type { NamedFile } from "./protocol";

export const linkLimit = 64 * 1024;   // packed bytes a link may hold
const magic = [0x56, 0x4c, 0x52, 0x31];   // "VLR1"

async function through(bytes: Uint8Array, stream: CompressionStream | DecompressionStream): Promise<Uint8Array> {
  const writer = stream.writable.getWriter();
  void writer.write(bytes as Uint8Array<ArrayBuffer>).catch(() => {});
  void writer.close().catch(() => {});
  return new Uint8Array(await new Response(stream.readable).arrayBuffer());
}

function toBase64Url(bytes: Uint8Array): string {
  let text = "";
  for (let k = 0; k < bytes.length; k += 0x8000) text += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
  return btoa(text).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function fromBase64Url(text: string): Uint8Array {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new Error("it holds letters a link's run never has");
  const padded = text.replace(/-/g, "+").replace(/_/g, "/") + "===".slice((text.length + 3) % 4);
  const raw = atob(padded);
  const out = new Uint8Array(raw.length);
  for (let k = 0; k < raw.length; ++k) out[k] = raw.charCodeAt(k);
  return out;
}

// The files, the run file first: magic, then per file its name's length (2
// bytes), the name in UTF-8, its length (4 bytes) and its bytes.
export async function pack(files: NamedFile[]): Promise<string> {
  const names = files.map((file) => new TextEncoder().encode(file.name));
  let size = magic.length;
  files.forEach((file, k) => (size += 2 + names[k].length + 4 + file.bytes.length));
  const out = new Uint8Array(size);
  const view = new DataView(out.buffer);
  out.set(magic, 0);
  let at = magic.length;
  files.forEach((file, k) => {
    view.setUint16(at, names[k].length);
    out.set(names[k], at + 2);
    at += 2 + names[k].length;
    view.setUint32(at, file.bytes.length);
    out.set(file.bytes, at + 4);
    at += 4 + file.bytes.length;
  });
  return toBase64Url(await through(out, new CompressionStream("deflate-raw")));
}

// The files of a link's fragment; throws with the reason when it is cut short or altered.
export async function unpack(text: string): Promise<NamedFile[]> {
  let bytes: Uint8Array;
  try {
    bytes = await through(fromBase64Url(text), new DecompressionStream("deflate-raw"));
  } catch (error) {
    throw new Error(`the link's run is damaged (${error instanceof Error ? error.message : "it does not inflate"})`);
  }
  if (bytes.length < magic.length || magic.some((b, k) => bytes[k] !== b)) throw new Error("the link holds no Velmora run");
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const files: NamedFile[] = [];
  let at = magic.length;
  while (at < bytes.length) {
    if (at + 2 > bytes.length) throw new Error("the link's run is cut short");
    const nameLength = view.getUint16(at);
    if (at + 2 + nameLength + 4 > bytes.length) throw new Error("the link's run is cut short");
    const name = new TextDecoder("utf-8", { fatal: true }).decode(bytes.subarray(at + 2, at + 2 + nameLength));
    at += 2 + nameLength;
    const length = view.getUint32(at);
    if (at + 4 + length > bytes.length) throw new Error("the link's run is cut short");
    files.push({ name, bytes: bytes.slice(at + 4, at + 4 + length) });
    at += 4 + length;
  }
  if (files.length === 0 || !files[0].name.endsWith(".toml")) throw new Error("the link holds no run file");
  return files;
}
