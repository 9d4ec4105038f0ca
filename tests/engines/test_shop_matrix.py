"""Every statement of the query matrix runs on DuckDB and on PostgreSQL and returns the
answer computed in Python from the generated rows."""

import json

import pytest

from conftest import ENGINES
from engines import EngineError
from oracle import compare
from shop_cases import CASES, FILTERS
import shop_world

SHOP = shop_world.SHOP


def expected_for(world, query):
    metrics = query["metrics"]
    base = world.metrics[metrics[0]].table
    dims = []
    for d in query.get("dimensions", []):
        t, _, c = d.partition(".")
        dims.append((t, c) if c else (base, t))
    names, rows = world.answer(metrics, dims, [FILTERS[f] for f in query.get("filters", [])],
                               query.get("grain"))
    group_width = len(dims) + (1 if query.get("grain") else 0)
    if query.get("order_by"):
        order = [(names.index(o["field"]), o.get("desc", False)) for o in query["order_by"]]
    elif group_width:
        order = [(i, False) for i in range(group_width)]
    else:
        order = None
    return names, rows, group_width, order


def check(korvel, engine, world, query, engine_name, dialect=None):
    default_dialect, nulls_first_desc = ENGINES[engine_name]
    sql = korvel.generate_sql(SHOP, query, dialect or default_dialect)
    try:
        names, rows = engine.run(sql)
    except EngineError as e:
        pytest.fail(f"{engine_name} refused the statement:\n{sql}\n--\n{e}")
    exp_names, exp_rows, width, order = expected_for(world, query)
    try:
        compare(names, rows, exp_names, exp_rows, width, order, query.get("limit"), nulls_first_desc)
    except AssertionError as e:
        raise AssertionError(f"{e}\nstatement ({engine_name}):\n{sql}") from None


@pytest.mark.parametrize("query", [q for _, q in CASES], ids=[c for c, _ in CASES])
def test_duckdb(korvel, duckdb_engine, shop, query):
    check(korvel, duckdb_engine, shop, query, "duckdb")


@pytest.mark.parametrize("query", [q for _, q in CASES], ids=[c for c, _ in CASES])
def test_postgres(korvel, postgres_shop, shop, query):
    check(korvel, postgres_shop, shop, query, "postgres")


@pytest.mark.parametrize("query", [q for _, q in CASES], ids=[c for c, _ in CASES])
def test_snowflake_form_on_postgres(korvel, postgres_shop, shop, query):
    """The Snowflake statement applies metric filters as CASE WHEN inside each aggregate (as
    SQL Server's does) and otherwise uses double quotes, date_trunc and LIMIT, which
    PostgreSQL reads the same way: running it there proves the numbers of that form."""
    check(korvel, postgres_shop, shop, query, "postgres", dialect="snowflake")


# Statements that would give wrong numbers are refused instead of generated.
REFUSED = [
    ({"metrics": ["revenue"], "dimensions": ["order_items.product_id"]},
     {"code": "fan_out_join", "from": "orders", "to": "order_items"}),
    ({"metrics": ["order_count"], "dimensions": ["returns.reason"]},
     {"code": "fan_out_join", "from": "orders", "to": "returns"}),
    ({"metrics": ["customer_count"], "dimensions": ["orders.channel"]},
     {"code": "fan_out_join", "from": "customers", "to": "orders"}),
    ({"metrics": ["product_count"], "grain": "month"},
     {"code": "no_time_dimension", "table": "products"}),
    ({"metrics": ["revenue"], "grain": "hour"},
     {"code": "incompatible_grain", "metric": "revenue", "grain": "hour",
      "valid": ["day", "week", "month", "quarter", "year"]}),
]


@pytest.mark.parametrize("query,error", REFUSED, ids=[e["code"] + "-" + "-".join(q["metrics"]) for q, e in REFUSED])
def test_refuses_queries_that_would_miscount(korvel, query, error):
    with pytest.raises(ValueError) as info:
        korvel.generate_sql(SHOP, query, "duckdb")
    assert json.loads(str(info.value)) == error

