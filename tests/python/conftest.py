"""Shared fixtures: named canonical paths, including degenerate ones."""

import contextlib
import importlib
import importlib.util
import math
import sys
from pathlib import Path

import pytest

import wayforge

CANONICAL_POINTS = {
    "empty": [],
    "one_point": [[2.0, 3.0]],
    "repeated": [[0.0, 0.0], [3.0, 4.0], [3.0, 4.0], [6.0, 8.0]],
    "straight": [[float(i), 0.0] for i in range(6)],
    "circle": [[10 * math.cos(0.3 * i), 10 * math.sin(0.3 * i)] for i in range(12)],
    "zigzag": [[0.0, 0.0], [1.0, 1.0], [2.0, 0.0], [3.0, 1.0], [4.0, 0.0]],
    "nan": [[0.0, 0.0], [float("nan"), 1.0], [2.0, 0.0]],
}


# The elastic band's solver package; it has no build for some interpreters
# (a free-threaded CPython). Tests that use a stand-in for it run anyway.
CLARABEL = importlib.util.find_spec("clarabel") is not None
needs_clarabel = pytest.mark.skipif(not CLARABEL, reason="the clarabel package is not installed")


@pytest.fixture(params=sorted(CANONICAL_POINTS))
def canonical(request):
    """(name, points, Path2D) for every canonical path."""
    points = CANONICAL_POINTS[request.param]
    return request.param, points, wayforge.Path2D(points=points)


EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


@contextlib.contextmanager
def example(name: str):
    """examples/<name>.py imported by name. The folder stays on sys.path meanwhile:
    spawned workers import the module by name too."""
    sys.path.insert(0, str(EXAMPLES))
    try:
        yield importlib.import_module(name)
    finally:
        sys.path.remove(str(EXAMPLES))


def is_panic(exc: BaseException) -> bool:
    """PanicException is not a module attribute; recognise it by its class."""
    return type(exc).__name__ == "PanicException" and not isinstance(exc, Exception)


def pytest_collection_modifyitems(config, items):
    """ASan's allocator aborts on huge requests instead of failing them, so
    tests that expect MemoryError from one only run in ordinary builds."""
    import os

    if not os.environ.get("WAYFORGE_SANITIZED"):
        return
    skip = pytest.mark.skip(reason="the sanitizer's allocator aborts on huge requests")
    for item in items:
        if "huge_allocation" in item.keywords:
            item.add_marker(skip)
