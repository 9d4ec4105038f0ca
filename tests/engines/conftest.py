"""Session-wide engines for the engine tests.

An engine that cannot be set up fails the tests that need it with the reason; nothing is
skipped. The PostgreSQL cluster is stopped and removed at the end of the session, also
when tests fail.
"""

import importlib
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import engines  # noqa: E402
import shop_world  # noqa: E402

REPO = engines.REPO


@pytest.fixture(scope="session")
def korvel():
    try:
        mod = importlib.import_module("korvel")
    except ImportError as e:
        pytest.fail(f"the korvel module cannot be imported ({e}); build it and set PYTHONPATH to the build folder")
    if not hasattr(mod, "generate_sql"):
        pytest.fail("korvel has no generate_sql")
    return mod


@pytest.fixture(scope="session")
def shop_rows():
    """Writes the shop data files (parquet through DuckDB) and returns the same rows."""
    try:
        return shop_world.generate_data.generate()
    except BaseException as e:  # the generator exits with a message when DuckDB is missing
        pytest.fail(f"could not write the shop data: {e}")


@pytest.fixture(scope="session")
def shop(shop_rows):
    return shop_world.world(shop_rows)


def _start(factory, what):
    try:
        return factory()
    except engines.SetupError as e:
        pytest.fail(f"{what} could not be set up: {e}")


@pytest.fixture(scope="session")
def duckdb_engine(request):
    eng = _start(engines.DuckDB, "DuckDB")
    request.addfinalizer(eng.close)
    return eng


@pytest.fixture(scope="session")
def postgres_engine(request):
    eng = _start(engines.Postgres, "PostgreSQL")
    request.addfinalizer(eng.close)
    return eng


@pytest.fixture(scope="session")
def postgres_shop(postgres_engine, shop_rows):
    """The cluster with the shop tables loaded under their table names."""
    gd = shop_world.generate_data
    for table, schema in gd.SCHEMA.items():
        postgres_engine.load_table(table, schema, shop_rows[table])
    return postgres_engine


# Engine name -> (korvel dialect, descending sorts put NULLs first)
ENGINES = {"duckdb": ("duckdb", False), "postgres": ("postgres", True)}
