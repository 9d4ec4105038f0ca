"""The shop example is what it claims to be: valid, lint-clean, and its data files hold
exactly the columns its models declare, under the types the models promise."""

import glob
import os

import pytest
import yaml

from shop_world import SHOP, generate_data


def _models():
    out = []
    for path in sorted(glob.glob(os.path.join(SHOP, "models", "*.yml"))):
        with open(path, encoding="utf-8") as f:
            out.append(yaml.safe_load(f))
    return out


def test_valid_and_lint_clean(korvel):
    assert korvel.validate(SHOP) == []
    assert korvel.lint(SHOP) == []


# How DuckDB's readers type the columns of each model type (csv and json have no declared
# schema, so decimals arrive as DOUBLE there).
DUCK = {"int64": {"BIGINT"}, "int32": {"INTEGER", "BIGINT"}, "string": {"VARCHAR"},
        "date": {"DATE"}, "timestamp": {"TIMESTAMP"}}


@pytest.mark.parametrize("model", _models(), ids=lambda m: m["table"]["name"])
def test_data_files_match_models(duckdb_engine, shop_rows, model):
    src = model["source"]
    fn = {"csv": "read_csv_auto", "json": "read_json_auto", "parquet": "read_parquet"}[src["format"]]
    loc = src["location"].replace("'", "''")
    described = duckdb_engine.query(f"DESCRIBE SELECT * FROM {fn}('{loc}')")
    got = [(r[0], r[1]) for r in described]
    want = [(c["name"], c["type"]) for c in model["columns"]]
    assert [n for n, _ in got] == [n for n, _ in want]
    for (name, duck_type), (_, model_type) in zip(got, want):
        if model_type.startswith("decimal("):
            ok = duck_type in ("DOUBLE", model_type.upper())
        else:
            ok = duck_type in DUCK[model_type]
        assert ok, f"{model['table']['name']}.{name}: DuckDB reads {duck_type}, model says {model_type}"
    count = duckdb_engine.query(f"SELECT count(*) FROM {fn}('{loc}')")[0][0]
    assert count == len(shop_rows[model["table"]["name"]])
