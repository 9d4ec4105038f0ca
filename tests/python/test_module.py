"""The module's surface, argument binding and the loading path."""
import inspect
import json
import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

NAMES = ["validate", "lint", "compile_bundle", "generate_sql", "model_json_schema", "context_markdown"]

DOCS = {
    "validate": ("(path)", "Validate a project. Returns a list of {file, message} dicts; empty = valid."),
    "lint": ("(path)", "Lint a project. Returns a list of {file, message} warning dicts."),
    "compile_bundle": ("(path)", "Compile a project into a context bundle, returned as a dict."),
    "generate_sql": (
        '(path, query, dialect="duckdb")',
        "Generate SQL for a semantic query.\n\n"
        '`query` is a dict: {"metrics": [...], "dimensions": [...], "filters":\n'
        '[...], "grain": "day", "limit": 100}. Raises ValueError whose message is\n'
        "a JSON object with a `code` field agents can branch on.",
    ),
    "model_json_schema": ("()", "JSON Schema for model files, as a dict."),
    "context_markdown": ("(path)", "Render the project as agent-ready markdown."),
}


def test_module_surface(korvel):
    assert korvel.__name__ == "korvel"
    assert korvel.__doc__ == ""
    assert korvel.__all__ == NAMES
    functions = [name for name, value in vars(korvel).items() if callable(value) and not isinstance(value, type)]
    assert functions == NAMES
    for name in NAMES:
        fn = getattr(korvel, name)
        assert fn.__name__ == name
        assert fn.__module__ == "korvel"
        signature, doc = DOCS[name]
        assert fn.__text_signature__ == signature
        assert fn.__doc__ == doc


def test_signatures(korvel):
    sig = inspect.signature(korvel.generate_sql)
    assert list(sig.parameters) == ["path", "query", "dialect"]
    assert sig.parameters["dialect"].default == "duckdb"
    assert sig.parameters["path"].default is inspect.Parameter.empty
    assert list(inspect.signature(korvel.validate).parameters) == ["path"]
    assert list(inspect.signature(korvel.model_json_schema).parameters) == []


def test_fault_type_escapes_except_exception(korvel):
    fault = korvel.PanicException
    assert fault.__bases__ == (BaseException,)
    assert not issubclass(fault, Exception)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda k: k.validate(), "validate() missing 1 required positional argument: 'path'"),
        (lambda k: k.context_markdown(), "context_markdown() missing 1 required positional argument: 'path'"),
        (
            lambda k: k.generate_sql(),
            "generate_sql() missing 2 required positional arguments: 'path' and 'query'",
        ),
        (lambda k: k.generate_sql(query={}), "generate_sql() missing 1 required positional argument: 'path'"),
        (lambda k: k.generate_sql("p", dialect="x"), "generate_sql() missing 1 required positional argument: 'query'"),
        (lambda k: k.validate("a", "b"), "validate() takes 1 positional arguments but 2 were given"),
        (lambda k: k.compile_bundle("a", "b", "c"), "compile_bundle() takes 1 positional arguments but 3 were given"),
        (
            lambda k: k.generate_sql("a", {}, "duckdb", 4),
            "generate_sql() takes from 2 to 3 positional arguments but 4 were given",
        ),
        (lambda k: k.lint(paths="x"), "lint() got an unexpected keyword argument 'paths'"),
        (lambda k: k.lint(path="x", Path="y"), "lint() got an unexpected keyword argument 'Path'"),
        (lambda k: k.validate("x", path="y"), "validate() got multiple values for argument 'path'"),
        (
            lambda k: k.generate_sql("p", {}, "duckdb", dialect="postgres"),
            "generate_sql() got multiple values for argument 'dialect'",
        ),
        (
            lambda k: k.validate(pathlib.Path("x")),
            "argument 'path': 'PosixPath' object cannot be converted to 'PyString'",
        ),
        (lambda k: k.lint(b"x"), "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
        (lambda k: k.validate(path=None), "argument 'path': 'NoneType' object cannot be converted to 'PyString'"),
        (
            lambda k: k.generate_sql("p", {}, None),
            "argument 'dialect': 'NoneType' object cannot be converted to 'PyString'",
        ),
        (
            lambda k: k.generate_sql(path="p", query={}, dialect=1),
            "argument 'dialect': 'int' object cannot be converted to 'PyString'",
        ),
    ],
)
def test_binding_messages(korvel, call, message):
    with pytest.raises(TypeError) as caught:
        call(korvel)
    assert type(caught.value) is TypeError
    assert str(caught.value) == message


