// Reads an MLG file with the public mlg-converter parser from the npm
// registry (installed by scripts/install-test-readers.sh) and prints what it
// found as JSON: {"version", "names", "units", "rows", "markers"}, markers as
// the number of data rows before them with their 10 µs timestamp.
//     NODE_PATH=DIR/node_modules node read_mlg.js FILE
const fs = require('fs');
const { Parser } = require('mlg-converter');

const b = fs.readFileSync(process.argv[2]);
const parsed = new Parser(b.buffer.slice(b.byteOffset, b.byteOffset + b.byteLength)).parse();
const names = parsed.fields.map((f) => f.name);
const out = {
  version: 1,
  info: parsed.info,
  names,
  units: parsed.fields.map((f) => f.units),
  scale: parsed.fields.map((f) => f.scale),
  transform: parsed.fields.map((f) => f.transform),
  rows: [],
  markers: [],
};
for (const r of parsed.records) {
  if (r.type === 'marker') out.markers.push({ afterRow: out.rows.length, timestamp: r.timestamp });
  else out.rows.push(names.map((n) => r[n]));
}
process.stdout.write(JSON.stringify(out));
