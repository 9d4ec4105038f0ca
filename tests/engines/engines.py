"""Real SQL engines for the tests: embedded DuckDB (through Node) and a throwaway PostgreSQL.

Both hand back rows as lists of tuples of plain Python values: None, bool, int, float,
str, datetime.date or datetime.datetime (naive, UTC). Exact numerics become floats, so
results from either engine compare with the same tolerance rules.
"""

import csv
import datetime as dt
import io
import json
import os
import shutil
import subprocess
import tempfile
import time
from decimal import Decimal

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUNNER = os.path.join(REPO, "engines", "duckdb_run.mjs")
PG_BIN = "/usr/lib/postgresql/15/bin"


def _engine_env():
    """The environment for engine processes, without the sanitizer runtime that a sanitized
    test run preloads into Python: node and PostgreSQL are not built for it."""
    env = dict(os.environ)
    for k in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "PYTHONMALLOC"):
        env.pop(k, None)
    return env


class EngineError(Exception):
    """The engine refused or failed a statement."""


class SetupError(Exception):
    """An engine could not be started; the message says how to fix it."""


# --- DuckDB ------------------------------------------------------------------------------

def _duck_value(value, type_name):
    if value is None:
        return None
    t = type_name.upper()
    if t in ("BIGINT", "INTEGER", "SMALLINT", "TINYINT", "HUGEINT", "UBIGINT", "UINTEGER",
             "USMALLINT", "UTINYINT", "UHUGEINT"):
        return int(value)
    if t.startswith("DECIMAL") or t in ("DOUBLE", "FLOAT", "REAL"):
        return float(value)
    if t == "DATE":
        return dt.date.fromisoformat(value)
    if t.startswith("TIMESTAMP"):
        return dt.datetime.fromisoformat(value).replace(tzinfo=None)
    return value


class DuckDB:
    """One long-lived `duckdb_run.mjs --serve` process; statements run one at a time."""

    def __init__(self, cwd=REPO):
        if shutil.which("node") is None:
            raise SetupError("node is not on PATH; the DuckDB engine runs under Node.js 20")
        if not os.path.exists(os.path.join(REPO, "engines", "node_modules", "@duckdb", "node-api")):
            raise SetupError("engines/node_modules is missing; run scripts/setup-engines.sh")
        # stderr goes to a file: a pipe nobody reads could fill up and stall the runner.
        self.stderr = tempfile.TemporaryFile(mode="w+", encoding="utf-8")
        self.proc = subprocess.Popen(["node", RUNNER, "--serve"], cwd=cwd, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.stderr,
                                     text=True, encoding="utf-8", env=_engine_env())
        try:
            self.query("SELECT 1")
        except Exception as e:
            self.close()
            raise SetupError(f"DuckDB runner did not answer: {e}") from e

    def run(self, sql):
        """Returns (column names, rows)."""
        if self.proc.poll() is not None:
            raise SetupError(f"DuckDB runner exited: {self._stderr()}")
        self.proc.stdin.write(json.dumps({"sql": sql}) + "\n")
        self.proc.stdin.flush()
        line = self.proc.stdout.readline()
        if not line:
            raise SetupError(f"DuckDB runner exited: {self._stderr()}")
        reply = json.loads(line)
        if "error" in reply:
            raise EngineError(reply["error"])
        types = reply["types"]
        rows = [tuple(_duck_value(v, t) for v, t in zip(r, types)) for r in reply["rows"]]
        return reply["columns"], rows

    def _stderr(self):
        self.stderr.seek(0)
        return self.stderr.read()[-4000:]

    def query(self, sql):
        return self.run(sql)[1]

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.stderr.close()


# --- PostgreSQL --------------------------------------------------------------------------

def _pg_value(value):
    if isinstance(value, Decimal):
        return float(value)
    if isinstance(value, dt.datetime) and value.tzinfo is not None:
        return value.astimezone(dt.timezone.utc).replace(tzinfo=None)
    return value


def _pg_type(type_name):
    t = type_name.lower()
    if t.startswith("decimal("):
        return "numeric" + t[len("decimal"):]
    return {"int64": "bigint", "int32": "integer", "string": "text", "date": "date",
            "timestamp": "timestamp", "float64": "double precision", "bool": "boolean"}[t]


