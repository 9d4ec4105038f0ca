"""generate_sql through the module: exact statements, exact error objects, reader
messages, and every Snowflake, Databricks and SQL Server statement read back by an
independent SQL parser."""
import json
import os
import pathlib
import sys

import pytest
import sqlglot

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(pathlib.Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()))

import korvel  # noqa: E402

DIALECTS = ["duckdb", "postgres", "databricks", "snowflake", "sqlserver"]
SQLGLOT_DIALECT = {"databricks": "databricks", "snowflake": "snowflake", "sqlserver": "tsql"}

ORDERS = """\
version: 1
source:
  format: {format}
  location: {location}
table:
  name: orders
columns:
  - name: order_date
    type: date
    time_dimension: true
  - name: amount
    type: float64
  - name: status
    type: string
  - name: customer_id
    type: int64
  - name: order_id
    type: int64
metrics:
  - name: revenue
    expr: SUM(amount)
  - name: paid_revenue
    expr: SUM(amount)
    filters: ["status = 'paid'"]
  - name: paid_orders
    expr: COUNT(*)
    filters: ["status = 'paid' OR status = 'settled'", "amount > 0"]
  - name: avg_paid
    expr: SUM(amount) / COUNT(DISTINCT order_id)
    filters: ["status = 'paid'"]
  - name: daily_revenue
    expr: SUM(amount)
    valid_grains: [day, month]
relationships:
  - to: customers
    type: many_to_one
    on: customer_id
"""

CUSTOMERS = """\
version: 1
source:
  format: {format}
  location: {location}
table:
  name: customers
columns:
  - name: customer_id
    type: int64
  - name: region
    type: string
  - name: region_id
    type: int64
metrics:
  - name: customer_count
    expr: COUNT(*)
relationships:
  - to: regions
    type: many_to_one
    on: region_id
"""

REGIONS = """\
version: 1
source:
  format: postgres
  schema: geo
  relation: dim_regions
table:
  name: regions
columns:
  - name: region_id
    type: int64
  - name: country
    type: string
"""


def write_project(root, orders_format="postgres", orders_location="null", customers_format="postgres",
                  customers_location="null"):
    (root / "models").mkdir(parents=True, exist_ok=True)
    (root / "semantic.yml").write_text("korvel: 1\nproject:\n  name: shop\nmodels:\n  - models/*.yml\n")
    (root / "models" / "orders.yml").write_text(ORDERS.format(format=orders_format, location=orders_location))
    (root / "models" / "customers.yml").write_text(
        CUSTOMERS.format(format=customers_format, location=customers_location))
    (root / "models" / "regions.yml").write_text(REGIONS)
    return str(root)


@pytest.fixture
def shop(tmp_path):
    return write_project(tmp_path / "shop")


WORKED = {"metrics": ["revenue"], "dimensions": ["customers.region"], "grain": "month", "limit": 10,
          "order_by": [{"field": "revenue", "desc": True}]}


def worked(open_quote, close_quote, bucket, top, limit):
    def q(name):
        return open_quote + name + close_quote
    lines = ["SELECT TOP (10)" if top else "SELECT",
             f"  {bucket.format(q('orders') + '.' + q('order_date'))} AS {q('order_date_month')},",
             f"  {q('customers')}.{q('region')} AS {q('region')},",
             f"  SUM({q('orders')}.{q('amount')}) AS {q('revenue')}",
             f"FROM {q('orders')}",
             f"LEFT JOIN {q('customers')} ON {q('orders')}.{q('customer_id')} = {q('customers')}.{q('customer_id')}",
             # SQL Server's GROUP BY takes no positions, so it repeats the grouped expressions.
             (f"GROUP BY {bucket.format(q('orders') + '.' + q('order_date'))}, {q('customers')}.{q('region')}"
              if top else "GROUP BY 1, 2"),
             f"ORDER BY {q('revenue')} DESC"]
    if limit:
        lines.append("LIMIT 10")
    return "\n".join(lines)


