"""The query's road in (json.dumps, then the strict reader) and results' road out
(compact text, then json.loads)."""
import json
import sys
import tracemalloc

import pytest


def nested(depth):
    """A query whose own object is the first of `depth` levels."""
    query = {}
    for _ in range(depth - 1):
        query = {"a": query}
    return query


def intake(korvel, project_dir, query):
    """Runs generate_sql up to and through the query intake; returns what it raised."""
    try:
        korvel.generate_sql(str(project_dir), query)
    except BaseException as e:  # noqa: B902 - the fault type is a BaseException
        return e
    return None


def assert_read_back(raised):
    """The intake read the text: the query reader or the planner decided what came of it."""
    assert type(raised) is ValueError, repr(raised)
    assert str(raised).startswith(("bad query: ", "{")), raised


@pytest.mark.parametrize(
    "query",
    [
        {},
        [],
        {"metrics": [], "nested": {"a": {}}},
        {1: "int key", "1": "str key"},
        {"tuple": (1, 2), None: True, 2.5: False},
        nested(127),
        [[[[[]]]]],
    ],
    ids=["empty-object", "empty-array", "nested-empty", "repeated-key", "python-defaults", "depth-127", "arrays"],
)
def test_queries_json_can_write_are_read(korvel, project_dir, query):
    assert_read_back(intake(korvel, project_dir, query))


def test_texts_cross_unchanged(korvel, project_dir):
    # An unknown metric comes back by name inside the error's JSON text.
    for name in ['line\nfeed\ttab "quote" \\ back', "é ü ß 😀 \u2028", "\x01\x1f\x7f", ""]:
        raised = intake(korvel, project_dir, {"metrics": [name]})
        assert type(raised) is ValueError, raised
        error = json.loads(str(raised))
        assert error["code"] == "unknown_metric" and error["name"] == name


@pytest.mark.parametrize(
    "limit, outcome",
    [
        (2**64 - 1, "unknown_metric"),
        (0, "unknown_metric"),
        (2**64, "bad query: invalid type: floating point"),
        (2.0, "bad query: invalid type: floating point"),
        (-1, "bad query: invalid value: integer `-1`, expected u64"),
        (True, "bad query: invalid type: boolean `true`, expected u64"),
    ],
)
def test_number_kinds_reach_the_query_reader(korvel, project_dir, limit, outcome):
    raised = intake(korvel, project_dir, {"metrics": ["m"], "limit": limit})
    assert type(raised) is ValueError, raised
    if outcome.startswith("bad query"):
        assert str(raised).startswith(outcome), raised
    else:
        assert json.loads(str(raised))["code"] == outcome


def test_repeated_keys_are_read_not_refused(korvel, project_dir):
    # json.dumps writes the keys 1 and "1" both as "1"; the reader keeps the later one.
    raised = intake(korvel, project_dir, {"metrics": ["m"], 1: "a", "1": "b"})
    assert str(raised).startswith("bad query: unknown field `1`, expected one of `metrics`"), raised


def test_depth_128_exceeds_the_recursion_limit(korvel, project_dir):
    query = nested(128)
    raised = intake(korvel, project_dir, query)
    assert type(raised) is RuntimeError
    text = json.dumps(query)
    # The 128th object opens at the 128th "{" of the text json.dumps wrote.
    opening = [i for i, ch in enumerate(text) if ch == "{"][127]
    column = opening + 1
    assert str(raised) == f"recursion limit exceeded at line 1 column {column}"
    arrays = [[]]
    for _ in range(127):
        arrays = [arrays]
    raised = intake(korvel, project_dir, arrays)
    assert str(raised) == "recursion limit exceeded at line 1 column 128"


@pytest.mark.parametrize(
    "query, word",
    [
        ({"limit": float("nan")}, "NaN"),
        ({"limit": float("inf")}, "Infinity"),
        ({"metrics": ["a"], "limit": [1, float("-inf")]}, "-Infinity"),
    ],
)
def test_non_finite_floats_are_refused_by_the_reader(korvel, project_dir, query, word):
    raised = intake(korvel, project_dir, query)
    assert type(raised) is RuntimeError
    column = json.dumps(query).index(word) + 1
    message = str(raised)
    assert message.endswith(f" at line 1 column {column}"), message
    if word == "NaN":
        assert message == f"expected value at line 1 column {column}"


def test_lone_surrogate_in_query_is_refused_by_the_reader(korvel, project_dir):
    raised = intake(korvel, project_dir, {"metrics": ["\ud800"]})
    assert type(raised) is RuntimeError
    column = json.dumps({"metrics": ["\ud800"]}).index("\\ud800") + 1
    assert str(raised).endswith(f" at line 1 column {column}")


@pytest.mark.parametrize(
    "query, error",
    [({"metrics": {1, 2}}, TypeError), ({"when": object()}, TypeError)],
)
def test_dumps_errors_pass_through(korvel, project_dir, query, error):
    raised = intake(korvel, project_dir, query)
    assert type(raised) is error
    assert "is not JSON serializable" in str(raised)


def test_circular_query_raises_dumps_value_error(korvel, project_dir):
    query = {"metrics": []}
    query["metrics"].append(query)
    raised = intake(korvel, project_dir, query)
    assert type(raised) is ValueError
    assert str(raised) == "Circular reference detected"


