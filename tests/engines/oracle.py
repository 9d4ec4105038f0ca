"""Expected answers of semantic queries, computed in plain Python from the generated rows.

Nothing here reads SQL: a `World` holds each table's rows, the many-to-one links between
tables (the only joins that cannot change a row count) and, per metric, a Python function
over the base rows of one group. `World.answer` then groups, filters and aggregates the
way the generated statement is meant to, and `compare` checks an engine's rows against it.
"""

import datetime as dt
import math
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Tuple


# --- aggregates, with SQL's treatment of NULL --------------------------------------------

def _keep(rows, where):
    # A FILTER condition or CASE WHEN keeps a row only when the condition is true.
    return rows if where is None else [r for r in rows if where(r) is True]


def agg_count_star(where=None):
    return lambda rows: len(_keep(rows, where))


def agg_count(col, where=None):
    return lambda rows: sum(1 for r in _keep(rows, where) if r[col] is not None)


def agg_count_distinct(col, where=None):
    return lambda rows: len({r[col] for r in _keep(rows, where) if r[col] is not None})


def agg_sum(value, where=None):
    """`value` is a column name or a function of the row (None for NULL)."""
    get = value if callable(value) else (lambda r: r[value])

    def f(rows):
        vals = [get(r) for r in _keep(rows, where)]
        vals = [float(v) for v in vals if v is not None]
        return math.fsum(vals) if vals else None
    return f


def agg_avg(col, where=None):
    def f(rows):
        vals = [float(r[col]) for r in _keep(rows, where) if r[col] is not None]
        return math.fsum(vals) / len(vals) if vals else None
    return f


def ratio(num, den):
    def f(rows):
        a, b = num(rows), den(rows)
        if a is None or b is None or b == 0:
            return None
        return a / b
    return f


# --- time buckets ---------------------------------------------------------------------

