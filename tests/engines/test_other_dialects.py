"""Statements of the query matrix for the dialects without an engine here (Snowflake,
Databricks, SQL Server) must parse in that dialect's grammar and read back as a SELECT with
the expected output columns and row limit."""

import json

import pytest
import sqlglot

from shop_cases import CASES
from test_shop_matrix import SHOP
import shop_world

# korvel dialect -> sqlglot dialect
DIALECTS = {"snowflake": "snowflake", "databricks": "databricks", "sqlserver": "tsql"}

# (korvel dialect, case id) -> why sqlglot 10.6.3 refuses a statement the engine accepts.
KNOWN_GAPS = {}

# Filters are parsed in the target dialect's grammar, so a filter written in another
# dialect's syntax is refused rather than passed through: T-SQL has no DATE '...' literal.
TYPED_DATE = "order_date >= DATE '2024-01-01' AND order_date < DATE '2025-01-01'"
REFUSED = {("sqlserver", cid) for cid, q in CASES if TYPED_DATE in q.get("filters", [])}

PARAMS = []
for cid, query in CASES:
    for dialect in DIALECTS:
        reason = KNOWN_GAPS.get((dialect, cid))
        marks = [pytest.mark.xfail(reason=reason, strict=True)] if reason else []
        PARAMS.append(pytest.param(dialect, query, (dialect, cid) in REFUSED,
                                   id=f"{dialect}-{cid}", marks=marks))


@pytest.mark.parametrize("dialect,query,refused", PARAMS)
def test_parses_in_dialect(korvel, dialect, query, refused):
    if refused:
        with pytest.raises(ValueError) as info:
            korvel.generate_sql(SHOP, query, dialect)
        err = json.loads(str(info.value))
        assert (err["code"], err["expr"]) == ("bad_expression", TYPED_DATE)
        return
    sql = korvel.generate_sql(SHOP, query, dialect)
    try:
        tree = sqlglot.parse_one(sql, read=DIALECTS[dialect])
    except sqlglot.errors.SqlglotError as e:
        pytest.fail(f"sqlglot ({DIALECTS[dialect]}) refused:\n{sql}\n--\n{e}")
    assert isinstance(tree, sqlglot.exp.Select), sql
    expected_names = _output_names(query)
    assert [e.alias_or_name for e in tree.expressions] == expected_names, sql
    if dialect == "sqlserver" and tree.args.get("group"):
        # SQL Server's GROUP BY takes no column positions: the grouped expressions are repeated.
        grouped = tree.args["group"].expressions
        assert len(grouped) == len(expected_names) - len(query["metrics"]), sql
        assert not any(isinstance(g, sqlglot.exp.Literal) for g in grouped), sql
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

