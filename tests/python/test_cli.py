"""The korvel command against the module: the same results, exit statuses and messages."""
import json
import os
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()
COMMAND = BUILD / "korvel"
SHOP = str(REPO / "examples" / "shop")


def korvel_cmd(*args, stdin=None, cwd=None):
    return subprocess.run([str(COMMAND), *args], capture_output=True, text=True, input=stdin,
                          cwd=cwd, timeout=60)


@pytest.fixture
def broken(tmp_path):
    """A project that loads but fails validation twice."""
    (tmp_path / "semantic.yml").write_text("korvel: 1\nproject:\n  name: broken\nmodels: ['models/*.yml']\n")
    (tmp_path / "models").mkdir()
    (tmp_path / "models" / "a.yml").write_text(
        "version: 1\nsource: {format: parquet, location: a.parquet}\ntable: {name: a}\n"
        "columns:\n  - {name: id, type: int64}\n  - {name: id, type: integer}\n")
    return str(tmp_path)


def module_error(call):
    with pytest.raises(ValueError) as err:
        call()
    return str(err.value)


def test_json_output_equals_the_module(korvel, broken):
    cases = [
        (["validate", SHOP], korvel.validate(SHOP)),
        (["validate", broken], korvel.validate(broken)),
        (["lint", SHOP], korvel.lint(SHOP)),
        (["lint", broken], korvel.lint(broken)),
        (["bundle", SHOP], korvel.compile_bundle(SHOP)),
        (["schema"], korvel.model_json_schema()),
        (["context", SHOP], korvel.context_markdown(SHOP)),
    ]
    assert korvel.validate(broken), "the fixture must have findings"
    for args, expected in cases:
        run = korvel_cmd(*args, "--json")
        assert run.stdout.endswith("\n") and run.stdout.count("\n") == 1, args
        # Same dictionaries, member order included.
        assert json.dumps(json.loads(run.stdout)) == json.dumps(expected), args
        findings = args[0] in ("validate", "lint") and expected
        assert run.returncode == (1 if findings else 0), (args, run.stderr)


def test_human_output(korvel, broken):
    run = korvel_cmd("validate", broken)
    assert run.returncode == 1
    assert run.stdout.splitlines() == [f"{i['file']}: {i['message']}" for i in korvel.validate(broken)]

    run = korvel_cmd("validate", SHOP)
    assert (run.returncode, run.stdout) == (0, "")

    run = korvel_cmd("context", SHOP)
    assert (run.returncode, run.stdout) == (0, korvel.context_markdown(SHOP))

    # Indented for reading, the same value as the compact form.
    for args in (["schema"], ["bundle", SHOP]):
        pretty, compact = korvel_cmd(*args), korvel_cmd(*args, "--json")
        assert pretty.returncode == 0 and pretty.stdout.count("\n") > 50
        assert json.loads(pretty.stdout) == json.loads(compact.stdout)


def test_refusals_carry_the_modules_messages(korvel, broken, tmp_path):
    missing = str(tmp_path / "nowhere")
    cases = [
        (["validate", missing], lambda: korvel.validate(missing)),
        (["context", broken], lambda: korvel.context_markdown(broken)),
        (["bundle", broken], lambda: korvel.compile_bundle(broken)),
        (["sql", SHOP, "-m", "revenu"], lambda: korvel.generate_sql(SHOP, {"metrics": ["revenu"]})),
        (["sql", SHOP, "-m", "revenue", "-d", "products.category"],
         lambda: korvel.generate_sql(SHOP, {"metrics": ["revenue"], "dimensions": ["products.category"]})),
        (["sql", SHOP, "--query", '{"metrics": ["revenue"], "dims": []}'],
         lambda: korvel.generate_sql(SHOP, {"metrics": ["revenue"], "dims": []})),
        (["sql", SHOP, "-m", "revenue", "--grain", "Day"],
         lambda: korvel.generate_sql(SHOP, {"metrics": ["revenue"], "grain": "Day"})),
    ]
    for args, call in cases:
        for extra in ([], ["--json"]):
            run = korvel_cmd(*args, *extra)
            assert (run.returncode, run.stdout) == (1, ""), args
            assert run.stderr == module_error(call) + "\n", args

    # A query error is its JSON object, for agents to branch on.
    run = korvel_cmd("sql", SHOP, "-m", "revenue", "-d", "products.category")
    assert json.loads(run.stderr)["code"] == "fan_out_join"

    run = korvel_cmd("sql", SHOP, "--query", '{"metrics": ["revenue"]')
    assert run.returncode == 1 and run.stderr.startswith("bad query JSON: ")


