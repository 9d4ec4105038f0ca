"""The query matrix over the shop example: semantic queries with what Python needs to
compute their answers (the filter texts' meaning as predicates)."""

import datetime as dt

from shop_world import ALL_GRAINS, METRICS, TIME_COLUMNS, VALID_GRAINS

SHOP_TABLES = ["orders", "order_items", "customers", "products", "returns", "legacy_daily_sales"]


def table_metrics(table):
    return [m for m, metric in METRICS.items() if metric.table == table]


# Query filter text -> the same condition over a row's context (base row plus the rows that
# many-to-one joins attach). SQL keeps a row only when the condition is TRUE, never NULL.
def _get(ctx, table, col):
    r = ctx.get(table)
    return None if r is None else r[col]


FILTERS = {
    "channel = 'web' OR channel = 'store'":
        lambda c: _get(c, "orders", "channel") in ("web", "store"),
    "amount > 100":
        lambda c: float(_get(c, "orders", "amount")) > 100,
    "status = 'pending' OR status = 'cancelled'":
        lambda c: _get(c, "orders", "status") in ("pending", "cancelled"),
    "customers.segment = 'business'":
        lambda c: _get(c, "customers", "segment") == "business",
    "regions.region_name = 'Île-de-France' OR regions.region_name IS NULL":
        lambda c: _get(c, "regions", "region_name") in ("Île-de-France", None),
    "channel IN ('web', 'app')":
        lambda c: _get(c, "orders", "channel") in ("web", "app"),
    "channel IS NULL":
        lambda c: _get(c, "orders", "channel") is None,
    "NOT (status = 'completed')":
        lambda c: _get(c, "orders", "status") != "completed",
    "order_date >= DATE '2024-01-01' AND order_date < DATE '2025-01-01'":
        lambda c: dt.date(2024, 1, 1) <= _get(c, "orders", "order_date") < dt.date(2025, 1, 1),
    "amount < 0":
        lambda c: float(_get(c, "orders", "amount")) < 0,
    "quantity BETWEEN 2 AND 5":
        lambda c: 2 <= _get(c, "order_items", "quantity") <= 5,
    "orders.status = 'completed'":
        lambda c: _get(c, "orders", "status") == "completed",
    "reason <> 'wrong size'":
        lambda c: _get(c, "returns", "reason") not in (None, "wrong size"),
    "segment IS NOT NULL":
        lambda c: _get(c, "customers", "segment") is not None,
}


def _case(cases, cid, query):
    assert cid not in {c[0] for c in cases}, cid
    for f in query.get("filters", []):
        assert f in FILTERS, f
    cases.append((cid, query))


