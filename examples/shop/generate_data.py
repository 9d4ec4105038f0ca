#!/usr/bin/env python3
"""Deterministic example data for the shop project.

Writes the files that the shop models point at, under examples/shop/data/:

  regions.csv, products.csv, legacy_daily_sales.csv   (csv with header)
  customers.json, returns.json                          (newline-delimited json)
  orders.parquet, order_items.parquet                   (parquet, written by DuckDB)

Parquet needs DuckDB: the rows are first written as csv to data/staging/ and then converted
by engines/duckdb_run.mjs (set up by `npm ci` in engines/). Use --no-parquet to write only
the staging files.

The rows come from a fixed seed, so every run yields the same bytes; `rows()` gives the same
rows as Python values, which is what the engine tests compute their expected answers from.
Standard library only.
"""

import argparse
import csv
import datetime as dt
import json
import os
import random
import subprocess
import sys
from decimal import Decimal

SEED = 20240611
N_CUSTOMERS = 400
N_PRODUCTS = 40
N_ORDERS = 3000
FIRST_DAY = dt.date(2022, 1, 1)
LAST_DAY = dt.date(2025, 12, 31)

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
DATA = os.path.join(HERE, "data")

# Physical schema of every table: (column, type name as in the models).
SCHEMA = {
    "regions": [
        ("region_id", "int64"),
        ("region_name", "string"),
        ("country", "string"),
    ],
    "customers": [
        ("customer_id", "int64"),
        ("full_name", "string"),
        ("email", "string"),
        ("region_id", "int64"),
        ("segment", "string"),
        ("signup_date", "date"),
    ],
    "products": [
        ("product_id", "int64"),
        ("product_name", "string"),
        ("category", "string"),
        ("list_price", "decimal(10,2)"),
    ],
    "orders": [
        ("order_id", "int64"),
        ("customer_id", "int64"),
        ("order_date", "date"),
        ("ordered_at", "timestamp"),
        ("status", "string"),
        ("channel", "string"),
        ("amount", "decimal(12,2)"),
        ("discount", "decimal(12,2)"),
        ("shipped_date", "date"),
        ("coupon_code", "string"),
    ],
    "order_items": [
        ("line_id", "int64"),
        ("order_id", "int64"),
        ("product_id", "int64"),
        ("quantity", "int32"),
        ("unit_price", "decimal(10,2)"),
    ],
    "returns": [
        ("return_id", "int64"),
        ("order_id", "int64"),
        ("returned_on", "date"),
        ("reason", "string"),
        ("refund_amount", "decimal(10,2)"),
    ],
    "legacy_daily_sales": [
        ("sale_date", "date"),
        ("region_id", "int64"),
        ("total", "decimal(14,2)"),
    ],
}

# File of each table, relative to the repository root (the models use the same text).
FILES = {
    "regions": ("csv", "examples/shop/data/regions.csv"),
    "products": ("csv", "examples/shop/data/products.csv"),
    "legacy_daily_sales": ("csv", "examples/shop/data/legacy_daily_sales.csv"),
    "customers": ("json", "examples/shop/data/customers.json"),
    "returns": ("json", "examples/shop/data/returns.json"),
    "orders": ("parquet", "examples/shop/data/orders.parquet"),
    "order_items": ("parquet", "examples/shop/data/order_items.parquet"),
}

REGIONS = [
    (1, "Île-de-France", "FR"),
    (2, "Bayern", "DE"),
    (3, "Kantō 関東", "JP"),
    (4, "São Paulo", "BR"),
    (5, "Ontario", "CA"),
    (6, "Zürich", "CH"),
    (7, "Offshore", None),
]
FIRST_NAMES = ["Anaïs", "Björn", "Chloé", "Dmitri", "Émile", "Fatima", "Göran", "Hiroshi",
               "Inès", "José", "Katarzyna", "Lucía", "Mårten", "Nuño", "Øyvind", "Zoë",
               "Ana", "Ben", "Carl", "Dana"]
LAST_NAMES = ["Müller", "O'Brien", "Dubois", "Sánchez", "Nakamura", "Kowalski", "Smith",
              "Østergaard", "Nguyễn", "Ferreira", "Lefèvre", "Brown"]
