"""The shop example's tables and metrics, written again in Python for the expected answers.

Each metric below restates the YAML metric by hand (expression, filters, time axis), so
that a mistake in the generated SQL cannot cancel out against the same mistake here.
"""

import os
import sys

from oracle import (Metric, World, agg_avg, agg_count, agg_count_distinct, agg_count_star,
                    agg_sum, ratio)

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHOP = os.path.join(REPO, "examples", "shop")
sys.path.insert(0, SHOP)
import generate_data  # noqa: E402


def completed(r):
    return r["status"] == "completed"


def online(r):
    return r["status"] == "completed" and r["channel"] in ("web", "app")


def shipped(r):
    return r["shipped_date"] is not None


def bulk(r):
    return r["quantity"] >= 5


def _line_value(r):
    return r["quantity"] * r["unit_price"]


METRICS = {
    # orders
    "revenue": Metric("orders", agg_sum("amount", completed)),
    "order_count": Metric("orders", agg_count_star()),
    "completed_orders": Metric("orders", agg_count_star(completed)),
    "average_order_value": Metric("orders", ratio(agg_sum("amount", completed),
                                                  agg_count_distinct("order_id", completed))),
    "ordering_customers": Metric("orders", agg_count_distinct("customer_id")),
    "total_discount": Metric("orders", agg_sum("discount")),
    "online_revenue": Metric("orders", agg_sum("amount", online)),
    "shipped_orders": Metric("orders", agg_count_star(shipped), time_column="shipped_date"),
    "checkouts": Metric("orders", agg_count("order_id"), time_column="ordered_at"),
    "gross_sales": Metric("orders", agg_sum("amount")),
    # order_items
    "units_sold": Metric("order_items", agg_sum("quantity")),
    "item_revenue": Metric("order_items", agg_sum(_line_value)),
    "distinct_products": Metric("order_items", agg_count_distinct("product_id")),
    "bulk_lines": Metric("order_items", agg_count_star(bulk)),
    # customers
    "customer_count": Metric("customers", agg_count_star()),
    "new_customers": Metric("customers", agg_count_distinct("customer_id")),
    # products
    "product_count": Metric("products", agg_count_star()),
    "average_list_price": Metric("products", agg_avg("list_price")),
    # returns
    "return_count": Metric("returns", agg_count_star()),
    "refunded_amount": Metric("returns", agg_sum("refund_amount")),
    # legacy_daily_sales
    "legacy_revenue": Metric("legacy_daily_sales", agg_sum("total")),
}

VALID_GRAINS = {
    "revenue": ["day", "week", "month", "quarter", "year"],
    "new_customers": ["month", "quarter", "year"],
    "shipped_orders": ["day", "week", "month"],
    "checkouts": ["hour", "day"],
}
ALL_GRAINS = ["hour", "day", "week", "month", "quarter", "year"]

TIME_COLUMNS = {
    "orders": "order_date",
    "customers": "signup_date",
    "returns": "returned_on",
    "legacy_daily_sales": "sale_date",
}

LINKS = {
    "orders": [("customers", "customer_id", "customer_id")],
    "order_items": [("orders", "order_id", "order_id"), ("products", "product_id", "product_id")],
    "customers": [("regions", "region_id", "region_id")],
    "returns": [("orders", "order_id", "order_id")],
    "legacy_daily_sales": [("regions", "region_id", "region_id")],
}


def world(rows=None):
    return World(rows=rows if rows is not None else generate_data.rows(),
                 links=LINKS, metrics=METRICS, time_columns=TIME_COLUMNS)
