"""Names with quote characters, brackets, blanks and non-ASCII letters, and file locations
with single quotes: the generated statements run on both engines, return the right rows,
and a name that reads like an injection stays one identifier."""

import csv
import datetime as dt
import glob
import json
import os
from decimal import Decimal

import pytest
import yaml

from conftest import ENGINES, REPO
from engines import EngineError
from oracle import Metric, World, agg_count_distinct, agg_count_star, agg_sum, compare

PROJECT = os.path.join(REPO, "tests", "fixtures", "hostile")

SALES = 'x"; DROP TABLE t; --'
KUNDEN = "Kunden [Zürich] `b`'s"
REGIONS = 'régions "ü"'
AMOUNT = "it's amount"
SIZE = "größe"
CODE = 'x"; DROP TABLE t; --'
ODD = "a]b `c` [d]"
TOTAL = 'total "amount"'
COUNT = "count'of rows"
BIG = "[groß] summe `x`"
WEIRD = 'weird; -- "q"'


def _models():
    out = {}
    for path in sorted(glob.glob(os.path.join(PROJECT, "models", "*.yml"))):
        with open(path, encoding="utf-8") as f:
            m = yaml.safe_load(f)
        out[m["table"]["name"]] = m
    return out


MODELS = _models()


def _typed(value, type_name):
    if value is None or value == "":
        return None
    if type_name == "int64":
        return int(value)
    if type_name.startswith("decimal("):
        return Decimal(str(value))
    if type_name == "date":
        return dt.date.fromisoformat(value)
    return value


def _rows(table):
    m = MODELS[table]
    path = os.path.join(REPO, m["source"]["location"])
    cols = [(c["name"], c["type"]) for c in m["columns"]]
    with open(path, encoding="utf-8", newline="") as f:
        if m["source"]["format"] == "csv":
            raw = list(csv.DictReader(f))
        elif m["source"]["format"] == "txt":  # tab-separated text
            raw = list(csv.DictReader(f, delimiter="\t"))
        else:
            raw = [json.loads(line) for line in f if line.strip()]
    return [{c: _typed(r.get(c), t) for c, t in cols} for r in raw]


ROWS = {t: _rows(t) for t in MODELS}


def _big(r):
    return r[SIZE] == "groß"


def _not_its(r):
    return r[ODD] is None or r[ODD] != "it's"


WORLD = World(
    rows=ROWS,
    links={SALES: [(KUNDEN, "kunden-nr", 'kunden "id"')], KUNDEN: [(REGIONS, "région", "région")]},
    metrics={
        TOTAL: Metric(SALES, agg_sum(AMOUNT)),
        COUNT: Metric(SALES, agg_count_star()),
        BIG: Metric(SALES, agg_sum(AMOUNT, _big)),
        WEIRD: Metric(SALES, agg_count_distinct(CODE, _not_its)),
    },
    time_columns={SALES: "dätum"},
)


def _get(ctx, table, col):
    r = ctx.get(table)
    return None if r is None else r[col]


FILTERS = {
    f'"{SIZE}" = \'groß\' OR "x""; DROP TABLE t; --" = \'ß\'':
        lambda c: _get(c, SALES, SIZE) == "groß" or _get(c, SALES, CODE) == "ß",
    '"Kunden [Zürich] `b`\'s"."name [voll]" IS NOT NULL':
        lambda c: _get(c, KUNDEN, "name [voll]") is not None,
    "\"it's amount\" > 10":
        lambda c: _get(c, SALES, AMOUNT) is not None and _get(c, SALES, AMOUNT) > 10,
}