SEGMENTS = ["consumer", "business", "education", None]
CATEGORIES = ["kitchen", "garden", "bücher", "électronique", "toys", None]
PRODUCT_WORDS = ["Crème brûlée set", "Kaffeemühle", "抹茶 tea", "Garden hose", "Smörgåsbord tray",
                 "Piñata", "Café au lait cups", "Jalapeño sauce", "Rock 'n' roll poster", "Über lamp"]
STATUSES = ["completed"] * 6 + ["cancelled", "pending", "refunded"]
CHANNELS = ["web", "web", "app", "store", "phone", None]
REASONS = ["défectueux", "wrong size", "arrived late", "не подошло", None]


def _money(rng, lo_cents, hi_cents):
    return Decimal(rng.randint(lo_cents, hi_cents)).scaleb(-2)


def rows():
    """Every table's rows as lists of dicts of Python values (None for NULL)."""
    rng = random.Random(SEED)
    span = (LAST_DAY - FIRST_DAY).days

    regions = [dict(region_id=i, region_name=n, country=c) for i, n, c in REGIONS]

    customers = []
    for cid in range(1, N_CUSTOMERS + 1):
        first = rng.choice(FIRST_NAMES)
        last = rng.choice(LAST_NAMES)
        # Some customers have no region: their orders fall into the NULL region group.
        region = None if rng.random() < 0.06 else rng.choice(REGIONS)[0]
        customers.append(dict(
            customer_id=cid,
            full_name=f"{first} {last}",
            email=f"{first.lower()}.{cid}@example.org",
            region_id=region,
            segment=rng.choice(SEGMENTS),
            signup_date=FIRST_DAY + dt.timedelta(days=rng.randint(0, span)),
        ))

    products = []
    for pid in range(1, N_PRODUCTS + 1):
        products.append(dict(
            product_id=pid,
            product_name=f"{PRODUCT_WORDS[pid % len(PRODUCT_WORDS)]} #{pid}",
            category=CATEGORIES[pid % len(CATEGORIES)],
            # Prices repeat so that sorting by them meets ties.
            list_price=_money(rng, 199, 9999) if pid % 4 else Decimal("19.99"),
        ))

    orders, items, returns = [], [], []
    line_id = 0
    for oid in range(1, N_ORDERS + 1):
        day = FIRST_DAY + dt.timedelta(days=rng.randint(0, span))
        at = dt.datetime.combine(day, dt.time(rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59)))
        status = rng.choice(STATUSES)
        # A few orders point at customers that do not exist: joins leave them with NULLs.
        customer = 90000 + oid if oid % 97 == 0 else rng.randint(1, N_CUSTOMERS)
        lines_total = Decimal(0)
        for _ in range(rng.randint(1, 5)):
            line_id += 1
            product = products[rng.randint(0, N_PRODUCTS - 1)]
            quantity = rng.choice([1, 1, 1, 2, 2, 3, 5, 8])
            items.append(dict(line_id=line_id, order_id=oid, product_id=product["product_id"],
                              quantity=quantity, unit_price=product["list_price"]))
            lines_total += quantity * product["list_price"]
        discount = None if rng.random() < 0.7 else _money(rng, 100, 2000)
        amount = lines_total - (discount or 0)
        if amount < 0:
            amount = Decimal("0.00")
        shipped = None
        if status in ("completed", "refunded") and rng.random() < 0.9:
            shipped = day + dt.timedelta(days=rng.randint(0, 9))
        orders.append(dict(
            order_id=oid, customer_id=customer, order_date=day, ordered_at=at, status=status,
            channel=rng.choice(CHANNELS), amount=amount, discount=discount, shipped_date=shipped,
            coupon_code=None if rng.random() < 0.8 else f"SAVE{rng.randint(5, 30)}",
        ))
        if status == "refunded" or (status == "completed" and rng.random() < 0.05):
            returns.append(dict(
                return_id=len(returns) + 1, order_id=oid,
                returned_on=day + dt.timedelta(days=rng.randint(1, 40)),
                reason=rng.choice(REASONS),
                refund_amount=(amount * Decimal(rng.choice([25, 50, 100])) / 100).quantize(Decimal("0.01")),
            ))

    # Pre-aggregated daily totals that the deprecated legacy table used to serve.
    cust_by_id = {c["customer_id"]: c for c in customers}
    legacy = {}
    for o in orders:
        if o["status"] != "completed" or o["order_date"].year > 2023:
            continue
        c = cust_by_id.get(o["customer_id"])
        key = (o["order_date"], c["region_id"] if c else None)
        legacy[key] = legacy.get(key, Decimal(0)) + o["amount"]
    legacy_rows = [dict(sale_date=d, region_id=r, total=t)
                   for (d, r), t in sorted(legacy.items(), key=lambda kv: (kv[0][0], kv[0][1] or 0))]

    return {
        "regions": regions, "customers": customers, "products": products, "orders": orders,
        "order_items": items, "returns": returns, "legacy_daily_sales": legacy_rows,
    }