class Postgres:
    """A throwaway cluster in a temporary folder, reachable only through its Unix socket.

    PostgreSQL refuses to run as root, so under root the server runs as the `postgres`
    system user (created by the Debian package)."""

    def __init__(self):
        try:
            import psycopg2
        except ImportError as e:
            raise SetupError("python3-psycopg2 is missing; run scripts/setup.sh") from e
        self._psycopg2 = psycopg2
        if not os.path.exists(os.path.join(PG_BIN, "initdb")):
            raise SetupError(f"no PostgreSQL 15 server in {PG_BIN}; run scripts/setup.sh")
        self.dir = tempfile.mkdtemp(prefix="korvel-pg-")
        self.data = os.path.join(self.dir, "data")
        self.as_user = []
        if os.geteuid() == 0:
            self.as_user = ["runuser", "-u", "postgres", "--"]
            shutil.chown(self.dir, "postgres", "postgres")
        os.chmod(self.dir, 0o755)
        self.conn = None
        self.started = False
        try:
            self._cmd([os.path.join(PG_BIN, "initdb"), "-D", self.data, "-U", "korvel",
                       "--auth=trust", "--encoding=UTF8", "--locale=C", "--no-sync"])
            opts = f"-k {self.dir} -c listen_addresses='' -c fsync=off -c timezone=UTC"
            self._cmd([os.path.join(PG_BIN, "pg_ctl"), "-D", self.data, "-o", opts, "-w",
                       "-t", "60", "-l", os.path.join(self.dir, "server.log"), "start"])
            self.started = True
            self.conn = psycopg2.connect(host=self.dir, user="korvel", dbname="postgres")
            self.conn.autocommit = True
        except Exception as e:
            log = self.log()
            self.close()
            raise SetupError(f"could not start PostgreSQL: {e}\n{log}") from e

    def _cmd(self, argv):
        proc = subprocess.run(self.as_user + argv, capture_output=True, text=True, timeout=120,
                              env=_engine_env())
        if proc.returncode != 0:
            raise SetupError(f"{' '.join(argv)} failed: {proc.stdout}{proc.stderr}")

    def log(self):
        try:
            with open(os.path.join(self.dir, "server.log"), encoding="utf-8", errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def ident(self, name):
        return '"' + name.replace('"', '""') + '"'

    def load_table(self, name, schema, rows):
        """Creates table `name` with columns [(column, model type)] and copies the rows in."""
        cols = ", ".join(f"{self.ident(c)} {_pg_type(t)}" for c, t in schema)
        buf = io.StringIO()
        w = csv.writer(buf, lineterminator="\n")
        for r in rows:
            w.writerow([r"\N" if r[c] is None else r[c] for c, _ in schema])
        buf.seek(0)
        with self.conn.cursor() as cur:
            cur.execute(f"DROP TABLE IF EXISTS {self.ident(name)}")
            cur.execute(f"CREATE TABLE {self.ident(name)} ({cols})")
            cur.copy_expert(f"COPY {self.ident(name)} FROM STDIN WITH (FORMAT csv, NULL '\\N')", buf)

    def run(self, sql):
        with self.conn.cursor() as cur:
            try:
                cur.execute(sql)
            except self._psycopg2.Error as e:
                raise EngineError(str(e).strip()) from e
            if cur.description is None:  # a statement without a result set
                return [], []
            names = [d[0] for d in cur.description]
            return names, [tuple(_pg_value(v) for v in r) for r in cur.fetchall()]

    def query(self, sql):
        return self.run(sql)[1]

    def close(self):
        if self.conn is not None:
            self.conn.close()
            self.conn = None
        if self.started:
            try:
                self._cmd([os.path.join(PG_BIN, "pg_ctl"), "-D", self.data, "-m", "immediate",
                           "-w", "stop"])
            except Exception:
                pass
            self.started = False
        # The cluster belongs to `postgres` under root; removing works either way as root.
        for _ in range(3):
            shutil.rmtree(self.dir, ignore_errors=True)
            if not os.path.exists(self.dir):
                break
            time.sleep(0.2)