@pytest.mark.parametrize("dialect, expected", [
    ("duckdb", worked('"', '"', "date_trunc('month', {})", False, True)),
    ("postgres", worked('"', '"', "date_trunc('month', {})", False, True)),
    ("databricks", worked("`", "`", "date_trunc('month', {})", False, True)),
    ("snowflake", worked('"', '"', "date_trunc('month', {})", False, True)),
    ("sqlserver", worked("[", "]", "DATETRUNC(month, {})", True, False)),
])
def test_worked_example(shop, dialect, expected):
    assert korvel.generate_sql(shop, WORKED, dialect) == expected


def test_default_dialect_and_loose_names(shop):
    duck = korvel.generate_sql(shop, WORKED)
    assert duck == korvel.generate_sql(shop, WORKED, "DuckDB")
    assert korvel.generate_sql(shop, WORKED, "TSQL") == korvel.generate_sql(shop, WORKED, "mssql")
    assert korvel.generate_sql(shop, WORKED, "SPARK") == korvel.generate_sql(shop, WORKED, "databricks")
    for name in [" duckdb", "sql server", "pg", ""]:
        with pytest.raises(ValueError) as info:
            korvel.generate_sql(shop, WORKED, name)
        assert str(info.value) == f"unknown dialect `{name}`"


def test_file_sources_under_duckdb(tmp_path):
    root = write_project(tmp_path / "files", "parquet", "\"data/o'rders.parquet\"", "txt", "data/customers.txt")
    sql = korvel.generate_sql(root, WORKED, "duckdb")
    assert "\nFROM read_parquet('data/o''rders.parquet') AS \"orders\"\n" in sql
    assert "\nLEFT JOIN read_csv_auto('data/customers.txt') AS \"customers\" ON " in sql
    assert "\nFROM \"orders\"\nLEFT JOIN \"customers\" ON " in korvel.generate_sql(root, WORKED, "postgres")


def test_metric_filters_and_where(shop):
    query = {"metrics": ["paid_revenue", "paid_orders"], "dimensions": ["regions.country"],
             "filters": ["amount > 10 OR status = 'x'", "customers.region = 'EU'"]}
    assert korvel.generate_sql(shop, query, "postgres") == "\n".join([
        "SELECT",
        '  "regions"."country" AS "country",',
        '  SUM("orders"."amount") FILTER (WHERE "orders"."status" = \'paid\') AS "paid_revenue",',
        '  COUNT(*) FILTER (WHERE ("orders"."status" = \'paid\' OR "orders"."status" = \'settled\') AND '
        '"orders"."amount" > 0) AS "paid_orders"',
        'FROM "orders"',
        'LEFT JOIN "customers" ON "orders"."customer_id" = "customers"."customer_id"',
        'LEFT JOIN "geo"."dim_regions" AS "regions" ON "customers"."region_id" = "regions"."region_id"',
        "WHERE (\"orders\".\"amount\" > 10 OR \"orders\".\"status\" = 'x') AND customers.region = 'EU'",
        "GROUP BY 1",
        "ORDER BY 1",
    ])
    assert korvel.generate_sql(shop, query, "sqlserver") == "\n".join([
        "SELECT",
        "  [regions].[country] AS [country],",
        "  SUM(CASE WHEN [orders].[status] = 'paid' THEN [orders].[amount] END) AS [paid_revenue],",
        "  COUNT(CASE WHEN ([orders].[status] = 'paid' OR [orders].[status] = 'settled') AND [orders].[amount] > 0 "
        "THEN 1 END) AS [paid_orders]",
        "FROM [orders]",
        "LEFT JOIN [customers] ON [orders].[customer_id] = [customers].[customer_id]",
        "LEFT JOIN [geo].[dim_regions] AS [regions] ON [customers].[region_id] = [regions].[region_id]",
        "WHERE ([orders].[amount] > 10 OR [orders].[status] = 'x') AND customers.region = 'EU'",
        "GROUP BY [regions].[country]",
        "ORDER BY 1",
    ])


def error_of(shop, query, dialect="duckdb"):
    with pytest.raises(ValueError) as info:
        korvel.generate_sql(shop, query, dialect)
    return str(info.value)


