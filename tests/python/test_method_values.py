"""The method value classes: ResamplingMethod with its two variant classes,
and the enumerations InterpolationMethod and ElasticBandMethod."""

import math
import sys

import numpy as np
import pytest

import wayforge
from wayforge import ElasticBandMethod, InterpolationMethod, ResamplingMethod

ByNumberPoints = ResamplingMethod.ByNumberPoints
BySamplingDistance = ResamplingMethod.BySamplingDistance


def test_module_registers_the_classes_in_order():
    assert wayforge.__all__[:4] == ["Path2D", "ResamplingMethod", "InterpolationMethod",
                                    "ElasticBandMethod"]
    assert not hasattr(wayforge, "ResamplingMethod_ByNumberPoints")
    assert not hasattr(wayforge, "ResamplingMethod_BySamplingDistance")


ALL_CLASSES = [ResamplingMethod, ByNumberPoints, BySamplingDistance, InterpolationMethod,
               ElasticBandMethod]


@pytest.mark.parametrize(
    "cls, name, doc, signature",
    [
        (ResamplingMethod, "ResamplingMethod", None, None),
        (ByNumberPoints, "ResamplingMethod_ByNumberPoints", "", "(number_points)"),
        (BySamplingDistance, "ResamplingMethod_BySamplingDistance", "",
         "(sampling_distance, drop_last)"),
        (InterpolationMethod, "InterpolationMethod", None, None),
        (ElasticBandMethod, "ElasticBandMethod", None, None),
    ],
)
def test_class_names_and_documentation(cls, name, doc, signature):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name and cls.__qualname__ == name
    assert cls.__doc__ == doc
    assert cls.__text_signature__ == signature


def test_class_hierarchy():
    assert ByNumberPoints.__bases__ == (ResamplingMethod,)
    assert BySamplingDistance.__bases__ == (ResamplingMethod,)
    assert InterpolationMethod.__bases__ == (object,)
    assert ElasticBandMethod.__bases__ == (object,)
    assert ByNumberPoints.__match_args__ == ("number_points",)
    assert BySamplingDistance.__match_args__ == ("sampling_distance", "drop_last")

    class Sub(ResamplingMethod):
        pass

    with pytest.raises(TypeError, match="^No constructor defined for Sub$"):
        Sub()


@pytest.mark.parametrize("cls", [ByNumberPoints, BySamplingDistance, InterpolationMethod,
                                 ElasticBandMethod])
