"""The comparison must catch wrong statements: hand-written SQL with one fault each, run on
DuckDB against the shop data, is rejected, while the correct statement passes."""

import pytest

from oracle import compare
from shop_world import generate_data
from test_shop_matrix import expected_for


def rel(table):
    fmt, loc = generate_data.FILES[table]
    fn = {"csv": "read_csv_auto", "json": "read_json_auto", "parquet": "read_parquet"}[fmt]
    return f"{fn}('{loc}') AS \"{table}\""


QUERY = {"metrics": ["revenue", "order_count"], "dimensions": ["regions.region_name"],
         "order_by": [{"field": "revenue", "desc": True}], "limit": 4}


def statement(revenue='SUM("orders"."amount") FILTER (WHERE "orders"."status" = \'completed\')',
              join="LEFT JOIN", direction="DESC", limit=4):
    return f"""SELECT
  "regions"."region_name" AS "region_name",
  {revenue} AS "revenue",
  COUNT(*) AS "order_count"
FROM {rel('orders')}
{join} {rel('customers')} ON "orders"."customer_id" = "customers"."customer_id"
{join} {rel('regions')} ON "customers"."region_id" = "regions"."region_id"
GROUP BY 1
ORDER BY "revenue" {direction}
LIMIT {limit}"""


FAULTS = {
    "metric filter dropped": dict(revenue='SUM("orders"."amount")'),
    "inner join loses the NULL group": dict(join="JOIN", limit=100),
    "wrong direction": dict(direction="ASC"),
    "limit off by one": dict(limit=3),
}


def _check(duckdb_engine, shop, sql, query):
    names, rows = duckdb_engine.run(sql)
    exp_names, exp_rows, width, order = expected_for(shop, query)
    compare(names, rows, exp_names, exp_rows, width, order, query.get("limit"), False)


def test_correct_statement_passes(duckdb_engine, shop):
    _check(duckdb_engine, shop, statement(), QUERY)


@pytest.mark.parametrize("fault", list(FAULTS))
def test_faulty_statement_is_caught(duckdb_engine, shop, fault):
    query = dict(QUERY, limit=FAULTS[fault].get("limit", QUERY["limit"])) if fault != "limit off by one" else QUERY
    with pytest.raises(AssertionError):
        _check(duckdb_engine, shop, statement(**FAULTS[fault]), query)
