"""The model JSON Schema against real model files, and its independence of the caller."""
import copy
import json
import re
from pathlib import Path

import jsonschema
import pytest
import yaml

REPO = Path(__file__).resolve().parents[2]
EXAMPLE_MODELS = sorted((REPO / "examples").glob("*/models/*.yml"))


class ModelLoader(yaml.SafeLoader):
    """YAML as korvel reads model files: only the six true/false words are
    booleans (not yes/no/on/off, so a relationship's `on` key stays a text),
    and dates stay texts."""


ModelLoader.yaml_implicit_resolvers = {
    first: [(tag, rx) for tag, rx in resolvers
            if tag not in ("tag:yaml.org,2002:bool", "tag:yaml.org,2002:timestamp")]
    for first, resolvers in yaml.SafeLoader.yaml_implicit_resolvers.items()
}
ModelLoader.add_implicit_resolver(
    "tag:yaml.org,2002:bool", re.compile(r"^(?:true|True|TRUE|false|False|FALSE)$"), list("tTfF"))


def load_model(path):
    return yaml.load(path.read_text(encoding="utf-8"), Loader=ModelLoader)


@pytest.fixture
def validator(korvel):
    schema = korvel.model_json_schema()
    jsonschema.Draft7Validator.check_schema(schema)
    return jsonschema.Draft7Validator(schema)


def test_example_models_exist():
    assert len(EXAMPLE_MODELS) >= 5, EXAMPLE_MODELS


@pytest.mark.parametrize("path", EXAMPLE_MODELS, ids=lambda p: p.name)
def test_example_model_validates(validator, path):
    errors = [f"{list(e.absolute_path)}: {e.message}" for e in validator.iter_errors(load_model(path))]
    assert errors == []


def set_at(doc, where, key, value):
    node = doc
    for step in where:
        node = node[step]
    node[key] = value


# (where, key, value, the validator keyword that must refuse it)
REFUSED = [
    ((), "owner", "someone", "additionalProperties"),            # belongs inside `table`
    (("table",), "Name", "orders", "additionalProperties"),      # no aliases, no case folding
    (("columns", 0), "nullable", True, "additionalProperties"),
    (("table",), "status", "Certified", "enum"),
    ((), "columns", None, "type"),                               # a list admits only an array
    ((), "version", -1, "minimum"),
    (("source",), "format", "sqlite", "enum"),
]


@pytest.mark.parametrize("where,key,value,keyword", REFUSED, ids=[f"{r[1]}={r[2]!r}" for r in REFUSED])
def test_changed_model_is_refused(validator, where, key, value, keyword):
    doc = copy.deepcopy(load_model(REPO / "examples/shop/models/orders.yml"))
    assert validator.is_valid(doc)
    set_at(doc, where, key, value)
    assert keyword in {e.validator for e in validator.iter_errors(doc)}


def test_optional_text_admits_null(validator):
    doc = load_model(REPO / "examples/shop/models/orders.yml")
    doc["context"] = None
    doc["table"]["description"] = None
    assert validator.is_valid(doc)


def test_schema_is_the_same_from_any_directory(korvel, tmp_path, monkeypatch):
    first = korvel.model_json_schema()
    monkeypatch.chdir(tmp_path)
    second = korvel.model_json_schema()
    # json.dumps keeps dictionary order, so member order is compared too.
    assert json.dumps(first) == json.dumps(second)
    assert first is not second
    assert list(first) == sorted(first)
    assert first["required"] == ["source", "table", "version"]
    minimum = first["properties"]["version"]["minimum"]
    assert type(minimum) is float and minimum == 0.0
