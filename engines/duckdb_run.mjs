// Runs SQL on an embedded, in-memory DuckDB and prints the result as JSON.
//
//   node engines/duckdb_run.mjs "SELECT ..."      one statement, one JSON object on stdout
//   node engines/duckdb_run.mjs --serve           one JSON request per stdin line:
//        {"sql": "..."}  ->  one JSON reply per stdout line
//
// A reply is {"columns": [...], "types": [...], "rows": [[...], ...]} or {"error": "..."}.
// Values use DuckDB's JSON forms: exact numerics (BIGINT, DECIMAL, HUGEINT) and temporal
// values arrive as strings, so the caller converts them by the reported column type.
// Relative file locations resolve against the working directory of this process.
import { DuckDBInstance } from '@duckdb/node-api';
import * as readline from 'node:readline';

const instance = await DuckDBInstance.create(':memory:');
const connection = await instance.connect();

async function run(sql) {
  try {
    const reader = await connection.runAndReadAll(sql);
    return {
      columns: reader.columnNames(),
      types: reader.columnTypes().map((t) => t.toString()),
      rows: reader.getRowsJson(),
    };
  } catch (err) {
    return { error: String(err && err.message ? err.message : err) };
  }
}

const args = process.argv.slice(2);
if (args[0] === '--serve') {
  const lines = readline.createInterface({ input: process.stdin, crlfDelay: Infinity });
  for await (const line of lines) {
    if (line.trim() === '') continue;
    let reply;
    try {
      reply = await run(JSON.parse(line).sql);
    } catch (err) {
      reply = { error: `bad request: ${err.message}` };
    }
    process.stdout.write(JSON.stringify(reply) + '\n');
  }
} else if (args.length === 1) {
  const reply = await run(args[0]);
  process.stdout.write(JSON.stringify(reply) + '\n');
  process.exitCode = reply.error ? 1 : 0;
} else {
  process.stderr.write('usage: duckdb_run.mjs SQL | --serve\n');
  process.exitCode = 2;
}
