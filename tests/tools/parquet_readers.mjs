// The oracles of pktdump parquet: DuckDB's Node package and hyparquet (a
// pure-JavaScript reader) read what parquet_test.sh had pktdump write, and
// each must find what decode --format json and summary --format json say of
// the same files: every record a row, sample rows field by field (first,
// last, one in every 997, the untimed, the error-log, the non-ASCII and the
// malformed), every gap, each run's loss; then the writer's edge cases.
// usage: node check.mjs WORK CASES PKT_BYTES ZSTD_BYTES PARQUET_BYTES
import fs from 'node:fs';
import path from 'node:path';
import { DuckDBInstance } from '@duckdb/node-api';
import { asyncBufferFromFile, parquetMetadataAsync, parquetReadObjects } from 'hyparquet';
import { compressors } from 'hyparquet-compressors';

const [work, casesDir, pktBytes, zstdBytes, parquetBytes] = process.argv.slice(2);
const out = path.join(work, 'out');
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) passed++; else failed++;
  console.log(`${ok ? 'ok' : 'FAIL'} ${name}${ok || !detail ? '' : ': ' + detail}`);
}
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const show = v => JSON.stringify(v, (k, x) => typeof x === 'bigint' ? x.toString() : x);

// What the two readers give, made plain: numbers, strings, hex for bytes.
const fatal = new TextDecoder('utf-8', { fatal: true });
const parsers = {
  timestampFromMicroseconds: v => Number(v),
  stringFromBytes: b => b && fatal.decode(b),  // a text that is no UTF-8 throws
};
const plain = v => typeof v === 'bigint' ? Number(v) : v instanceof Uint8Array ? Buffer.from(v).toString('hex') : v;
async function hyRead(file, options = {}) {
  const buffer = await asyncBufferFromFile(file);
  const rows = await parquetReadObjects({ file: buffer, compressors, utf8: false, parsers, ...options });
  return rows.map(r => Object.fromEntries(Object.entries(r).map(([k, v]) => [k, plain(v)])));
}
const db = await (await DuckDBInstance.create(':memory:')).connect();
// DuckDB's JSON gives BIGINTs as strings: the integer columns as numbers.
const integers = new Set(['ws', 'run', 'sequence', 'arrival', 'record', 'device', 'length', 'flags', 'n',
  'lost', 'after_record', 'after_sequence', 'before_sequence', 'from_time', 'to_time']);
async function duck(sql) {
  const rows = (await db.runAndReadAll(sql)).getRowObjectsJson();
  return rows.map(r => Object.fromEntries(Object.entries(r).map(([k, v]) =>
    [k, integers.has(k) && typeof v === 'string' ? Number(v) : v])));
}
const partFiles = table => fs.readdirSync(path.join(out, table), { recursive: true })
  .filter(f => f.endsWith('.parquet')).map(f => path.join(out, table, f)).sort();

// What pktdump's JSON says of each capture.
const captures = [
  { ws: 12, folder: 'ws12', tag: 'ws12' },
  { ws: 14, folder: 'site-b/capture', tag: 'site-b-capture' },
];
const lines = f => fs.readFileSync(path.join(work, f), 'utf8').split('\n').filter(Boolean).map(l => JSON.parse(l));
const dateOf = name => `${name.slice(4, 8)}-${name.slice(8, 10)}-${name.slice(10, 12)}`;
const micros = t => { // "2026-12-09T07:00:00.0250000Z" to the microsecond
  const [whole, fraction] = t.slice(0, -1).split('.');
  return Date.parse(whole + 'Z') * 1000 + Number(fraction.slice(0, 6));
};
for (const c of captures) {
  const decoded = lines(`${c.tag}.decode.json`);
  c.records = decoded.filter(o => !('gap' in o));
  c.gaps = decoded.filter(o => 'gap' in o);
  c.summary = lines(`${c.tag}.summary.json`);
  c.byKey = new Map(c.records.map(r => [`${r.file}:${r.record}`, r]));
  c.bad = c.summary.flatMap(f => f.bad_records.map(b => ({ file: f.file, ...b })));
  c.pkt = name => fs.readFileSync(path.join(work, c.folder, name));
}

