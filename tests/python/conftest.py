"""Puts the built module (KORVEL_BUILD, default <repo>/build) first on sys.path."""
import os
import pathlib
import sys

REPO = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("KORVEL_BUILD", REPO / "build")).resolve()

sys.path.insert(0, str(BUILD))

import pytest  # noqa: E402


@pytest.fixture
def korvel():
    import korvel as module

    return module


@pytest.fixture
def project_dir(tmp_path):
    """The smallest project that loads: a manifest selecting no model files."""
    (tmp_path / "semantic.yml").write_text("korvel: 1\nproject:\n  name: tiny\nmodels: []\n")
    return tmp_path
