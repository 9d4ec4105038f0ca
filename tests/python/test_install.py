"""`pip wheel` builds a cp39-abi3 wheel offline, and that wheel installs into fresh
virtual environments of the oldest and the newest CPython on this machine, where
every function, the type stub and the korvel command work."""
import glob
import json
import os
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SHOP = REPO / "examples" / "shop"


def version_of(exe):
    try:
        out = subprocess.run([exe, "-c", "import sys; print(*sys.version_info[:3])"],
                             capture_output=True, text=True, timeout=60, check=True).stdout
    except (OSError, subprocess.SubprocessError):
        return None
    return tuple(int(p) for p in out.split())


def interpreters():
    """CPython 3.9 or later: every pyenv version and the system interpreter."""
    candidates = glob.glob(os.path.expanduser("~/.pyenv/versions/*/bin/python3")) + ["/usr/bin/python3"]
    found = {}
    for exe in candidates:
        v = version_of(exe)
        if v and v >= (3, 9):
            found.setdefault(v, exe)
    return [found[v] for v in sorted(found)]


# The wheel is an ordinary Release build: whatever a sanitizer run of the test
# suite preloads or sets stays out of its build and of the fresh environments.
CLEAN_ENV = {k: v for k, v in os.environ.items()
             if k not in ("LD_PRELOAD", "PYTHONPATH", "PYTHONMALLOC", "ASAN_OPTIONS", "UBSAN_OPTIONS")}

INTERPRETERS = interpreters()
ENDS = {"oldest": INTERPRETERS[0], "newest": INTERPRETERS[-1]} if INTERPRETERS else {}


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("wheel")
    subprocess.run(["/usr/bin/python3", "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
                    "--no-index", "-q", "-w", str(out), str(REPO)],
                   check=True, cwd=out, timeout=1800, env=CLEAN_ENV)
    wheels = list(out.glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


def test_wheel_is_stable_abi_with_stub_and_command(wheel):
    assert wheel.name == "korvel-0.1.0-cp39-abi3-linux_x86_64.whl"
    names = set(zipfile.ZipFile(wheel).namelist())
    for member in ("korvel/__init__.abi3.so", "korvel/__init__.pyi", "korvel/py.typed",
                   "korvel-0.1.0.data/scripts/korvel"):
        assert member in names, sorted(names)
    # Nothing of the build tree or the sources leaks into the wheel.
    assert not [n for n in names if n.startswith(("build/", "src/", "tests/"))]


# Runs inside the fresh environment, from a directory outside the checkout.
PROBE = r"""
import ast, inspect, json, pathlib, sys
import korvel
shop = sys.argv[1]
stub = ast.parse((pathlib.Path(korvel.__path__[0]) / "__init__.pyi").read_text())
stubbed = {f.name: [a.arg for a in f.args.args] for f in stub.body if isinstance(f, ast.FunctionDef)}
result = {
    "version": list(sys.version_info[:3]),
    "file": korvel.__file__,
    "all": korvel.__all__,
    "modules": sorted({getattr(korvel, n).__module__ for n in korvel.__all__}),
    "signatures": {n: list(inspect.signature(getattr(korvel, n)).parameters) for n in korvel.__all__},
    "stubbed": stubbed,
    "typed": (pathlib.Path(korvel.__path__[0]) / "py.typed").is_file(),
    "validate": korvel.validate(shop),
    "lint": korvel.lint(shop),
    "bundle": sorted(korvel.compile_bundle(shop)["tables"]),
    "sql": korvel.generate_sql(shop, {"metrics": ["revenue"], "dimensions": ["channel"]}, "postgres"),
    "schema": korvel.model_json_schema()["title"],
    "markdown": korvel.context_markdown(shop).splitlines()[0],
}
try:
    korvel.generate_sql(shop, {"metrics": ["revenu"]})
except ValueError as err:
    result["error"] = json.loads(str(err))
print(json.dumps(result))
"""


@pytest.mark.parametrize("end", ["oldest", "newest"])
def test_installs_and_runs_in_a_fresh_venv(wheel, end, tmp_path):
    if end not in ENDS:
        pytest.skip("no CPython 3.9 or later on this machine")
    python = ENDS[end]
    venv = tmp_path / "venv"
    subprocess.run([python, "-m", "venv", str(venv)], check=True, timeout=300, env=CLEAN_ENV)
    vpython = venv / "bin" / "python"
    subprocess.run([str(vpython), "-m", "pip", "install", "-q", "--no-index", "--no-deps",
                    "--disable-pip-version-check", str(wheel)], check=True, timeout=300, env=CLEAN_ENV)

    run = subprocess.run([str(vpython), "-c", PROBE, str(SHOP)], capture_output=True, text=True,
                         cwd=tmp_path, timeout=120, env=CLEAN_ENV)
    assert run.returncode == 0, run.stderr
    got = json.loads(run.stdout)

    assert tuple(got["version"]) == version_of(python)
    assert Path(got["file"]).is_relative_to(venv) and got["file"].endswith("korvel/__init__.abi3.so")
    names = ["validate", "lint", "compile_bundle", "generate_sql", "model_json_schema", "context_markdown"]
    assert got["all"] == names
    assert got["modules"] == ["korvel"]
    assert got["stubbed"] == got["signatures"]
    assert got["signatures"]["generate_sql"] == ["path", "query", "dialect"]
    assert got["typed"]
    assert got["validate"] == []
    assert isinstance(got["lint"], list)
    assert "orders" in got["bundle"]
    assert got["sql"].startswith("SELECT\n") and '"orders"."channel" AS "channel"' in got["sql"]
    assert got["schema"] == "Model"
    assert got["markdown"] == "# Semantic layer: shop"
    assert got["error"]["code"] == "unknown_metric"

    # The command arrives with the wheel and needs no Python at run time.
    cmd = subprocess.run([str(venv / "bin" / "korvel"), "validate", "--json", str(SHOP)],
                         capture_output=True, text=True, timeout=60, env={"PATH": "/usr/bin:/bin"})
    assert (cmd.returncode, cmd.stdout) == (0, "[]\n"), cmd.stderr



def test_cmake_install_puts_command_and_package_under_the_prefix(tmp_path):
    build = Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(tmp_path)],
                   check=True, capture_output=True, timeout=120)
    site = tmp_path / "lib" / "python3" / "dist-packages"
    assert sorted(p.name for p in (site / "korvel").iterdir()) == ["__init__.abi3.so", "__init__.pyi", "py.typed"]
    probe = ("import korvel, sys; print(korvel.__file__); "
             "print(korvel.generate_sql(sys.argv[1], {'metrics': ['revenue']}))")
    run = subprocess.run([sys.executable, "-c", probe, str(SHOP)], capture_output=True, text=True,
                         cwd=tmp_path, env={**os.environ, "PYTHONPATH": str(site)}, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.startswith(str(site / "korvel" / "__init__.abi3.so") + "\n")
    cmd = subprocess.run([str(tmp_path / "bin" / "korvel"), "sql", str(SHOP), "-m", "revenue"],
                         capture_output=True, text=True, timeout=60)
    assert cmd.returncode == 0 and cmd.stdout == run.stdout.split("\n", 1)[1]
