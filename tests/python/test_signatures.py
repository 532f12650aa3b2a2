"""inspect.signature works for every constructor, method and static method, and
tells the truth: names, order, defaults, and every parameter usable by keyword."""

import inspect

import pytest

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, Path2D, ResamplingMethod

_ = inspect.Parameter.empty

# (callable, [(name, default), ...]); the receiver is not listed.
PATH_METHODS = {
    "compute_circle_fit_curvature": [("max_rmse", 0.15)],
    "find_circle_segments": [("start", _), ("end", _), ("max_rmse", 0.15)],
    "resampled_path": [("resampling_method", _), ("resampling_type", ...), ("epsilon", 0.01)],
    "smoothed_path_elastic_band": [("max_deviation", _), ("elastic_band_type", ...)],
    "smoothed_path_chaikin": [("num_iterations", _)],
    "index_from_point": [("point", _), ("epsilon", 0.01)],
    "path_length_from_point": [("point", _), ("epsilon", 0.01)],
    "sub_path": [("start", None), ("end", None), ("epsilon", 0.01)],
    "detect_corrupted_point_order": [("sus_angle", 2.8)],
    "repair_corrupted_point_order": [("sus_angle", 2.8)],
    "add_associated_values": [("values", _)],
    "associated_values": [("handle", _)],
    "associated_value_np": [("handle", _)],
}

CONSTRUCTORS = [
    (Path2D, [("points", None), ("x", None), ("y", None)]),
    (ResamplingMethod.ByNumberPoints, [("number_points", _)]),
    (ResamplingMethod.BySamplingDistance, [("sampling_distance", _), ("drop_last", _)]),
    (ResamplingMethod.by_number_points, [("number_points", _)]),
    (ResamplingMethod.by_sampling_distance, [("sampling_distance", _), ("drop_last", True)]),
]


def shape(sig):
    return [(p.name, p.default) for p in sig.parameters.values()]


def test_every_public_path_method_is_listed():
    public = {n for n, v in vars(Path2D).items() if not n.startswith("_") and callable(v)}
    assert public == set(PATH_METHODS)


@pytest.mark.parametrize("name", PATH_METHODS)
def test_bound_method_signature(name):
    sig = inspect.signature(getattr(Path2D(points=[[0, 0], [1, 0]]), name))
    assert shape(sig) == PATH_METHODS[name]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in sig.parameters.values())


@pytest.mark.parametrize("name", PATH_METHODS)
def test_unbound_method_signature_has_positional_only_self(name):
    params = list(inspect.signature(getattr(Path2D, name)).parameters.values())
    assert params[0].name == "self" and params[0].kind is params[0].POSITIONAL_ONLY
    assert [(p.name, p.default) for p in params[1:]] == PATH_METHODS[name]


@pytest.mark.parametrize("func, expected", CONSTRUCTORS, ids=lambda v: getattr(v, "__name__", ""))
def test_constructor_and_static_method_signatures(func, expected):
    sig = inspect.signature(func)
    assert shape(sig) == expected
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in sig.parameters.values())


@pytest.mark.parametrize("func, expected", CONSTRUCTORS[:3], ids=["Path2D", "ByNumberPoints", "BySamplingDistance"])
def test_signature_binds_what_the_constructor_accepts(func, expected):
    """Every parameter, passed by keyword as the signature names it, reaches the constructor."""
    values = {
        "points": None, "x": [0.0, 1.0], "y": [0.0, 0.0],
        "number_points": 3, "sampling_distance": 0.5, "drop_last": False,
    }
    kwargs = {name: values[name] for name, _default in expected}
    inspect.signature(func).bind(**kwargs)
    assert func(**kwargs) is not None


@pytest.mark.parametrize("name", PATH_METHODS)
def test_signature_matches_the_docstring_call_form(name):
    """The first docstring line repeats the call form; its parameter names agree."""
    method = getattr(Path2D, name)
    call_form = method.__doc__.splitlines()[0]
    for param, _default in PATH_METHODS[name]:
        assert param in call_form


@pytest.mark.parametrize("cls", [ResamplingMethod, InterpolationMethod, ElasticBandMethod])
def test_classes_without_constructor_say_so(cls):
    with pytest.raises(TypeError, match=f"^No constructor defined for {cls.__name__}$"):
        cls()


def test_help_renders_every_class():
    import pydoc

    for name in wayforge.__all__:
        text = pydoc.render_doc(getattr(wayforge, name), renderer=pydoc.plaintext)
        assert name in text