def test_dumps_returning_no_text(korvel, project_dir, monkeypatch):
    monkeypatch.setattr(json, "dumps", lambda obj: b"{}")
    raised = intake(korvel, project_dir, {})
    assert type(raised) is TypeError
    assert str(raised) == "'bytes' object cannot be converted to 'PyString'"


def test_dumps_result_is_what_the_reader_sees(korvel, project_dir, monkeypatch):
    monkeypatch.setattr(json, "dumps", lambda obj: '{"a": 1} x')
    raised = intake(korvel, project_dir, {})
    assert type(raised) is RuntimeError
    assert str(raised) == "trailing characters at line 1 column 10"
    monkeypatch.setattr(json, "dumps", lambda obj: '{\n  "a":\n   tru}')
    raised = intake(korvel, project_dir, {})
    assert str(raised) == "expected value at line 3 column 4"


def test_dumps_exception_and_missing_json_module_pass_through(korvel, project_dir, monkeypatch):
    class Boom(Exception):
        pass

    def dumps(obj):
        raise Boom("from dumps")

    monkeypatch.setattr(json, "dumps", dumps)
    assert type(intake(korvel, project_dir, {})) is Boom
    monkeypatch.delattr(json, "dumps")
    assert type(intake(korvel, project_dir, {})) is AttributeError
    monkeypatch.setitem(sys.modules, "json", None)
    assert isinstance(intake(korvel, project_dir, {}), ImportError)


def test_arguments_keep_their_reference_counts(korvel, project_dir):
    path = str(project_dir)
    query = {"metrics": ["m"]}
    dialect = "postgres"
    before = [sys.getrefcount(o) for o in (path, query, dialect)]
    for _ in range(50):
        intake(korvel, project_dir, query)
        try:
            korvel.generate_sql(path, query, dialect)
        except Exception:
            pass
        try:
            korvel.generate_sql(path, query, dialect, 4)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (path, query, dialect)] == before


def test_calls_release_what_they_create(korvel, project_dir, valid_dir, invalid_dir, tmp_path):
    path = str(project_dir)
    valid = str(valid_dir)
    invalid = str(invalid_dir)
    absent = str(tmp_path / "absent")
    too_deep = nested(128)
    calls = [
        lambda: korvel.validate(),
        lambda: korvel.lint(paths="x"),
        lambda: korvel.validate("x", path="y"),
        lambda: korvel.generate_sql(path, {}, None),
        lambda: korvel.validate("\udc80"),
        lambda: korvel.validate(absent),
        lambda: korvel.generate_sql(path, {}, "nosuch"),
        lambda: korvel.generate_sql(path, {"limit": float("nan")}),
        lambda: korvel.generate_sql(path, too_deep),
        lambda: korvel.generate_sql(path, {"s": {1}}),
        lambda: korvel.generate_sql(path, {"metrics": ["x" * 1000]}),
        lambda: korvel.model_json_schema(),
        lambda: korvel.validate(invalid),
        lambda: korvel.lint(valid),
        lambda: korvel.compile_bundle(valid),
        lambda: korvel.compile_bundle(invalid),
        lambda: korvel.context_markdown(valid),
        lambda: korvel.generate_sql(valid, {"metrics": ["revenue"], "grain": "day"}, "postgres"),
        lambda: korvel.generate_sql(valid, {"metrics": ["revenu"]}),
        lambda: korvel.generate_sql(valid, {"metrics": "revenue"}),
    ]

    def run_all(times):
        for _ in range(times):
            for call in calls:
                try:
                    call()
                except BaseException:  # noqa: B902
                    pass

    rounds = 300
    tracemalloc.start()
    try:
        run_all(100)  # the interpreter's caches and free lists fill up first
        base = tracemalloc.get_traced_memory()[0]
        run_all(rounds)
        grown = tracemalloc.get_traced_memory()[0] - base
    finally:
        tracemalloc.stop()
    # The smallest object kept per call would add at least 16 bytes a call;
    # allow half of that for the interpreter's own caches.
    assert grown < 8 * rounds * len(calls), f"{grown} bytes kept over {rounds * len(calls)} calls"


def test_results_arrive_through_json_loads_of_compact_sorted_text(korvel, invalid_dir, monkeypatch):
    seen = []
    real_loads = json.loads

    def loads(text, **kwargs):
        assert not kwargs
        seen.append(text)
        return real_loads(text)

    monkeypatch.setattr(json, "loads", loads)
    results = [korvel.model_json_schema(), korvel.validate(str(invalid_dir)), korvel.lint(str(invalid_dir))]
    assert len(seen) == 3
    for text, result in zip(seen, results):
        assert isinstance(text, str)
        assert text == json.dumps(result, separators=(",", ":"), sort_keys=True, ensure_ascii=False)

    def check_sorted(value):
        if isinstance(value, dict):
            keys = list(value)
            assert keys == sorted(keys, key=lambda k: k.encode()), keys
            for item in value.values():
                check_sorted(item)
        elif isinstance(value, list):
            for item in value:
                check_sorted(item)

    for result in results:
        check_sorted(result)


def test_loads_failures_pass_through(korvel, monkeypatch):
    class Boom(Exception):
        pass

    def loads(text):
        raise Boom(text[:1])

    monkeypatch.setattr(json, "loads", loads)
    with pytest.raises(Boom, match="^[{]$"):
        korvel.model_json_schema()
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        korvel.model_json_schema()