@pytest.mark.parametrize("query, message", [
    ({"metrics": []}, '{"code":"no_metrics"}'),
    ({"metrics": ["revnue"]}, '{"code":"unknown_metric","name":"revnue","suggestions":["revenue"]}'),
    ({"metrics": ["revenue", "customer_count"]},
     '{"code":"metrics_span_tables","tables":["orders","customers"]}'),
    ({"metrics": ["revenue"], "dimensions": ["customers.regoin"]},
     '{"code":"unknown_dimension","name":"customers.regoin","suggestions":["region"]}'),
    ({"metrics": ["revenue"], "dimensions": ["shops.region"]},
     '{"code":"unknown_dimension","name":"shops.region","suggestions":[]}'),
    ({"metrics": ["customer_count"], "dimensions": ["status"]},
     '{"code":"fan_out_join","from":"customers","to":"orders"}'),
    ({"metrics": ["daily_revenue"], "grain": "week"},
     '{"code":"incompatible_grain","metric":"daily_revenue","grain":"week","valid":["day","month"]}'),
    ({"metrics": ["customer_count"], "grain": "day"}, '{"code":"no_time_dimension","table":"customers"}'),
    ({"metrics": ["revenue"], "dimensions": ["region"], "order_by": [{"field": "customers.region"}]},
     '{"code":"unknown_sort_field","name":"customers.region","available":["region","revenue"]}'),
    ({"metrics": ["revenue"], "filters": ["amount > 1 extra"]},
     '{"code":"bad_expression","expr":"amount > 1 extra","message":"unexpected trailing input starting at '
     '`extra`; expected a single expression"}'),
])
def test_error_objects(shop, query, message):
    assert error_of(shop, query) == message


def test_ambiguous_and_unreachable(tmp_path):
    root = tmp_path / "p"
    write_project(root)
    (root / "models" / "stores.yml").write_text(
        "version: 1\nsource:\n  format: postgres\ntable:\n  name: stores\ncolumns:\n"
        "  - name: region_id\n    type: int64\n  - name: city\n    type: string\n")
    assert error_of(str(root), {"metrics": ["revenue"], "dimensions": ["region_id"]}) == \
        '{"code":"ambiguous_dimension","name":"region_id","candidates":["customers.region_id","regions.region_id","stores.region_id"]}'
    assert error_of(str(root), {"metrics": ["revenue"], "dimensions": ["city"]}) == \
        '{"code":"no_join_path","from":"orders","to":"stores"}'


def test_parser_errors_carry_the_failing_text(shop):
    err = json.loads(error_of(shop, {"metrics": ["revenue"], "filters": ["status = 'a'", "amount >"]}))
    assert list(err) == ["code", "expr", "message"]
    assert err["expr"] == "amount >"
    assert err["message"].startswith("sql parser error: ")


@pytest.mark.parametrize("query, message", [
    ({}, "missing field `metrics`"),
    ({"metrics": ["revenue"], "dims": []},
     "unknown field `dims`, expected one of `metrics`, `dimensions`, `filters`, `grain`, `order_by`, `limit`"),
    ({"limit": -1}, "invalid value: integer `-1`, expected u64"),
    ({"metrics": ["revenue"], "limit": 2.5}, "invalid type: floating point `2.5`, expected u64"),
    ({"metrics": ["revenue"], "grain": "Day"},
     "unknown variant `Day`, expected one of `hour`, `day`, `week`, `month`, `quarter`, `year`"),
    ({"metrics": ["revenue"], "order_by": [{"field": "revenue", "direction": "desc"}]},
     "unknown field `direction`, expected `field` or `desc`"),
    ({"metrics": "revenue"}, 'invalid type: string "revenue", expected a sequence'),
    ({"metrics": [None]}, "invalid type: null, expected a string"),
    ([], "invalid length 0, expected struct Query with 6 elements"),
    ([["revenue"], [], [], None, [], None, None], "invalid length 7, expected fewer elements in array"),
    ("revenue", 'invalid type: string "revenue", expected struct Query'),
])
def test_bad_query_messages(shop, query, message):
    with pytest.raises(ValueError) as info:
        korvel.generate_sql(shop, query)
    assert str(info.value) == f"bad query: {message}"