QUERY = {"metrics": ["revenue", "order_count"], "dimensions": ["regions.region_name"],
         "filters": ["channel = 'web'", "amount > 10"], "grain": "month",
         "order_by": [{"field": "revenue", "desc": True}, {"field": "region_name", "desc": False}],
         "limit": 7}
FLAGS = ["-m", "revenue", "--metric", "order_count", "-d", "regions.region_name",
         "--filter", "channel = 'web'", "--filter", "amount > 10", "--grain", "month",
         "--order-by", "-revenue", "--order-by", "region_name", "--limit", "7"]


@pytest.mark.parametrize("dialect", ["duckdb", "postgres", "databricks", "snowflake", "sqlserver"])
def test_query_forms_agree_with_the_module(korvel, tmp_path, dialect):
    expected = korvel.generate_sql(SHOP, QUERY, dialect)
    (tmp_path / "q.json").write_text(json.dumps(QUERY))
    forms = [
        (["--query", json.dumps(QUERY)], None),
        (["--query", "@" + str(tmp_path / "q.json")], None),
        (["--query", "@-"], json.dumps(QUERY)),
        (FLAGS, None),
    ]
    for args, stdin in forms:
        run = korvel_cmd("sql", SHOP, *args, "--dialect", dialect, stdin=stdin)
        assert (run.returncode, run.stderr) == (0, ""), args
        assert run.stdout == expected + "\n", args
    run = korvel_cmd("sql", SHOP, *FLAGS, "--dialect", dialect, "--json")
    assert json.loads(run.stdout) == expected


def test_default_dialect_is_duckdb(korvel):
    run = korvel_cmd("sql", SHOP, "-m", "revenue")
    assert run.stdout == korvel.generate_sql(SHOP, {"metrics": ["revenue"]}) + "\n"


USAGE = [
    [],
    ["frobnicate"],
    ["validate"],
    ["validate", SHOP, "--bogus"],
    ["validate", SHOP, SHOP],
    ["schema", SHOP],
    ["sql", SHOP],
    ["sql", SHOP, "--query", '{"metrics": ["revenue"]}', "-m", "revenue"],
    ["sql", SHOP, "-m", "revenue", "--dialect", "oracle"],
    ["sql", SHOP, "-m", "revenue", "--limit", "-1"],
    ["sql", SHOP, "-m", "revenue", "--limit", "18446744073709551616"],
    ["sql", SHOP, "-m", "revenue", "--limit", "1.5"],
    ["sql", SHOP, "--query", "@/nonexistent/q.json"],
]


@pytest.mark.parametrize("args", USAGE, ids=[" ".join(a) or "(none)" for a in USAGE])
def test_usage_errors_exit_2(args):
    run = korvel_cmd(*args)
    assert run.returncode == 2, run.stderr
    assert run.stdout == "" and run.stderr.strip()


def test_unknown_dialect_message():
    run = korvel_cmd("sql", SHOP, "-m", "revenue", "--dialect", "Oracle")
    assert run.stderr == "unknown dialect `Oracle`\n"


def test_largest_limit_is_accepted(korvel):
    run = korvel_cmd("sql", SHOP, "-m", "revenue", "--limit", "18446744073709551615")
    assert run.returncode == 0
    assert run.stdout.rstrip("\n").endswith("LIMIT 18446744073709551615")


@pytest.mark.parametrize("sub", ["", "validate", "lint", "sql", "context", "bundle", "schema"])
def test_help(sub):
    run = korvel_cmd(*([sub] if sub else []), "--help")
    assert run.returncode == 0 and run.stderr == ""
    assert "Usage" in run.stdout or "usage" in run.stdout
    if sub:
        assert sub in run.stdout