def test_final_classes_refuse_subclassing(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("cls", [ResamplingMethod, InterpolationMethod, ElasticBandMethod])
def test_no_constructor(cls):
    with pytest.raises(TypeError) as error:
        cls()
    assert str(error.value) == f"No constructor defined for {cls.__name__}"


# ---- ResamplingMethod ----

@pytest.mark.parametrize("owner", [ResamplingMethod, ByNumberPoints, BySamplingDistance,
                                   ResamplingMethod.by_number_points(1)])
def test_static_constructors_are_reachable_everywhere(owner):
    by_points = owner.by_number_points(10)
    assert type(by_points) is ByNumberPoints
    assert by_points.number_points == 10
    by_distance = owner.by_sampling_distance(0.5)
    assert type(by_distance) is BySamplingDistance
    assert (by_distance.sampling_distance, by_distance.drop_last) == (0.5, True)
    assert owner.by_sampling_distance(sampling_distance=2, drop_last=False).drop_last is False


def test_values_are_stored_unchanged():
    assert ResamplingMethod.by_number_points(0).number_points == 0
    assert ResamplingMethod.by_number_points(2**64 - 1).number_points == 2**64 - 1
    assert ResamplingMethod.by_sampling_distance(-1.0).sampling_distance == -1.0
    assert math.isnan(ResamplingMethod.by_sampling_distance(math.nan).sampling_distance)
    assert type(ByNumberPoints(np.int64(3)).number_points) is int
    assert type(BySamplingDistance(2, True).sampling_distance) is float
    value = ResamplingMethod.by_sampling_distance(0.5)
    assert isinstance(value, ResamplingMethod)


@pytest.mark.parametrize("name", ["number_points", "by_number_points"])
def test_read_only(name):
    value = ByNumberPoints(3)
    with pytest.raises(AttributeError):
        setattr(value, name, 4)
    assert ByNumberPoints.number_points.__doc__ is None


def test_static_method_docstrings():
    assert ResamplingMethod.by_number_points.__text_signature__ == "(number_points)"
    assert ResamplingMethod.by_number_points.__doc__ == (
        "by_number_points(number_points)\n"
        "\n"
        "The path will be equidistantly resampled using the given number of points.\n"
        "\n"
        ":param number_points: Number of points\n"
        "\n"
        ":type number_points: int\n"
        "\n"
        ":returns: The resampling method\n"
        ":rtype: ResamplingMethod"
    )
    assert (ResamplingMethod.by_sampling_distance.__text_signature__
            == "(sampling_distance, drop_last=True)")
    assert ResamplingMethod.by_sampling_distance.__doc__ == (
        "by_sampling_distance(sampling_distance, drop_last=True)\n"
        "\n"
        "The path will be resampled using the given sampling_distance.\n"
        "The distance between the last and second last point will differ from sampling distance.\n"
        "Setting drop_last=True will omit the last point.\n"
        "\n"
        ":param sampling_distance: Sampling distance\n"
        ":param drop_last: Omits the last point when true.\n"
        "\n"
        ":type sampling_distance: float\n"
        ":type drop_last: bool\n"
        "\n"
        ":returns: The resampling method\n"
        ":rtype: ResamplingMethod"
    )


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (ResamplingMethod.by_number_points(10), ByNumberPoints(10), True),
        (ResamplingMethod.by_number_points(10), ByNumberPoints(11), False),
        (ResamplingMethod.by_number_points(10), 10, False),
        (ResamplingMethod.by_number_points(10), ResamplingMethod.by_sampling_distance(10.0),
         False),
        (ResamplingMethod.by_number_points(0), ResamplingMethod.by_sampling_distance(0.0),
         False),
        (ResamplingMethod.by_sampling_distance(0.5), BySamplingDistance(0.5, True), True),
        (ResamplingMethod.by_sampling_distance(0.5, False),
         ResamplingMethod.by_sampling_distance(0.5, True), False),
        (ResamplingMethod.by_sampling_distance(0.5), ResamplingMethod.by_sampling_distance(0.25),
         False),
        (ResamplingMethod.by_sampling_distance(math.nan),
         ResamplingMethod.by_sampling_distance(math.nan), False),
        (ResamplingMethod.by_sampling_distance(0.0), ResamplingMethod.by_sampling_distance(-0.0),
         True),
        (ResamplingMethod.by_sampling_distance(0.5), 0.5, False),
        (ResamplingMethod.by_sampling_distance(0.5), None, False),
    ],
)
def test_resampling_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal
    assert (right != left) is (not equal)


def test_nan_value_is_equal_to_itself_only_by_identity():
    value = ResamplingMethod.by_sampling_distance(math.nan)
    # The comparison says unequal; identity is not consulted first.
    assert (value == value) is False
    assert value in [value]


@pytest.mark.parametrize("value", [ByNumberPoints(3), BySamplingDistance(0.5, True)])
def test_resampling_is_unhashable_and_unordered(value):
    assert type(value).__hash__ is None
    with pytest.raises(TypeError):
        hash(value)
    with pytest.raises(TypeError):
        {value}
    for op in ["<", "<=", ">", ">="]:
        with pytest.raises(TypeError):
            eval(f"a {op} b", {"a": value, "b": value})


def test_resampling_has_the_default_repr():
    value = ByNumberPoints(3)
    assert repr(value) == f"<builtins.ResamplingMethod_ByNumberPoints object at {id(value):#x}>"


