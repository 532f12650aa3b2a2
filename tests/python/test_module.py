"""The module object, class registration and interpreter rules."""

import subprocess
import sys
import sysconfig
import textwrap

import pytest

import wayforge
from wayforge import Path2D


def test_module_attributes():
    assert wayforge.__doc__ == "Useful tools for working with paths"
    assert wayforge.__all__[0] == "Path2D"
    assert all(getattr(wayforge, name).__name__ == name for name in wayforge.__all__)


def test_class_names_and_docs():
    assert Path2D.__module__ == "builtins"
    assert Path2D.__name__ == Path2D.__qualname__ == "Path2D"
    assert Path2D.__text_signature__ == "(points=None, x=None, y=None)"
    assert Path2D.__doc__ == (
        "Path2D(points=None, x=None, y=None)\n\n"
        "Class storing a 2D path.\n\n:param points: List of points\n:param x: List of x coordinates\n"
        ":param y: List of y coordinates\n\n:type points: list[list[float]]\n:type x: list[float]\n"
        ":type y: list[float]"
    )


def test_path2d_is_final_and_has_no_dict_or_weakrefs():
    with pytest.raises(TypeError):
        type("Sub", (Path2D,), {})
    p = Path2D(points=[])
    assert not hasattr(p, "__dict__")
    import weakref

    with pytest.raises(TypeError):
        weakref.ref(p)


def test_reimport_returns_the_same_module():
    del sys.modules["wayforge"]
    import wayforge as again

    sys.modules["wayforge"] = wayforge
    assert again is wayforge


def run(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True)


@pytest.mark.parametrize("isolated", [True, False])
def test_sub_interpreters_are_refused(isolated):
    result = run(f"""
        import wayforge
        try:
            import _interpreters as interpreters
        except ImportError:
            import _xxsubinterpreters as interpreters
        import types
        if {isolated}:
            interp = interpreters.create()
        elif hasattr(interpreters, "new_config"):
            interp = interpreters.create(interpreters.new_config("legacy"))
        else:
            interp = interpreters.create(isolated=False)
        try:
            out = interpreters.run_string(interp, "import wayforge")
        except Exception as e:
            out = e
        print(type(out).__name__, out)
    """)
    if result.stdout.strip() == "skip":
        pytest.skip("legacy sub-interpreters not available here")
    assert "ImportError" in result.stdout + result.stderr or "not support" in result.stdout, result


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded CPython")
def test_import_leaves_the_gil_off():
    """CPython turns the GIL back on, with a RuntimeWarning, when it imports a
    module that does not declare that it runs without it."""
    result = run("""
        import sys, warnings
        warnings.simplefilter("error")
        import wayforge
        print(sys._is_gil_enabled())
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "False"


def test_unbound_method_on_wrong_receiver():
    with pytest.raises(TypeError):
        Path2D.__repr__(5)


def test_source_core_never_includes_python():
    import pathlib

    root = pathlib.Path(__file__).resolve().parents[2] / "src"
    if not root.exists():
        pytest.skip("sources not available")
    offenders = [
        str(f) for sub in ("core", "qp") for f in (root / sub).rglob("*") if f.is_file() and "Python.h" in f.read_text()
    ]
    assert offenders == []
