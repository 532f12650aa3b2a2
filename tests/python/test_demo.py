"""The demo runs on the built-in track, tells its story and draws its figure."""

import importlib.util
import sys
from pathlib import Path

import pytest

from conftest import needs_clarabel

# The demo smooths with the elastic band.
pytestmark = needs_clarabel

DEMO = Path(__file__).resolve().parents[2] / "examples" / "demo.py"


@pytest.fixture(scope="module")
def demo():
    spec = importlib.util.spec_from_file_location("wayforge_demo", DEMO)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_detects_exactly_the_swapped_fixes(demo):
    r = demo.tour()
    assert r["suspicious"] == sorted(i + k for i in demo.SWAPPED for k in (0, 1))
    assert len(r["raw"].points) - len(r["repaired"].points) == 2 * len(demo.SWAPPED)
    # The speeds travel with the path through repair, resampling and the sub-path.
    for name in ("repaired", "linear", "cubic", "count", "curve"):
        path = r[name]
        assert len(path.associated_values(r["speed"])) == len(path.points)


def test_report_and_figure(demo, tmp_path, capsys):
    pytest.importorskip("matplotlib")
    out = tmp_path / "figs" / "demo.png"
    assert demo.main(["--output", str(out)]) == 0
    text = capsys.readouterr().out
    assert "repair: suspicious fixes" in text and f"figure: {out}" in text
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    import matplotlib

    assert matplotlib.get_backend().lower() == "agg"


def test_report_without_matplotlib(demo, tmp_path, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)  # makes the import fail
    out = tmp_path / "demo.png"
    assert demo.main(["--output", str(out)]) == 0
    text = capsys.readouterr().out
    assert "query (118.0, 38.0)" in text and "figure: skipped" in text
    assert not out.exists()