def describe(method):
    match method:
        case ResamplingMethod.ByNumberPoints(n):
            return ("points", n)
        case ResamplingMethod.BySamplingDistance(d, drop):
            return ("distance", d, drop)
        case _:
            return None


def test_structural_pattern_matching():
    assert describe(ResamplingMethod.by_number_points(7)) == ("points", 7)
    assert describe(ResamplingMethod.by_sampling_distance(0.5, False)) == ("distance", 0.5, False)
    assert describe(7) is None


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: ResamplingMethod.BySamplingDistance(0.5), TypeError,
         "ResamplingMethod_BySamplingDistance.__new__() missing 1 required positional argument: "
         "'drop_last'"),
        (lambda: ResamplingMethod.BySamplingDistance(), TypeError,
         "ResamplingMethod_BySamplingDistance.__new__() missing 2 required positional arguments: "
         "'sampling_distance' and 'drop_last'"),
        (lambda: ResamplingMethod.BySamplingDistance(0.5, True, 1), TypeError,
         "ResamplingMethod_BySamplingDistance.__new__() takes 2 positional arguments but 3 were "
         "given"),
        (lambda: ResamplingMethod.ByNumberPoints(), TypeError,
         "ResamplingMethod_ByNumberPoints.__new__() missing 1 required positional argument: "
         "'number_points'"),
        (lambda: ResamplingMethod.ByNumberPoints(3, n=3), TypeError,
         "ResamplingMethod_ByNumberPoints.__new__() got an unexpected keyword argument 'n'"),
        (lambda: ResamplingMethod.ByNumberPoints(3, number_points=3), TypeError,
         "ResamplingMethod_ByNumberPoints.__new__() got multiple values for argument "
         "'number_points'"),
        (lambda: ResamplingMethod.by_number_points(), TypeError,
         "ResamplingMethod.by_number_points() missing 1 required positional argument: "
         "'number_points'"),
        (lambda: ResamplingMethod.by_sampling_distance(1.0, True, 3), TypeError,
         "ResamplingMethod.by_sampling_distance() takes from 1 to 2 positional arguments but 3 "
         "were given"),
        (lambda: ResamplingMethod.by_sampling_distance(drop_last=True), TypeError,
         "ResamplingMethod.by_sampling_distance() missing 1 required positional argument: "
         "'sampling_distance'"),
        (lambda: ResamplingMethod.by_sampling_distance(0.5, 1), TypeError,
         "argument 'drop_last': 'int' object cannot be converted to 'PyBool'"),
        (lambda: ResamplingMethod.by_sampling_distance(0.5, drop_last=None), TypeError,
         "argument 'drop_last': 'NoneType' object cannot be converted to 'PyBool'"),
        (lambda: ResamplingMethod.BySamplingDistance(0.5, 0), TypeError,
         "argument 'drop_last': 'int' object cannot be converted to 'PyBool'"),
        (lambda: ResamplingMethod.by_sampling_distance("0.5"), TypeError,
         "argument 'sampling_distance': must be real number, not str"),
        (lambda: ResamplingMethod.by_sampling_distance(None, 1), TypeError,
         "argument 'sampling_distance': must be real number, not NoneType"),
        (lambda: ResamplingMethod.by_number_points(-1), OverflowError,
         "can't convert negative int to unsigned"),
        (lambda: ResamplingMethod.ByNumberPoints(2**64), OverflowError,
         "int too big to convert"),
        (lambda: ResamplingMethod.by_number_points(2.5), TypeError,
         "argument 'number_points': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert type(raised.value) is error
    assert str(raised.value) == message


@pytest.mark.parametrize("flag, expected", [(np.bool_(False), False), (np.bool_(True), True),
                                            (False, False)])
def test_drop_last_accepts_booleans(flag, expected):
    assert ResamplingMethod.by_sampling_distance(0.5, flag).drop_last is expected
    assert ResamplingMethod.BySamplingDistance(0.5, flag).drop_last is expected


def test_number_points_accepts_bool_and_numpy_integers():
    assert ResamplingMethod.by_number_points(True).number_points == 1
    assert ResamplingMethod.by_number_points(np.uint64(2**64 - 1)).number_points == 2**64 - 1


# ---- enumerations ----

MEMBERS = [
    (InterpolationMethod, "Cubic", 0),
    (InterpolationMethod, "Linear", 1),
    (ElasticBandMethod, "SquareBounds", 0),
    (ElasticBandMethod, "OrthogonalBounds", 1),
]


@pytest.mark.parametrize("cls, name, value", MEMBERS)
def test_members(cls, name, value):
    member = getattr(cls, name)
    assert type(member) is cls
    assert member is getattr(cls, name)
    assert int(member) == value and type(int(member)) is int
    assert repr(member) == str(member) == f"{cls.__name__}.{name}"
    assert type(member).__hash__ is None
    with pytest.raises(TypeError):
        hash(member)
    # __int__ only: no __index__, so a member is no integer argument.
    with pytest.raises(TypeError):
        [0, 1][member]


def test_members_are_registered_in_order():
    assert [k for k in vars(InterpolationMethod) if not k.startswith("__")] == ["Cubic", "Linear"]
    assert [k for k in vars(ElasticBandMethod) if not k.startswith("__")] == [
        "SquareBounds", "OrthogonalBounds"]


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FailingIndex:
    def __index__(self):
        raise ValueError("no index")


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (InterpolationMethod.Linear, InterpolationMethod.Linear, True),
        (InterpolationMethod.Linear, InterpolationMethod.Cubic, False),
        (InterpolationMethod.Linear, 1, True),
        (InterpolationMethod.Cubic, 0, True),
        (InterpolationMethod.Cubic, 1, False),
        (InterpolationMethod.Linear, True, True),
        (InterpolationMethod.Cubic, False, True),
        (InterpolationMethod.Linear, np.int64(1), True),
        (InterpolationMethod.Linear, Index(1), True),
        (InterpolationMethod.Linear, -(2**64) + 1, False),
        (InterpolationMethod.Linear, 2**64 + 1, False),
        (InterpolationMethod.Linear, 1.0, False),
        (InterpolationMethod.Linear, "1", False),
        (InterpolationMethod.Linear, None, False),
        (InterpolationMethod.Linear, FailingIndex(), False),
        (InterpolationMethod.Linear, ElasticBandMethod.OrthogonalBounds, False),
        (ElasticBandMethod.SquareBounds, InterpolationMethod.Cubic, False),
        (ElasticBandMethod.OrthogonalBounds, 1, True),
        (ElasticBandMethod.SquareBounds, ElasticBandMethod.SquareBounds, True),
    ],
)
def test_enumeration_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal
    assert (right != left) is (not equal)