// Every record a row, in its partition.
const counts = await duck(`SELECT ws, strftime(date, '%Y-%m-%d') AS date, count(*) AS n FROM
  read_parquet('${out}/records/*/*/*.parquet', hive_partitioning = true) GROUP BY ALL ORDER BY ALL`);
const expectedCounts = [];
for (const c of captures) {
  const perDate = new Map();
  for (const r of [...c.records, ...c.bad]) perDate.set(dateOf(r.file), (perDate.get(dateOf(r.file)) ?? 0) + 1);
  for (const [date, n] of [...perDate].sort()) expectedCounts.push({ ws: c.ws, date, n });
}
check('DuckDB: the hive partitions hold every record, by ws and date', same(counts, expectedCounts),
      `${show(counts)} against ${show(expectedCounts)}`);
const summed = captures.reduce((n, c) => n + c.summary.reduce((m, f) => m + f.records, 0), 0);
const hyRows = [];
for (const f of partFiles('records')) {
  for (const row of await hyRead(f)) hyRows.push(row);
}
check(`hyparquet: ${hyRows.length} rows, the records summary counts`, hyRows.length === summed,
      `${hyRows.length} against ${summed}`);
check('both readers: the malformed record is kept', hyRows.filter(r => r.kind === 'malformed').length === 1 &&
      captures[0].bad.length === 1);

// Sample rows, field by field.
function expectedRow(c, r) {
  const bytes = c.pkt(r.file).subarray((r.record - 1) * 528 + 16, (r.record - 1) * 528 + 16 + Math.min(r.length, 512));
  return {
    ws: c.ws, run: r.run ?? null, sequence: r.sequence ?? null, arrival: r.time ? micros(r.time) : null,
    hour_file: r.file, record: r.record, kind: r.kind, device: r.devices[0] ?? null,
    devices: r.devices.join(','), text: r.lines.join('\n'), errorlog: r.errorlog.join('\n'),
    length: r.length, payload: bytes.toString('hex'), flags_errorlog: r.errorlog.length > 0,
  };
}
const fields = row => ({ ...row, flags_errorlog: (row.flags & 1) === 1, flags: undefined,
                         payload: String(row.payload).toLowerCase() });
for (const c of captures) {
  const rows = c.records;
  const pick = new Set([0, rows.length - 1]);
  for (let i = 0; i < rows.length; i += 997) pick.add(i);
  rows.forEach((r, i) => { if (!r.time && r.record <= 2) pick.add(i); });  // untimed
  rows.forEach((r, i) => { if (r.errorlog.length || r.lines.some(l => /[^\x20-\x7e]/.test(l))) pick.add(i); });
  const sample = [...pick].map(i => rows[i]);
  const keys = sample.map(r => `'${r.file}:${r.record}'`).join(',');
  const fromDuck = await duck(`SELECT ws, run, sequence, epoch_us(arrival) AS arrival, hour_file, record, kind,
    device, devices, text, errorlog, length, hex(payload) AS payload, flags FROM
    read_parquet('${out}/records/*/*/*.parquet') WHERE ws = ${c.ws} AND hour_file || ':' || record IN (${keys})`);
  const duckBy = new Map(fromDuck.map(r => [`${r.hour_file}:${r.record}`, fields(r)]));
  const hyBy = new Map(hyRows.filter(r => r.ws === c.ws).map(r => [`${r.hour_file}:${r.record}`, fields(r)]));
  let wrong = [];
  for (const r of sample) {
    const want = expectedRow(c, r), key = `${r.file}:${r.record}`;
    for (const [reader, got] of [['DuckDB', duckBy.get(key)], ['hyparquet', hyBy.get(key)]]) {
      if (!got || !same({ ...want }, Object.fromEntries(Object.keys(want).map(k => [k, got[k]])))) {
        wrong.push(`${reader} ${key}: ${show(got)} against ${show(want)}`);
      }
    }
  }
  const kinds = { untimed: sample.filter(r => !r.time).length, errorlog: sample.filter(r => r.errorlog.length).length,
                  nonAscii: sample.filter(r => r.lines.some(l => /[^\x20-\x7e]/.test(l))).length };
  check(`ws ${c.ws}: ${sample.length} sample rows equal decode --format json field by field in both readers ` +
        `(${show(kinds)})`, wrong.length === 0, wrong.slice(0, 3).join('\n  '));
  if (c.ws === 12) {
    check('ws 12: the sample holds untimed, error-log and non-ASCII records',
          kinds.untimed >= 2 && kinds.errorlog >= 1 && kinds.nonAscii >= 1, show(kinds));
  }
  // The malformed: its fault, and its whole 528 bytes.
  for (const b of c.bad) {
    const bytes = c.pkt(b.file).subarray((b.record - 1) * 528, b.record * 528).toString('hex');
    const got = hyRows.find(r => r.ws === c.ws && r.hour_file === b.file && r.record === b.record);
    const [d] = await duck(`SELECT kind, text, lower(hex(payload)) AS payload, run, arrival FROM
      read_parquet('${out}/records/*/*/*.parquet') WHERE ws = ${c.ws} AND hour_file = '${b.file}' AND record = ${b.record}`);
    check(`ws ${c.ws}: malformed ${b.file} record ${b.record} kept whole with its fault in both readers`,
          got?.kind === 'malformed' && got.text === b.fault && got.payload === bytes &&
          d?.kind === 'malformed' && d.text === b.fault && d.payload === bytes && d.run === null,
          `${show(got?.text)} ${show(d?.text)} against ${show(b.fault)}`);
  }
}

