"""Puts the built module (KORVEL_BUILD, default <repo>/build) first on sys.path,
and writes small projects for the module's tests."""
import os
import pathlib
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()

sys.path.insert(0, str(BUILD))

MANIFEST = "korvel: 1\nproject:\n  name: {name}\nmodels:\n  - models/*.yml\n"

ORDERS = """\
version: 1
source:
  format: parquet
  location: data/orders.parquet
table:
  name: orders
columns:
  - name: order_id
    type: int64
    primary_key: true
  - name: order_date
    type: date
    time_dimension: true
  - name: amount
    type: {amount_type}
metrics:
  - name: revenue
    expr: SUM(amount)
"""


@pytest.fixture
def build_dir():
    return BUILD


@pytest.fixture
def korvel():
    import korvel as module

    return module


@pytest.fixture
def project_dir(tmp_path):
    """The smallest project that loads: a manifest selecting no model files."""
    (tmp_path / "semantic.yml").write_text("korvel: 1\nproject:\n  name: tiny\nmodels: []\n")
    return tmp_path


def write_project(root, name, amount_type):
    (root / "models").mkdir(parents=True)
    (root / "semantic.yml").write_text(MANIFEST.format(name=name))
    (root / "models" / "orders.yml").write_text(ORDERS.format(amount_type=amount_type))
    return root


@pytest.fixture
def valid_dir(tmp_path):
    """One valid model: table orders with the metric revenue."""
    return write_project(tmp_path / "valid", "valid", "decimal(12,2)")


@pytest.fixture
def invalid_dir(tmp_path):
    """Two model files with the same table, one with a column type that does not exist."""
    root = write_project(tmp_path / "invalid", "invalid", "money")
    (root / "models" / "orders_copy.yml").write_text(ORDERS.format(amount_type="double"))
    return root
