"""Statements of the query matrix for the dialects without an engine here (Snowflake,
Databricks, SQL Server) must parse in that dialect's grammar and read back as a SELECT with
the expected output columns and row limit."""

import pytest
import sqlglot

from shop_cases import CASES
from test_shop_matrix import SHOP
import shop_world

# korvel dialect -> sqlglot dialect
DIALECTS = {"snowflake": "snowflake", "databricks": "databricks", "sqlserver": "tsql"}

# (korvel dialect, case id) -> why sqlglot 10.6.3 refuses a statement the engine accepts.
KNOWN_GAPS = {}

PARAMS = []
for cid, query in CASES:
    for dialect in DIALECTS:
        reason = KNOWN_GAPS.get((dialect, cid))
        marks = [pytest.mark.xfail(reason=reason, strict=True)] if reason else []
        PARAMS.append(pytest.param(dialect, query, id=f"{dialect}-{cid}", marks=marks))


@pytest.mark.parametrize("dialect,query", PARAMS)
def test_parses_in_dialect(korvel, dialect, query):
    sql = korvel.generate_sql(SHOP, query, dialect)
    try:
        tree = sqlglot.parse_one(sql, read=DIALECTS[dialect])
    except sqlglot.errors.SqlglotError as e:
        pytest.fail(f"sqlglot ({DIALECTS[dialect]}) refused:\n{sql}\n--\n{e}")
    assert isinstance(tree, sqlglot.exp.Select), sql
    expected_names = _output_names(query)
    assert [e.alias_or_name for e in tree.expressions] == expected_names, sql
    limit = tree.args.get("limit")
    if query.get("limit") is None:
        assert limit is None, sql
    else:
        assert limit is not None and int(limit.expression.this) == query["limit"], sql


def _output_names(query):
    metrics = query["metrics"]
    base = shop_world.METRICS[metrics[0]].table
    names = []
    if query.get("grain"):
        own = [shop_world.METRICS[m].time_column for m in metrics if shop_world.METRICS[m].time_column]
        names.append(f"{own[0] if own else shop_world.TIME_COLUMNS[base]}_{query['grain']}")
    names += [d.partition(".")[2] or d for d in query.get("dimensions", [])]
    return names + list(metrics)