def build():
    cases = []
    # Every metric alone, then with the other metrics of its table.
    for m in METRICS:
        _case(cases, f"alone-{m}", {"metrics": [m]})
    for t in SHOP_TABLES:
        _case(cases, f"together-{t}", {"metrics": table_metrics(t)})

    # Dimensions on the base table, one, two and three joins away.
    dims = {
        "orders": [["channel"], ["orders.status"], ["customers.segment"], ["regions.region_name"],
                   ["status", "customers.segment", "regions.country"]],
        "order_items": [["product_id"], ["products.category"], ["orders.status"],
                        ["customers.segment"], ["regions.country"],
                        ["products.category", "regions.region_name", "orders.channel"]],
        "customers": [["segment"], ["regions.region_name"], ["regions.country", "segment"]],
        "products": [["category"]],
        "returns": [["reason"], ["orders.channel"], ["customers.segment"], ["regions.region_name"]],
        "legacy_daily_sales": [["regions.country"]],
    }
    for t, lists in dims.items():
        for d in lists:
            _case(cases, f"dims-{t}-{'+'.join(d)}", {"metrics": table_metrics(t), "dimensions": d})

    # Every grain each metric admits.
    for m in METRICS:
        if METRICS[m].time_column is None and METRICS[m].table not in TIME_COLUMNS:
            continue  # products has no time axis; its refusal is tested separately
        for g in VALID_GRAINS.get(m, ALL_GRAINS):
            _case(cases, f"grain-{m}-{g}", {"metrics": [m], "grain": g})
    _case(cases, "grain-with-dims", {"metrics": ["revenue", "order_count", "average_order_value"],
                                     "dimensions": ["regions.country"], "grain": "quarter"})
    _case(cases, "grain-own-time-axis-wins", {"metrics": ["order_count", "shipped_orders"], "grain": "month"})
    _case(cases, "grain-hour-with-dim", {"metrics": ["checkouts"], "dimensions": ["channel"], "grain": "hour",
                                         "filters": ["order_date >= DATE '2024-01-01' AND order_date < DATE '2025-01-01'"]})

    # Query filters: AND of several, OR inside one, filters on joined tables, no row left.
    _case(cases, "filter-or-and", {"metrics": ["revenue", "order_count", "online_revenue"],
                                   "dimensions": ["customers.segment"],
                                   "filters": ["channel = 'web' OR channel = 'store'", "amount > 100"]})
    _case(cases, "filter-single-or", {"metrics": ["order_count", "total_discount"], "dimensions": ["channel"],
                                      "filters": ["status = 'pending' OR status = 'cancelled'"]})
    _case(cases, "filter-joined", {"metrics": ["revenue"], "dimensions": ["customers.segment", "regions.region_name"],
                                   "filters": ["customers.segment = 'business'",
                                               "regions.region_name = 'Île-de-France' OR regions.region_name IS NULL"]})
    _case(cases, "filter-in-null-not", {"metrics": ["order_count", "gross_sales"], "dimensions": ["status"],
                                        "filters": ["channel IN ('web', 'app')", "NOT (status = 'completed')"]})
    _case(cases, "filter-is-null", {"metrics": ["order_count", "revenue"], "filters": ["channel IS NULL"]})
    _case(cases, "filter-dates-grain", {"metrics": ["revenue", "completed_orders"], "grain": "week",
                                        "filters": ["order_date >= DATE '2024-01-01' AND order_date < DATE '2025-01-01'"]})
    _case(cases, "filter-nothing-left", {"metrics": ["revenue", "order_count", "average_order_value"],
                                         "filters": ["amount < 0"]})
    _case(cases, "filter-nothing-left-grouped", {"metrics": ["order_count"], "dimensions": ["channel"],
                                                 "filters": ["amount < 0"]})
    _case(cases, "filter-items", {"metrics": ["units_sold", "bulk_lines"], "dimensions": ["orders.status"],
                                  "filters": ["quantity BETWEEN 2 AND 5", "orders.status = 'completed'"]})
    _case(cases, "filter-returns", {"metrics": ["return_count", "refunded_amount"], "dimensions": ["reason"],
                                    "filters": ["reason <> 'wrong size'"]})
    _case(cases, "filter-customers", {"metrics": ["customer_count"], "dimensions": ["regions.country"],
                                      "grain": "year", "filters": ["segment IS NOT NULL"]})

    # Sorting on buckets, dimensions and metrics, both directions; limits.
    _case(cases, "order-metric-desc", {"metrics": ["revenue", "order_count"], "dimensions": ["channel"],
                                       "order_by": [{"field": "revenue", "desc": True}]})
    _case(cases, "order-metric-asc-limit", {"metrics": ["revenue", "order_count"], "dimensions": ["regions.region_name"],
                                            "order_by": [{"field": "order_count"}], "limit": 3})
    _case(cases, "order-dim-desc", {"metrics": ["order_count"], "dimensions": ["channel"],
                                    "order_by": [{"field": "channel", "desc": True}]})
    _case(cases, "order-dim-asc-nonascii", {"metrics": ["customer_count"], "dimensions": ["regions.region_name"],
                                            "order_by": [{"field": "region_name", "desc": False}]})
    _case(cases, "order-bucket-desc-limit", {"metrics": ["revenue"], "grain": "month",
                                             "order_by": [{"field": "order_date_month", "desc": True}], "limit": 5})
    _case(cases, "order-bucket-asc", {"metrics": ["shipped_orders"], "grain": "week",
                                      "order_by": [{"field": "shipped_date_week"}]})
    _case(cases, "order-two-keys", {"metrics": ["order_count", "revenue"], "dimensions": ["customers.segment", "channel"],
                                    "order_by": [{"field": "segment"}, {"field": "order_count", "desc": True}]})
    _case(cases, "order-ties-limit", {"metrics": ["product_count"], "dimensions": ["category"],
                                      "order_by": [{"field": "product_count", "desc": True}], "limit": 2})
    _case(cases, "order-metric-then-bucket", {"metrics": ["new_customers"], "grain": "quarter",
                                              "dimensions": ["segment"],
                                              "order_by": [{"field": "new_customers", "desc": True},
                                                           {"field": "signup_date_quarter"}], "limit": 7})
    # Two dimensions of the same column name share an output name; sorting by it sorts by the
    # first of them.
    _case(cases, "order-shared-output-name", {"metrics": ["customer_count"],
                                              "dimensions": ["region_id", "regions.region_id"],
                                              "order_by": [{"field": "region_id", "desc": True}]})
    _case(cases, "limit-default-order", {"metrics": ["units_sold"], "dimensions": ["products.category"], "limit": 2})
    _case(cases, "limit-metrics-only", {"metrics": ["revenue"], "limit": 1})
    _case(cases, "limit-zero", {"metrics": ["order_count"], "dimensions": ["channel"], "limit": 0})
    _case(cases, "order-metric-only", {"metrics": ["revenue", "gross_sales"],
                                       "order_by": [{"field": "gross_sales", "desc": True}]})
    return cases


CASES = build()