def test_positional_and_null_fields(shop):
    assert korvel.generate_sql(shop, [["revenue"]]) == korvel.generate_sql(shop, {"metrics": ["revenue"]})
    assert korvel.generate_sql(shop, {"metrics": ["revenue"], "grain": None, "limit": None}) == \
        'SELECT\n  SUM("orders"."amount") AS "revenue"\nFROM "orders"'
    assert korvel.generate_sql(shop, {"metrics": ["revenue"], "grain": {"day": None}}) == \
        korvel.generate_sql(shop, {"metrics": ["revenue"], "grain": "day"})


def test_hostile_input(tmp_path):
    root = tmp_path / "hostile"
    (root / "models").mkdir(parents=True)
    (root / "semantic.yml").write_text("korvel: 1\nproject:\n  name: h\nmodels:\n  - models/*.yml\n")
    odd = "q\\\"b`k]o[s'"  # YAML double-quoted: q"b`k]o[s'
    (root / "models" / "t.yml").write_text(
        "version: 1\nsource:\n  format: parquet\n  location: \"it's \\\"odd\\\".parquet\"\n"
        f"table:\n  name: \"{odd}\"\ncolumns:\n  - name: \"{odd}c\"\n    type: string\n"
        f"metrics:\n  - name: \"{odd}m\"\n    expr: COUNT(*)\n")
    name = "q\"b`k]o[s'"
    query = {"metrics": [name + "m"], "dimensions": [name + "c"], "limit": 2**64 - 1}
    assert korvel.generate_sql(str(root), query, "duckdb") == "\n".join([
        "SELECT",
        '  "q""b`k]o[s\'"."q""b`k]o[s\'c" AS "q""b`k]o[s\'c",',
        '  COUNT(*) AS "q""b`k]o[s\'m"',
        "FROM read_parquet('it''s \"odd\".parquet') AS \"q\"\"b`k]o[s'\"",
        "GROUP BY 1",
        "ORDER BY 1",
        "LIMIT 18446744073709551615",
    ])
    assert korvel.generate_sql(str(root), query, "sqlserver").startswith(
        "SELECT TOP (18446744073709551615)\n  [q\"b`k]]o[s'].[q\"b`k]]o[s'c] AS [q\"b`k]]o[s'c],")
    assert "`q\"b``k]o[s'`.`q\"b``k]o[s'c`" in korvel.generate_sql(str(root), query, "databricks")
    # deep nesting and huge names end in clean errors
    deep = "(" * 5000 + "1" + ")" * 5000
    assert json.loads(error_of(str(root), {"metrics": [name + "m"], "filters": [deep]}))["code"] == "bad_expression"
    assert json.loads(error_of(str(root), {"metrics": ["x" * 1_000_000]}))["suggestions"] == []


def test_thousands_of_dimensions(tmp_path):
    root = tmp_path / "wide"
    (root / "models").mkdir(parents=True)
    (root / "semantic.yml").write_text("korvel: 1\nproject:\n  name: w\nmodels:\n  - models/*.yml\n")
    columns = "".join(f"  - name: c{i}\n    type: int64\n" for i in range(3000))
    (root / "models" / "w.yml").write_text(
        "version: 1\nsource:\n  format: postgres\ntable:\n  name: w\ncolumns:\n" + columns +
        "metrics:\n  - name: n\n    expr: COUNT(*)\n")
    sql = korvel.generate_sql(str(root), {"metrics": ["n"], "dimensions": [f"c{i}" for i in range(3000)]})
    assert sql.count("\n") == 3000 + 4
    assert sql.endswith("ORDER BY " + ", ".join(str(i) for i in range(1, 3001)))


# Every statement of a representative matrix, read back in its own dialect.
MATRIX = [
    WORKED,
    {"metrics": ["revenue", "paid_revenue", "paid_orders", "avg_paid"]},
    {"metrics": ["paid_orders"], "dimensions": ["status", "regions.country"], "filters": ["amount > 1 OR status = 'x'", "order_id <> 3"],
     "grain": "week", "limit": 5},
    {"metrics": ["avg_paid", "revenue"], "dimensions": ["region"], "order_by": [{"field": "region"}, {"field": "avg_paid", "desc": True}]},
    {"metrics": ["daily_revenue"], "grain": "day", "order_by": [{"field": "order_date_day", "desc": True}], "limit": 2**64 - 1},
    {"metrics": ["customer_count"], "dimensions": ["country"], "filters": ["region IN ('EU', 'US')"]},
]