// Every gap, as summary --format json has it per file, and each run's loss.
const gapRows = await duck(`SELECT ws, run, gap, hour_file, record, after_hour_file, after_record, after_sequence,
  before_sequence, lost, epoch_us(from_time) AS from_time, epoch_us(to_time) AS to_time,
  strftime(date, '%Y-%m-%d') AS date FROM read_parquet('${out}/gaps/*/*/*.parquet', hive_partitioning = true)
  ORDER BY ws, hour_file, record`);
const hyGaps = [];
for (const f of partFiles('gaps')) for (const row of await hyRead(f)) hyGaps.push(row);
check(`both readers: ${gapRows.length} gaps`, gapRows.length === hyGaps.length && gapRows.length > 0);
for (const c of captures) {
  const fromSummary = c.summary.flatMap(f => (f.gaps ?? []).map(g => ({
    hour_file: f.file, record: g.record, lost: g.lost, from: g.from, to: g.to,
    gap: g.maybe_in_an_earlier_file ? 'maybe_in_an_earlier_file' : g.maybe_in_a_missing_hour_file
      ? 'maybe_in_a_missing_hour_file' : 'lost' })));
  const asSummary = rows => rows.filter(g => g.ws === c.ws).map(g => ({
    hour_file: g.hour_file, record: g.record, lost: g.lost,
    from: (g.before_sequence - g.lost) >>> 0, to: (g.before_sequence - 1) >>> 0, gap: g.gap }))
    .sort((a, b) => a.hour_file.localeCompare(b.hour_file) || a.record - b.record);
  for (const [reader, rows] of [['DuckDB', gapRows], ['hyparquet', hyGaps]]) {
    check(`ws ${c.ws}: ${reader}'s gaps are summary --format json's (${fromSummary.length})`,
          same(asSummary(rows), fromSummary), `${show(asSummary(rows))} against ${show(fromSummary)}`);
  }
  // A gap's run is the run of the record after it (decode's JSON names it).
  const runLoss = new Map();
  for (const g of fromSummary.filter(g => g.gap === 'lost')) {
    const run = c.byKey.get(`${g.hour_file}:${g.record}`)?.run ?? null;
    runLoss.set(run, (runLoss.get(run) ?? 0) + g.lost);
  }
  const want = [...runLoss].map(([run, lost]) => ({ run, lost })).sort((a, b) => a.run - b.run);
  const got = await duck(`SELECT run, sum(lost)::BIGINT AS lost FROM read_parquet('${out}/gaps/*/*/*.parquet',
    hive_partitioning = true) WHERE ws = ${c.ws} AND gap = 'lost' GROUP BY run ORDER BY run`);
  check(`ws ${c.ws}: each run's loss from the gaps table is summary's ${show(want)}`, same(got, want),
        `${show(got)} against ${show(want)}`);
  // The gaps' own fields beside decode's gap objects.
  const decodeGaps = c.gaps.map(g => [g.gap, g.file, g.before_record, g.lost, g.run ?? null,
    g.after_file ?? null, g.after_record ?? null]);
  const tableGaps = gapRows.filter(g => g.ws === c.ws).map(g => [g.gap, g.hour_file, g.record, g.lost, g.run,
    g.after_hour_file, g.after_record]);
  const sortRows = rows => rows.map(show).sort();
  check(`ws ${c.ws}: the gaps' runs and neighbours are decode --format json's`,
        same(sortRows(decodeGaps), sortRows(tableGaps)), `${show(tableGaps)} against ${show(decodeGaps)}`);
  const timed = gapRows.filter(g => g.ws === c.ws && g.after_record !== null);
  const times = timed.every(g => {
    const before = c.byKey.get(`${g.after_hour_file}:${g.after_record}`), after = c.byKey.get(`${g.hour_file}:${g.record}`);
    return g.from_time === micros(before.time) && g.to_time === micros(after.time) &&
           g.after_sequence === before.sequence && g.before_sequence === after.sequence &&
           g.date === dateOf(g.hour_file);
  });
  check(`ws ${c.ws}: the gaps' times and sequences are those of the records around them`, times);
}