def test_failed_conversion_leaves_no_error_set():
    assert (InterpolationMethod.Linear == FailingIndex()) is False
    assert sys.exc_info() == (None, None, None)


@pytest.mark.parametrize("right", [InterpolationMethod.Cubic, 0, 1.5])
@pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
def test_enumerations_are_unordered(op, right):
    with pytest.raises(TypeError):
        eval(f"a {op} b", {"a": InterpolationMethod.Linear, "b": right})


def test_members_cannot_be_dictionary_keys():
    with pytest.raises(TypeError):
        {ElasticBandMethod.SquareBounds: 1}


def test_value_objects_do_not_leak():
    reads = [
        lambda: ResamplingMethod.by_number_points(3),
        lambda: ResamplingMethod.BySamplingDistance(0.5, False),
        lambda: ResamplingMethod.by_sampling_distance(0.5) == ByNumberPoints(1),
        lambda: InterpolationMethod.Linear == 1.5,
        lambda: repr(ElasticBandMethod.OrthogonalBounds),
    ]
    growth = [0] * 6
    for round_ in range(6):
        before = sys.getallocatedblocks()
        for _ in range(3000):
            for read in reads:
                read()
        growth[round_] = sys.getallocatedblocks() - before
    assert not all(g > 0 for g in growth[3:]), growth