def bucket(value, grain):
    if value is None:
        return None
    if isinstance(value, dt.datetime):
        t = value
    else:
        t = dt.datetime(value.year, value.month, value.day)
    if grain == "hour":
        return t.replace(minute=0, second=0, microsecond=0)
    d = dt.datetime(t.year, t.month, t.day)
    if grain == "day":
        return d
    if grain == "week":  # weeks start on Monday
        return d - dt.timedelta(days=d.weekday())
    if grain == "month":
        return d.replace(day=1)
    if grain == "quarter":
        return d.replace(day=1, month=3 * ((d.month - 1) // 3) + 1)
    if grain == "year":
        return d.replace(day=1, month=1)
    raise ValueError(grain)


# --- the world ----------------------------------------------------------------------------

@dataclass
class Metric:
    table: str
    compute: Callable[[List[dict]], object]
    time_column: Optional[str] = None  # its own time axis, when it has one


@dataclass
class World:
    rows: Dict[str, List[dict]]
    # table -> [(target table, local column, remote column)]: many-to-one links
    links: Dict[str, List[Tuple[str, str, str]]]
    metrics: Dict[str, Metric]
    time_columns: Dict[str, str]  # table -> its flagged time column
    _index: Dict[Tuple[str, str], dict] = field(default_factory=dict)

    def _lookup(self, table, column, value):
        idx = self._index.get((table, column))
        if idx is None:
            idx = {}
            for r in self.rows[table]:
                idx.setdefault(r[column], r)
            self._index[(table, column)] = idx
        return None if value is None else idx.get(value)

    def context(self, table, row):
        """The base row with every table reachable through many-to-one links (None when the
        key finds no row): what a LEFT JOIN chain of such links attaches to it."""
        ctx = {table: row}
        frontier = [table]
        while frontier:
            nxt = []
            for t in frontier:
                for target, local, remote in self.links.get(t, []):
                    if target in ctx:
                        continue
                    src = ctx[t]
                    ctx[target] = None if src is None else self._lookup(target, remote, src[local])
                    nxt.append(target)
            frontier = nxt
        return ctx

    def answer(self, metrics, dimensions=(), filters=(), grain=None, order_by=(), limit=None):
        """Expected (column names, rows in no particular order) of a semantic query.

        `dimensions` are (table, column) pairs; `filters` are predicates over the context
        dict; `order_by`/`limit` are left to `compare`."""
        base = self.metrics[metrics[0]].table
        ms = [self.metrics[m] for m in metrics]
        assert all(m.table == base for m in ms)
        time_col = None
        if grain is not None:
            time_col = next((m.time_column for m in ms if m.time_column), None) or self.time_columns[base]
        groups = {}
        for row in self.rows[base]:
            ctx = self.context(base, row)
            if not all(f(ctx) is True for f in filters):
                continue
            key = []
            if grain is not None:
                key.append(bucket(row[time_col], grain))
            for t, c in dimensions:
                r = ctx[t]
                key.append(None if r is None else r[c])
            groups.setdefault(tuple(key), []).append(row)
        names = ([f"{time_col}_{grain}"] if grain else []) + [c for _, c in dimensions] + list(metrics)
        if not groups and grain is None and not dimensions:
            groups[()] = []  # an aggregate without GROUP BY yields one row even over no rows
        out = [k + tuple(m.compute(rs) for m in ms) for k, rs in groups.items()]
        return names, out


# --- comparison --------------------------------------------------------------------------

def close(a, b, rel=1e-9, abs_tol=1e-6):
    if a is None or b is None:
        return a is None and b is None
    if isinstance(a, dt.date) or isinstance(b, dt.date):
        return _as_dt(a) == _as_dt(b)
    if isinstance(a, (int, float)) and isinstance(b, (int, float)) \
            and not isinstance(a, bool) and not isinstance(b, bool):
        return math.isclose(float(a), float(b), rel_tol=rel, abs_tol=abs_tol)
    return a == b


def _as_dt(v):
    if isinstance(v, dt.datetime):
        return v
    if isinstance(v, dt.date):
        return dt.datetime(v.year, v.month, v.day)
    return v


def _norm_key(v):
    return (v is None, _as_dt(v) if v is not None else 0)


def _sort_key(values, descs, nulls_first_desc):
    """Sort key for one row: per entry, ascending or descending, NULL placed the way the
    engine places it (NULLS LAST ascending everywhere; descending PostgreSQL puts NULLs
    first, DuckDB last)."""
    key = []
    for v, desc in zip(values, descs):
        if v is None:
            null_rank = (0 if nulls_first_desc else 2) if desc else 2
            key.append((null_rank, _Rev(None) if desc else None))
        else:
            vv = _as_dt(v)
            key.append((1, _Rev(vv) if desc else vv))
    return key


class _Rev:
    __slots__ = ("v",)

    def __init__(self, v):
        self.v = v

    def __lt__(self, other):
        return self.v is not None and other.v is not None and other.v < self.v

    def __eq__(self, other):
        return self.v == other.v


def compare(actual_names, actual_rows, expected_names, expected_rows, group_width,
            order=None, limit=None, nulls_first_desc=False):
    """Asserts that an engine's result is the expected answer.

    group_width: number of leading columns that identify a group (bucket + dimensions).
    order: list of (column index, desc) that the statement sorts by, or None for no order.
    limit: the row limit, if any. With a limit and ties at the cut, any of the tied rows
    may be returned, so the check is that the returned rows are expected rows, and that
    their sort keys are the first sort keys of the full expected answer."""
    assert list(actual_names) == list(expected_names), (actual_names, expected_names)
    for r in actual_rows:
        assert len(r) == len(expected_names)

    def gkey(r):
        return tuple(_norm_key(v) for v in r[:group_width])

    expected_by_key = {}
    for r in expected_rows:
        k = gkey(r)
        assert k not in expected_by_key, f"oracle produced duplicate group {r[:group_width]}"
        expected_by_key[k] = r

    n_expected = len(expected_rows) if limit is None else min(limit, len(expected_rows))
    assert len(actual_rows) == n_expected, \
        f"row count {len(actual_rows)} != expected {n_expected}\nactual: {actual_rows[:10]}\nexpected: {sorted(expected_rows, key=gkey)[:10]}"

    seen = set()
    for r in actual_rows:
        k = gkey(r)
        assert k not in seen, f"group returned twice: {r}"
        seen.add(k)
        e = expected_by_key.get(k)
        assert e is not None, f"unexpected group {r[:group_width]} in row {r}"
        for i, (a, b) in enumerate(zip(r, e)):
            assert close(a, b), f"column {expected_names[i]!r}: engine {a!r} != expected {b!r} in group {r[:group_width]}"

    if order:
        idx = [i for i, _ in order]
        descs = [d for _, d in order]
        keys = [_sort_key([r[i] for i in idx], descs, nulls_first_desc) for r in actual_rows]
        for a, b in zip(keys, keys[1:]):
            assert not (b < a), f"rows out of order: {a} before {b}"
        if limit is not None:
            full = sorted(expected_rows, key=lambda r: _sort_key([r[i] for i in idx], descs, nulls_first_desc))
            for got, want in zip(actual_rows, full[:n_expected]):
                for i in idx:
                    assert close(got[i], want[i]), \
                        f"limited rows are not the first ones: {got} where a row sorting like {want} was due"