ALL = [TOTAL, COUNT, BIG, WEIRD]
CASES = [
    ("all-metrics", {"metrics": ALL}),
    ("bare-dim", {"metrics": ALL, "dimensions": [SIZE]}),
    ("dim-named-like-table", {"metrics": [COUNT, TOTAL], "dimensions": [CODE, ODD]}),
    ("one-join", {"metrics": ALL, "dimensions": [f"{KUNDEN}.name [voll]"]}),
    ("two-joins", {"metrics": [TOTAL, BIG], "dimensions": [f"{REGIONS}.nom `affiché`", SIZE]}),
    ("grain-order-bucket", {"metrics": [TOTAL, COUNT], "grain": "month",
                            "order_by": [{"field": "dätum_month", "desc": True}], "limit": 3}),
    ("order-quoted-metric", {"metrics": [TOTAL, COUNT], "dimensions": [f"{KUNDEN}.région"],
                             "order_by": [{"field": TOTAL, "desc": True}, {"field": COUNT}]}),
    ("filters", {"metrics": ALL, "dimensions": [f"{KUNDEN}.name [voll]"],
                 "filters": list(FILTERS)}),
]


def _expected(query):
    metrics = query["metrics"]
    dims = []
    for d in query.get("dimensions", []):
        if d in (SIZE, CODE, ODD):
            dims.append((SALES, d))
        else:
            t, _, c = d.partition(".")
            dims.append((t, c))
    names, rows = WORLD.answer(metrics, dims, [FILTERS[f] for f in query.get("filters", [])],
                               query.get("grain"))
    width = len(dims) + (1 if query.get("grain") else 0)
    if query.get("order_by"):
        order = [(names.index(o["field"]), o.get("desc", False)) for o in query["order_by"]]
    else:
        order = [(i, False) for i in range(width)] or None
    return names, rows, width, order


@pytest.fixture(scope="module")
def postgres_hostile(postgres_engine):
    for table, m in MODELS.items():
        postgres_engine.load_table(table, [(c["name"], c["type"]) for c in m["columns"]], ROWS[table])
    postgres_engine.run("CREATE TABLE IF NOT EXISTS t (keep int)")
    return postgres_engine


@pytest.fixture(scope="module")
def duckdb_hostile(duckdb_engine):
    duckdb_engine.run("CREATE OR REPLACE TABLE t (keep int)")
    return duckdb_engine


def _engine(request, name):
    return request.getfixturevalue({"duckdb": "duckdb_hostile", "postgres": "postgres_hostile"}[name])


@pytest.mark.parametrize("engine_name", list(ENGINES))
@pytest.mark.parametrize("query", [q for _, q in CASES], ids=[c for c, _ in CASES])
def test_hostile_names_run_and_answer(korvel, request, engine_name, query):
    engine = _engine(request, engine_name)
    dialect, nulls_first_desc = ENGINES[engine_name]
    sql = korvel.generate_sql(PROJECT, query, dialect)
    try:
        names, rows = engine.run(sql)
    except EngineError as e:
        pytest.fail(f"{engine_name} refused the statement:\n{sql}\n--\n{e}")
    exp_names, exp_rows, width, order = _expected(query)
    try:
        compare(names, rows, exp_names, exp_rows, width, order, query.get("limit"), nulls_first_desc)
    except AssertionError as e:
        raise AssertionError(f"{e}\nstatement ({engine_name}):\n{sql}") from None
    # The injection-shaped names did not end the statement: the table t is still there.
    assert engine.query("SELECT count(*) FROM t") == [(0,)]


@pytest.mark.parametrize("engine_name", list(ENGINES))
def test_injection_name_is_one_identifier(korvel, request, engine_name):
    """The table, its column and the output name come back under the exact hostile text."""
    engine = _engine(request, engine_name)
    sql = korvel.generate_sql(PROJECT, {"metrics": [WEIRD], "dimensions": [CODE]}, ENGINES[engine_name][0])
    names, rows = engine.run(sql)
    assert names == [CODE, WEIRD]
    assert sorted((r for r in rows), key=lambda r: (r[0] is None, r[0] or "")) == [
        ("'; --", 1), ("DROP TABLE t", 1), ("x\"y", 1), ("ß", 1), (None, 0)]
    assert engine.query("SELECT count(*) FROM t") == [(0,)]
