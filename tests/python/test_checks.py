"""validate, lint, context_markdown and compile_bundle through the module, on the
broken fixture, the shop example and small projects written on the spot."""
import json
import os
import pathlib
import sys
import textwrap

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(pathlib.Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()))

import korvel  # noqa: E402

BROKEN = REPO / "tests" / "fixtures" / "broken"
SHOP = REPO / "examples" / "shop"
GOLDEN = REPO / "tests" / "golden"
REGENERATE = (
    "If examples/shop was changed on purpose, regenerate the kept outputs with "
    "KORVEL_UPDATE_GOLDEN=1 build/tests/korvel_core_tests --gtest_filter='ShopExample.*' "
    "and review the diff by eye."
)


def write_project(root, manifest, models):
    root.joinpath("semantic.yml").write_text(textwrap.dedent(manifest))
    for name, text in models.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(textwrap.dedent(text))
    return str(root)


MANIFEST = """\
    korvel: 1
    project:
      name: tiny
    models:
      - models/*.yml
"""


def test_broken_fixture_findings_reach_python_as_dicts():
    findings = korvel.validate(str(BROKEN))
    assert all(type(f) is dict and list(f) == ["file", "message"] for f in findings)
    assert len(findings) == 22
    # First-pass findings of all files precede relationship findings.
    assert findings[0] == {
        "file": "extra/nested/orders_copy.yml",
        "message": "source format `Snowflake` requires `connection`",
    }
    assert findings[16] == {
        "file": "models/events.yml",
        "message": "relationship to `orders` uses local column `order_id` which is not defined",
    }
    assert findings[-1] == {
        "file": "models/orders.yml",
        "message": "relationship to `customers` uses remote column `id` which `customers` does not define",
    }
    warnings = korvel.lint(str(BROKEN))
    assert len(warnings) == 24
    assert warnings[0] == {"file": "models/customers.yml", "message": "table `customers` has no description"}


@pytest.mark.parametrize("function", ["compile_bundle", "context_markdown"])
def test_invalid_project_is_refused_with_every_finding(function):
    findings = korvel.validate(str(BROKEN))
    expected = "project has validation errors: " + "; ".join(f"{f['file']}: {f['message']}" for f in findings)
    with pytest.raises(ValueError) as raised:
        getattr(korvel, function)(str(BROKEN))
    assert str(raised.value) == expected


def test_shop_example_is_valid_and_lint_clean():
    assert korvel.validate(str(SHOP)) == []
    assert korvel.lint(str(SHOP)) == []


def test_shop_outputs_match_kept_files():
    markdown = korvel.context_markdown(str(SHOP))
    assert markdown == (GOLDEN / "shop.md").read_text(encoding="utf-8"), REGENERATE
    bundle = korvel.compile_bundle(str(SHOP))
    kept = (GOLDEN / "shop_bundle.json").read_text(encoding="utf-8")
    assert json.dumps(bundle, ensure_ascii=False, separators=(",", ":")) + "\n" == kept, REGENERATE


def test_bundle_shape_and_order(tmp_path):
    path = write_project(
        tmp_path,
        MANIFEST,
        {
            "models/users.yml": """\
                version: 1
                source: {format: parquet, location: u.parquet}
                table: {name: users}
                columns: [{name: id, type: int64}]
            """,
            "models/orders.yml": """\
                version: 1
                source: {format: parquet, location: o.parquet}
                table: {name: orders}
                columns: [{name: id, type: int64}, {name: user_id, type: int64}]
                relationships:
                  - {to: users, type: many_to_one, columns: {local: user_id, remote: id}}
                  - {to: users, type: many_to_one, columns: {local: user_id, remote: id}}
            """,
        },
    )
    bundle = korvel.compile_bundle(path)
    assert list(bundle) == [
        "bundle_version", "connections", "generated_at_epoch", "join_graph",
        "project", "spec_version", "tables", "tool_version",
    ]
    assert bundle["bundle_version"] == 1 and bundle["spec_version"] == 1
    assert bundle["tool_version"] == "0.1.0" and bundle["generated_at_epoch"] is None
    assert bundle["connections"] == {}
    assert bundle["project"] == {"description": None, "name": "tiny", "owner": None}
    assert bundle["join_graph"] == {"orders": ["users"], "users": ["orders"]}
    assert list(bundle["tables"]) == ["orders", "users"]
    assert bundle["tables"]["users"]["columns"][0] == {
        "classification": "internal", "deprecated": None, "description": None, "name": "id",
        "primary_key": False, "synonyms": [], "time_dimension": False, "type": "int64",
    }


def test_markdown_of_a_small_project(tmp_path):
    path = write_project(
        tmp_path,
        MANIFEST,
        {
            "models/events.yml": """\
                version: 1
                source: {format: json, location: "s3://b/e/"}
                table: {name: events, status: certified}
                columns:
                  - {name: id, type: " Int64 ", primary_key: true, classification: pii, synonyms: [a, b]}
            """,
        },
    )
    assert korvel.context_markdown(path).endswith(
        "do not.\n"
        "\n## Table `events` (Certified)\n- Source: Json at `s3://b/e/`\n"
        "\n### Columns\n\n| column | type | description | notes |\n|---|---|---|---|\n"
        "| `id` |  Int64  |  | primary key; PII; aka: a, b |\n"
    )


def test_lint_and_validate_with_no_models(tmp_path):
    path = write_project(tmp_path, "korvel: 1\nproject: {name: empty}\nmodels: []\n", {})
    assert korvel.validate(path) == [] and korvel.lint(path) == []
    assert korvel.compile_bundle(path)["join_graph"] == {}
    assert korvel.context_markdown(path).startswith("# Semantic layer: empty\n\nThis document")
