// The README's "Querying months of captures" queries, run as they stand by
// DuckDB over the export of parquet_test.sh's captures, against what the
// generator made and decode's JSON says.
// usage: node readme_queries.mjs README.md WORK
import fs from 'fs';
import path from 'path';
import { DuckDBInstance } from '@duckdb/node-api';

const [readme, work] = process.argv.slice(2);
let failed = 0;
const check = (what, ok, detail = '') => {
  console.log(`${ok ? 'ok' : 'FAIL'} - ${what}${ok || !detail ? '' : `: ${detail}`}`);
  if (!ok) failed++;
};

// The sql blocks of the section, in order.
const text = fs.readFileSync(readme, 'utf8');
const start = text.indexOf('### Querying months of captures');
const end = text.indexOf('\n### ', start + 1);
const section = text.slice(start, end);
const queries = [...section.matchAll(/```sql\n([\s\S]*?)```/g)].map(m =>
  m[1].replaceAll("'DIR/", `'${path.join(work, 'out')}/`));
check('the README gives three queries', queries.length === 3, `${queries.length}`);
if (queries.length !== 3) process.exit(1);

const db = await (await DuckDBInstance.create(':memory:')).connect();
const run = async sql => (await db.runAndReadAll(sql)).getRowObjectsJson();

// 1: loss per workstation per day, as the generator lost them: ws12 25 in
// hour 6 and the malformed record's number in hour 10 on the 9th, 7 in
// hour 25 and run 5's first two numbers on the 10th; ws14 3 in hour 31.
const loss = await run(queries[0]);
const got = loss.map(r => `${r.ws} ${r.date} ${r.lost} ${r.gaps}`);
check('loss per workstation per day', JSON.stringify(got) === JSON.stringify([
  '12 2026-12-09 26 2', '12 2026-12-10 9 2', '14 2026-12-10 3 1']), got.join(', '));
const records = Object.fromEntries(loss.map(r => [`${r.ws} ${r.date}`, Number(r.records)]));

// 2: when each device was last heard, against decode's JSON of both.
const lastHeard = new Map();
const timed = new Map();
for (const [ws, file] of [[12, 'ws12.decode.json'], [14, 'site-b-capture.decode.json']]) {
  for (const line of fs.readFileSync(path.join(work, file), 'utf8').split('\n').filter(Boolean)) {
    const r = JSON.parse(line);
    if (r.time === undefined) continue;
    const key = `${ws} ${r.file.slice(4, 8)}-${r.file.slice(8, 10)}-${r.file.slice(10, 12)}`;
    timed.set(key, (timed.get(key) || 0) + 1);
    if (r.kind !== 'revertive' || !Array.isArray(r.devices)) continue;
    for (const d of r.devices) {
      const t = Date.parse(r.time.slice(0, 23) + 'Z');
      if (!lastHeard.has(d) || t >= lastHeard.get(d).t) lastHeard.set(d, { t, ws });
    }
  }
}
check('records per workstation and day are the timed records decode reads',
  timed.size === 3 && [...timed].every(([k, n]) => records[k] === n),
  `${JSON.stringify(records)} against ${JSON.stringify([...timed])}`);
const heard = await run(queries[1]);
const wrong = heard.filter(r => {
  const want = lastHeard.get(Number(r.device));
  return !want || Date.parse(r.last_heard.replace(' ', 'T').replace(/\+00$/, 'Z')) !== want.t ||
    Number(r.heard_by) !== want.ws;
});
check('each device last heard, by whom', heard.length === lastHeard.size && wrong.length === 0,
  `${heard.length} devices against ${lastHeard.size}; first wrong ${JSON.stringify(wrong[0])}`);

// 3: each lost gap classified; ws12's where ws14 was not recording (it
// recorded only hours 30 to 33) are unknown, ws14's hour 31 gap lies where
// ws12 recorded.
const classes = await run(queries[2]);
const cls = classes.map(r => `${r.ws} ${r.hour_file} ${r.class}`);
check('every lost gap is classified', classes.length === 5 &&
  classes.every(r => ['lost here', 'not sent', 'unknown'].includes(r.class)), cls.join(', '));
check("ws12's gaps with nobody else recording are unknown",
  classes.filter(r => Number(r.ws) === 12).every(r => r.class === 'unknown'), cls.join(', '));
const ws14 = classes.find(r => Number(r.ws) === 14);
check("ws14's gap, where ws12 recorded, is lost here or not sent",
  ws14 !== undefined && ws14.class !== 'unknown', cls.join(', '));
process.exit(failed === 0 ? 0 : 1);
