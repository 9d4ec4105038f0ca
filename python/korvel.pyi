# Type stub of the korvel extension module.
from typing import Any, Dict, List

__all__ = [
    "validate",
    "lint",
    "compile_bundle",
    "generate_sql",
    "model_json_schema",
    "context_markdown",
]

def validate(path: str) -> List[Dict[str, str]]:
    """Validate a project. Returns a list of {file, message} dicts; empty = valid."""

def lint(path: str) -> List[Dict[str, str]]:
    """Lint a project. Returns a list of {file, message} warning dicts."""

def compile_bundle(path: str) -> Dict[str, Any]:
    """Compile a project into a context bundle, returned as a dict."""

def generate_sql(path: str, query: Any, dialect: str = "duckdb") -> str:
    """Generate SQL for a semantic query.

    `query` is a dict: {"metrics": [...], "dimensions": [...], "filters":
    [...], "grain": "day", "limit": 100}. Raises ValueError whose message is
    a JSON object with a `code` field agents can branch on."""

def model_json_schema() -> Dict[str, Any]:
    """JSON Schema for model files, as a dict."""

def context_markdown(path: str) -> str:
    """Render the project as agent-ready markdown."""