def test_binding_precedes_loading(korvel, tmp_path):
    # The path names nothing, yet the argument faults win: no loading is tried.
    missing = str(tmp_path / "absent")
    with pytest.raises(TypeError, match="argument 'dialect'"):
        korvel.generate_sql(missing, {}, None)
    with pytest.raises(TypeError, match="takes from 2 to 3"):
        korvel.generate_sql(missing, {}, "duckdb", 1)


def test_no_argument_function_is_refused_by_the_interpreter(korvel):
    with pytest.raises(TypeError, match="takes no arguments"):
        korvel.model_json_schema(1)
    with pytest.raises(TypeError):
        korvel.model_json_schema(path="x")


def test_lone_surrogate_path_passes_encode_error_through(korvel):
    with pytest.raises(UnicodeEncodeError):
        korvel.validate("\udc80")
    with pytest.raises(UnicodeEncodeError):
        korvel.generate_sql("p", {}, "duck\udc80")


@pytest.mark.parametrize("name", ["validate", "lint", "compile_bundle", "context_markdown"])
def test_load_failure_is_value_error_with_loader_text(korvel, tmp_path, name):
    missing = tmp_path / "absent"
    with pytest.raises(ValueError) as caught:
        getattr(korvel, name)(str(missing))
    assert str(caught.value) == f"manifest not found at {missing}"
    with pytest.raises(ValueError) as caught:
        getattr(korvel, name)(path=str(tmp_path))
    assert str(caught.value) == f"manifest not found at {tmp_path / 'semantic.yml'}"


def test_str_subclass_is_accepted_as_path(korvel, tmp_path):
    class Text(str):
        pass

    with pytest.raises(ValueError, match="manifest not found at"):
        korvel.validate(Text(tmp_path / "absent"))


def test_generate_sql_order_load_then_dialect(korvel, tmp_path, project_dir):
    missing = tmp_path / "absent"
    with pytest.raises(ValueError) as caught:
        korvel.generate_sql(str(missing), {}, "nosuch")
    assert str(caught.value) == f"manifest not found at {missing}"
    for dialect in ["nosuch", " duckdb", "Duck DB", ""]:
        with pytest.raises(ValueError) as caught:
            korvel.generate_sql(str(project_dir), {"limit": float("nan")}, dialect)
        assert str(caught.value) == f"unknown dialect `{dialect}`"


def test_dialect_names_are_recognised_before_the_query(korvel, project_dir):
    # A recognised dialect moves on to the query, whose NaN the reader refuses.
    for dialect in ["duckdb", "DuckDB", "POSTGRES", "databricks", "Snowflake", "sqlserver"]:
        with pytest.raises(RuntimeError, match="^expected value at line 1 column"):
            korvel.generate_sql(str(project_dir), {"limit": float("nan")}, dialect)
    with pytest.raises(RuntimeError, match="^expected value"):
        korvel.generate_sql(str(project_dir), {"limit": float("nan")})


def test_findings_come_back_as_file_message_dicts(korvel, valid_dir, invalid_dir):
    assert korvel.validate(str(valid_dir)) == []
    findings = korvel.validate(str(invalid_dir))
    assert len(findings) >= 2
    files = set()
    for finding in findings:
        assert list(finding) == ["file", "message"]
        assert all(isinstance(v, str) and v for v in finding.values())
        files.add(finding["file"])
    assert files <= {"models/orders.yml", "models/orders_copy.yml"}
    # lint neither validates nor refuses an invalid project.
    for path in (valid_dir, invalid_dir):
        warnings = korvel.lint(path=str(path))
        assert warnings and all(list(w) == ["file", "message"] for w in warnings)