@pytest.mark.parametrize("dialect", sorted(SQLGLOT_DIALECT))
@pytest.mark.parametrize("index", range(len(MATRIX)))
def test_statements_parse_in_their_dialect(shop, dialect, index):
    query = MATRIX[index]
    sql = korvel.generate_sql(shop, query, dialect)
    tree = sqlglot.parse_one(sql, read=SQLGLOT_DIALECT[dialect])
    assert isinstance(tree, sqlglot.exp.Select)
    expected_items = (1 if "grain" in query else 0) + len(query.get("dimensions", [])) + len(query["metrics"])
    assert len(tree.expressions) == expected_items
    assert len(tree.args.get("joins") or []) == sql.count("\nLEFT JOIN ")
    assert bool(tree.args.get("where")) == bool(query.get("filters"))


CLOSING_QUOTE = {"databricks": "`", "snowflake": '"', "sqlserver": "]"}


def named_project(root, name):
    """One table, its column, metric and a joined table all named after `name`."""
    (root / "models").mkdir(parents=True)
    (root / "semantic.yml").write_text("korvel: 1\nproject:\n  name: n\nmodels:\n  - models/*.yml\n")
    y = json.dumps  # a JSON string is a valid YAML double-quoted scalar
    (root / "models" / "a.yml").write_text(
        f"version: 1\nsource:\n  format: postgres\n  schema: {y(name + 's')}\ntable:\n  name: {y(name)}\n"
        f"columns:\n  - name: {y(name + 'c')}\n    type: string\n  - name: {y(name + 't')}\n    type: date\n"
        f"    time_dimension: true\nmetrics:\n  - name: {y(name + 'm')}\n    expr: COUNT(*)\n"
        f"relationships:\n  - to: {y(name + 'b')}\n    type: many_to_one\n    on: {y(name + 'k')}\n")
    (root / "models" / "b.yml").write_text(
        f"version: 1\nsource:\n  format: postgres\n  relation: {y(name + 'r')}\ntable:\n  name: {y(name + 'b')}\n"
        f"columns:\n  - name: {y(name + 'd')}\n    type: string\n")
    return str(root)


def named_query(name):
    return {"metrics": [name + "m"], "dimensions": [name + "c", name + "b." + name + "d"], "grain": "month",
            "order_by": [{"field": name + "m", "desc": True}], "limit": 3}


@pytest.mark.parametrize("dialect", sorted(SQLGLOT_DIALECT))
def test_quote_characters_in_names_parse(tmp_path, dialect):
    # every quote character but the dialect's own closing one (see the next test)
    name = "".join(c for c in "q\"b`k]o[s'x" if c != CLOSING_QUOTE[dialect])
    sql = korvel.generate_sql(named_project(tmp_path / "n", name), named_query(name), dialect)
    tree = sqlglot.parse_one(sql, read=SQLGLOT_DIALECT[dialect])
    assert {c.name for c in tree.find_all(sqlglot.exp.Column)} >= {name + "c", name + "d", name + "k"}
    assert {t.name for t in tree.find_all(sqlglot.exp.Table)} == {name, name + "r"}


@pytest.mark.xfail(strict=True, raises=sqlglot.errors.ParseError,
                   reason="sqlglot 10.6.3 reads no doubled closing quote inside an identifier in these dialects")
@pytest.mark.parametrize("dialect", sorted(SQLGLOT_DIALECT))
def test_doubled_closing_quote_parses(tmp_path, dialect):
    name = "a" + CLOSING_QUOTE[dialect] + "b"
    sql = korvel.generate_sql(named_project(tmp_path / "n", name), named_query(name), dialect)
    assert (CLOSING_QUOTE[dialect] * 2) in sql
    sqlglot.parse_one(sql, read=SQLGLOT_DIALECT[dialect])