// Size.
const ratio = Number(pktBytes) / Number(parquetBytes);
console.log(`size: PKT_ files ${pktBytes} bytes, zstd -3 of them ${zstdBytes}, Parquet ${parquetBytes} ` +
            `(${ratio.toFixed(1)}x smaller than the PKT_ files, ${(Number(parquetBytes) / Number(zstdBytes)).toFixed(2)} of zstd -3)`);
check('the Parquet files are at least 20x smaller than the PKT_ files', ratio >= 20, ratio.toFixed(1));

// The writer's edge cases.
const cases = JSON.parse(fs.readFileSync(path.join(casesDir, 'cases.json'), 'utf8'));
for (const c of cases) {
  const file = path.join(casesDir, `${c.name}.parquet`);
  const want = c.rows.map(r => Object.fromEntries(c.columns.map((k, i) => [k, r[i] === null ? null : r[i]])));
  const norm = rows => rows.map(r => Object.fromEntries(c.columns.map(k => [k, r[k] === null ? null : String(r[k])])));
  const hy = norm(await hyRead(file));
  const dk = norm(await duck(`SELECT * FROM '${file}'`));
  const meta = await parquetMetadataAsync(await asyncBufferFromFile(file));
  const groups = await duck(`SELECT count(DISTINCT row_group_id) AS n FROM parquet_metadata('${file}')`);
  const last = c.columns[c.columns.length - 1];
  const [enc] = await duck(`SELECT encodings FROM parquet_metadata('${file}') WHERE path_in_schema = '${last}' AND row_group_id = 0`);
  const hyEnc = meta.row_groups[0]?.columns.at(-1).meta_data.encodings.join(',') ?? '';
  check(`case ${c.name}: both readers give its ${want.length} rows in ${c.row_groups} row groups` +
        (c.encodings ? `, ${c.encodings}` : ''),
        same(hy, want) && same(dk, want) && meta.row_groups.length === c.row_groups &&
        (groups[0]?.n ?? 0) === c.row_groups && hyEnc === c.encodings &&
        (enc?.encodings ?? '').replaceAll(' ', '') === c.encodings,
        `hyparquet ${show(hy)} DuckDB ${show(dk)} groups ${meta.row_groups.length} encodings ${hyEnc} / ${enc?.encodings}`);
}

console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