@pytest.mark.parametrize("name", ["compile_bundle", "context_markdown"])
def test_invalid_project_is_refused_with_every_finding(korvel, valid_dir, invalid_dir, name):
    findings = korvel.validate(str(invalid_dir))
    with pytest.raises(ValueError) as caught:
        getattr(korvel, name)(str(invalid_dir))
    joined = "; ".join(f"{f['file']}: {f['message']}" for f in findings)
    assert str(caught.value) == f"project has validation errors: {joined}"
    result = getattr(korvel, name)(str(valid_dir))
    assert isinstance(result, dict if name == "compile_bundle" else str) and result


def test_generate_sql_results_and_query_errors(korvel, valid_dir, invalid_dir):
    path = str(valid_dir)
    query = {"metrics": ["revenue"], "grain": "month", "limit": 5}
    sql = korvel.generate_sql(path, query)
    assert isinstance(sql, str) and sql.upper().startswith("SELECT")
    assert sql == korvel.generate_sql(path, query, "duckdb") == korvel.generate_sql(path, query, "DUCKDB")
    assert korvel.generate_sql(path, query, "sqlserver") != sql
    # Validation is never run: the invalid project still plans.
    assert korvel.generate_sql(str(invalid_dir), {"metrics": ["revenue"]}).upper().startswith("SELECT")

    with pytest.raises(ValueError) as caught:
        korvel.generate_sql(path, {"metrics": []})
    assert str(caught.value) == '{"code":"no_metrics"}'
    with pytest.raises(ValueError) as caught:
        korvel.generate_sql(path, {"metrics": ["revenu"]})
    error = json.loads(str(caught.value))
    assert error["code"] == "unknown_metric" and error["name"] == "revenu"
    assert list(error)[0] == "code"

    with pytest.raises(ValueError) as caught:
        korvel.generate_sql(path, {"metric": ["revenue"]})
    assert str(caught.value).startswith("bad query: unknown field `metric`, expected one of `metrics`")
    with pytest.raises(ValueError) as caught:
        korvel.generate_sql(path, "revenue")
    assert str(caught.value).startswith("bad query: invalid type: ")


def test_schema_reads_no_project_from_any_directory(korvel, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    first = korvel.model_json_schema()
    assert isinstance(first, dict) and first
    second = korvel.model_json_schema()
    assert first == second and first is not second


def test_exported_symbols(build_dir):
    module = build_dir / "korvel.abi3.so"
    out = subprocess.run(["nm", "-D", "--defined-only", str(module)], check=True, capture_output=True, text=True)
    names = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert names == ["PyInit_korvel"]


def _run(code, build_dir):
    env = dict(os.environ, PYTHONPATH=str(build_dir))
    # A sanitized module needs its runtime preloaded into the interpreter.
    if os.environ.get("KORVEL_SANITIZER_PRELOAD"):
        env["LD_PRELOAD"] = os.environ["KORVEL_SANITIZER_PRELOAD"]
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True, text=True, timeout=120
    )


def test_module_is_remembered_and_second_interpreter_refused(build_dir):
    pytest.importorskip("_xxsubinterpreters")
    result = _run(
        """
        import sys, korvel
        first = korvel
        del sys.modules["korvel"]
        import korvel
        assert korvel is first, "re-import made a new module"
        import _xxsubinterpreters as interpreters
        sub = interpreters.create()
        try:
            interpreters.run_string(sub, "import korvel")
        except interpreters.RunFailedError as e:
            print("refused:", e)
        else:
            print("second interpreter imported korvel")
        """,
        build_dir,
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("refused: <class 'ImportError'>"), result.stdout