def _text(value):
    """Text form of a value in csv and json files."""
    if value is None:
        return None
    if isinstance(value, dt.datetime):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(value, (dt.date, Decimal)):
        return str(value)
    return value


def write_csv(path, table, table_rows):
    names = [c for c, _ in SCHEMA[table]]
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(names)
        for r in table_rows:
            # An empty field is NULL; no generated text is empty, so nothing is ambiguous.
            w.writerow(["" if r[c] is None else _text(r[c]) for c in names])


def write_json_lines(path, table, table_rows):
    names = [c for c, _ in SCHEMA[table]]
    with open(path, "w", encoding="utf-8") as f:
        for r in table_rows:
            obj = {}
            for c, t in SCHEMA[table]:
                v = r[c]
                # Decimals are written as json numbers so that readers infer a number column.
                obj[c] = float(v) if isinstance(v, Decimal) else _text(v)
            f.write(json.dumps(obj, ensure_ascii=False) + "\n")
    return names


DUCKDB_TYPES = {"int64": "BIGINT", "int32": "INTEGER", "string": "VARCHAR", "date": "DATE",
                "timestamp": "TIMESTAMP", "float64": "DOUBLE"}


def duckdb_type(type_name):
    if type_name.startswith("decimal("):
        return type_name.upper()
    return DUCKDB_TYPES[type_name]


def sql_text(s):
    return "'" + s.replace("'", "''") + "'"


def parquet_statement(table, staging, target):
    columns = ", ".join(f"{sql_text(c)}: {sql_text(duckdb_type(t))}" for c, t in SCHEMA[table])
    return (f"COPY (SELECT * FROM read_csv({sql_text(staging)}, header = true, "
            f"columns = {{{columns}}})) TO {sql_text(target)} (FORMAT parquet)")


def run_duckdb(sql, cwd):
    runner = os.path.join(REPO, "engines", "duckdb_run.mjs")
    # A sanitized test run preloads its runtime into Python; node must not inherit it.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    proc = subprocess.run(["node", runner, sql], cwd=cwd, capture_output=True, text=True, timeout=300, env=env)
    if proc.returncode != 0:
        raise SystemExit(f"duckdb failed ({proc.returncode}): {proc.stdout}{proc.stderr}\n"
                         "run `npm ci` in engines/ first (scripts/setup-engines.sh)")


def generate(data_dir=DATA, parquet=True):
    tables = rows()
    os.makedirs(data_dir, exist_ok=True)
    staging = os.path.join(data_dir, "staging")
    os.makedirs(staging, exist_ok=True)
    for table, (fmt, location) in FILES.items():
        target = os.path.join(data_dir, os.path.basename(location))
        if fmt == "csv":
            write_csv(target, table, tables[table])
        elif fmt == "json":
            write_json_lines(target, table, tables[table])
        else:
            staged = os.path.join(staging, table + ".csv")
            write_csv(staged, table, tables[table])
            if parquet:
                run_duckdb(parquet_statement(table, os.path.abspath(staged), os.path.abspath(target)), data_dir)
    return tables


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=DATA, help="output folder (default: examples/shop/data)")
    ap.add_argument("--no-parquet", action="store_true", help="write parquet tables only as staging csv")
    args = ap.parse_args(argv)
    tables = generate(args.out, parquet=not args.no_parquet)
    print(", ".join(f"{t}: {len(r)}" for t, r in tables.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
