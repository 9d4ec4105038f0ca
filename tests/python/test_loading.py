"""Load failures reach Python as ValueError carrying the loader's exact text."""
import pytest

MODEL = """\
version: 1
source:
  format: parquet
  location: data/{name}.parquet
table:
  name: {name}
  description: Rows of {name}
columns:
  - name: id
    type: int64
    primary_key: true
"""


def manifest(models):
    return "korvel: 1\nproject:\n  name: p\nmodels: " + models + "\n"


def write(root, files):
    for name, content in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            path.write_bytes(content)
        else:
            path.write_text(content)


CALLS = {
    "validate": lambda k, p: k.validate(p),
    "lint": lambda k, p: k.lint(p),
    "compile_bundle": lambda k, p: k.compile_bundle(p),
    "context_markdown": lambda k, p: k.context_markdown(p),
    # A load failure wins over the unknown dialect.
    "generate_sql": lambda k, p: k.generate_sql(p, {"metrics": ["m"]}, "no-such-dialect"),
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_every_function_raises_the_load_error(korvel, tmp_path, call):
    with pytest.raises(ValueError) as err:
        call(korvel, str(tmp_path))
    assert str(err.value) == f"manifest not found at {tmp_path}/semantic.yml"


CASES = [
    ("no manifest at the path", None, {}, "manifest not found at {root}/nothing.yml"),
    (
        "unsupported version",
        "korvel: 2\nproject: {name: p}\nmodels: []\n",
        {},
        "unsupported spec version 2 (this build supports version 1)",
    ),
    ("empty manifest", "", {}, "failed to parse {root}/semantic.yml: missing field `korvel`"),
    (
        "project without name",
        "korvel: 1\nproject:\nmodels: []\n",
        {},
        "failed to parse {root}/semantic.yml: project: missing field `name` at line 2 column 9",
    ),
    (
        "connection kind",
        "korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: oracle}\n",
        {},
        "failed to parse {root}/semantic.yml: connections.wh.kind: unknown variant `oracle`, expected one of "
        "`postgres`, `mysql`, `snowflake`, `bigquery`, `databricks`, `sqlserver`, `duckdb` at line 5 column 14",
    ),
    (
        "unclosed class",
        manifest('["models/[a-"]'),
        {},
        "bad model glob `models/[a-`: Pattern syntax error near position {position}: invalid range pattern",
    ),
    (
        "directory match",
        manifest('["models/*"]'),
        {"models/sub/a.yml": MODEL.format(name="a")},
        "failed to read {root}/models/sub: Is a directory (os error 21)",
    ),
    (
        "model not UTF-8",
        manifest('["models/*.yml"]'),
        {"models/a.yml": b"version: 1\ncontext: \xff\n"},
        "failed to read {root}/models/a.yml: stream did not contain valid UTF-8",
    ),
    (
        "model with an unknown key",
        manifest('["models/*.yml"]'),
        {"models/a.yml": MODEL.format(name="a") + "  - name: x\n    typ: int64\n"},
        "failed to parse {root}/models/a.yml: columns[1]: unknown field `typ`, expected one of `name`, `type`, "
        "`description`, `classification`, `synonyms`, `primary_key`, `time_dimension`, `deprecated` "
        "at line 13 column 5",
    ),
]


@pytest.mark.parametrize("manifest_text,files,expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_load_error_texts(korvel, tmp_path, manifest_text, files, expected):
    # Brackets in the folder name are plain characters, not a pattern.
    root = tmp_path / "reports [2024]"
    root.mkdir()
    path = root / "nothing.yml"
    if manifest_text is not None:
        write(root, {"semantic.yml": manifest_text, **files})
        path = root
    with pytest.raises(ValueError) as err:
        korvel.validate(str(path))
    position = len(str(root)) + 1 + len("models/")
    assert str(err.value) == expected.format(root=root, position=position)


def test_project_in_bracketed_folder_loads(korvel, tmp_path):
    root = tmp_path / "q[1-3]*"
    write(
        root,
        {
            "semantic.yml": manifest('["models/*.yml", "models/a.yml"]'),
            "models/a.yml": MODEL.format(name="a"),
            "models/b.yml": MODEL.format(name="b"),
        },
    )
    assert korvel.lint(str(root)) == korvel.lint(str(root / "semantic.yml"))
    # a.yml is selected twice, so its table is held twice.
    assert korvel.validate(str(root)) == [{"file": "models/a.yml", "message": "duplicate table name `a`"}]
