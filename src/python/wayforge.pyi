"""Useful tools for working with paths"""

# Type stubs for the compiled module. They are installed twice: as wayforge.pyi
# next to the extension module (pyright and editors find it there) and as the
# stub-only package wayforge-stubs (mypy looks only there for a single-module
# distribution). `python -m mypy.stubtest wayforge` checks them against the module.

from typing import Any, ClassVar, Final, Iterable, Sequence, SupportsFloat, SupportsIndex, TypeAlias, final, overload

import numpy as np
from _typeshed import structseq
import numpy.typing as npt
from typing_extensions import disjoint_base

# A number: float, int, bool, NumPy scalars, anything with __float__ or __index__.
_Float: TypeAlias = SupportsFloat | SupportsIndex
# A NumPy array of any numeric (or boolean) dtype; its items are converted one by one.
_NumericArray: TypeAlias = np.ndarray[Any, np.dtype[np.integer[Any] | np.floating[Any] | np.bool_]]
# Sequences of numbers: lists, tuples, ranges, NumPy arrays (never str).
_Values: TypeAlias = Sequence[_Float] | _NumericArray
# A point: any sequence of exactly two numbers.
_Point: TypeAlias = Sequence[_Float] | _NumericArray
_Points: TypeAlias = Sequence[_Point] | _NumericArray
# Every `_np` result is a new, writeable, C-ordered float64 array.
_FloatArray: TypeAlias = npt.NDArray[np.float64]

__all__ = [
    "Path2D",
    "ResamplingMethod",
    "InterpolationMethod",
    "ElasticBandMethod",
    "PathBatch",
    "PointLocations",
    "locate_points",
    "interpolate_at_lengths",
]

# Array arguments of the batch and the vectorised functions: anything
# numpy.asarray turns into an array of numbers (integers for offsets).
_ArrayLike: TypeAlias = npt.ArrayLike
_IntArray: TypeAlias = npt.NDArray[np.int64]

@final
class Path2D:
    """Class storing a 2D path.

    Build it from points, or from x and y coordinates; any other combination
    raises TypeError("Create path either from points or coordinates").
    """

    @overload
    def __new__(cls, points: _Points, x: None = None, y: None = None) -> Path2D: ...
    @overload
    def __new__(cls, points: None, x: _Values, y: _Values) -> Path2D: ...
    @overload
    def __new__(cls, *, x: _Values, y: _Values) -> Path2D: ...
    @property
    def points(self) -> list[list[float]]: ...
    @property
    def points_np(self) -> _FloatArray:
        """Shape (n, 2); (0, 0) for an empty path."""
    @property
    def x(self) -> list[float]: ...
    @property
    def x_np(self) -> _FloatArray: ...
    @property
    def y(self) -> list[float]: ...
    @property
    def y_np(self) -> _FloatArray: ...
    @property
    def path_length_per_point(self) -> list[float]: ...
    @property
    def path_length_per_point_np(self) -> _FloatArray: ...
    @property
    def length(self) -> float: ...
    @property
    def orientation(self) -> list[float]:
        """Heading per point in radians, from atan2, in [-pi, pi]."""
    @property
    def orientation_np(self) -> _FloatArray: ...
    @property
    def unit_tangent_vector(self) -> list[list[float]]: ...
    @property
    def unit_tangent_vector_np(self) -> _FloatArray:
        """Shape (n, 2); (0, 0) for an empty path."""
    @property
    def curvature(self) -> list[float]:
        """Signed curvature per point in 1/length: left turns are positive."""
    @property
    def curvature_np(self) -> _FloatArray: ...
    def compute_circle_fit_curvature(self, max_rmse: _Float = 0.15) -> list[float]:
        """Computes the curvature by decomposing the path into arc segments."""
    def find_circle_segments(
        self, start: SupportsIndex, end: SupportsIndex, max_rmse: _Float = 0.15
    ) -> list[tuple[int, int, float]]:
        """Decomposes the path into its circle segments, such that the maximum
        RMSE (root mean squared error) is not exceeded."""
    def resampled_path(
        self,
        resampling_method: ResamplingMethod,
        resampling_type: InterpolationMethod = ...,  # InterpolationMethod.Linear
        epsilon: _Float = 0.01,
    ) -> Path2D:
        """Resamples the path equidistantly using the given interpolation method."""
    def smoothed_path_elastic_band(
        self,
        max_deviation: _Float,
        elastic_band_type: ElasticBandMethod = ...,  # ElasticBandMethod.OrthogonalBounds
    ) -> Path2D | None:
        """Smoothes the path with an elastic band (a QP solved by Clarabel).

        Returns None when the solver does not report success."""
    def smoothed_path_chaikin(self, num_iterations: SupportsIndex) -> Path2D:
        """Smoothes the path using the Chaikin's path smoothing algorithm."""
    def index_from_point(self, point: _Point, epsilon: _Float = 0.01) -> int | None:
        """Returns the index of the nearest point on the path in front of the given point.
        If the point outside the path, None is returned"""
    def path_length_from_point(self, point: _Point, epsilon: _Float = 0.01) -> float | None:
        """Returns the path length from the first point to the given point.
        If the point outside the path, None is returned"""
    def sub_path(
        self, start: _Point | None = None, end: _Point | None = None, epsilon: _Float = 0.01
    ) -> Path2D | None:
        """Returns the sub path from start to end.
        If start is None, the path begins at the beginning.
        The same holds for end.
        The new path is not necessarily equidistant."""
    def detect_corrupted_point_order(self, sus_angle: _Float = 2.8) -> list[int]:
        """Returns the list of all indices where the path turns sharper than sus_angle."""
    def repair_corrupted_point_order(self, sus_angle: _Float = 2.8) -> Path2D:
        """Repairs corrupted point order by removing points that progress in the wrong direction."""
    def add_associated_values(self, values: _Values) -> int:
        """Adds an associated value; returns its handle.

        Raises TypeError when len(values) differs from the number of points."""
    def associated_values(self, handle: SupportsIndex) -> list[float] | None:
        """Returns the respective associated values (None for an unknown handle)."""
    def associated_value_np(self, handle: SupportsIndex) -> _FloatArray | None:
        """Returns the respective associated values (None for an unknown handle)."""

@disjoint_base
class ResamplingMethod:
    # The two variants are class attributes only; at run time their __name__ is
    # ResamplingMethod_ByNumberPoints and ResamplingMethod_BySamplingDistance.
    @final
    class ByNumberPoints(ResamplingMethod):
        __match_args__: Final = ("number_points",)
        def __new__(cls, number_points: SupportsIndex) -> ResamplingMethod.ByNumberPoints: ...
        @property
        def number_points(self) -> int: ...

    @final
    class BySamplingDistance(ResamplingMethod):
        __match_args__: Final = ("sampling_distance", "drop_last")
        def __new__(
            cls, sampling_distance: _Float, drop_last: bool | np.bool_
        ) -> ResamplingMethod.BySamplingDistance: ...
        @property
        def sampling_distance(self) -> float: ...
        @property
        def drop_last(self) -> bool: ...

    __hash__: ClassVar[None]  # type: ignore[assignment]
    @staticmethod
    def by_number_points(number_points: SupportsIndex) -> ResamplingMethod.ByNumberPoints:
        """The path will be equidistantly resampled using the given number of points."""
    @staticmethod
    def by_sampling_distance(
        sampling_distance: _Float, drop_last: bool | np.bool_ = True
    ) -> ResamplingMethod.BySamplingDistance:
        """The path will be resampled using the given sampling_distance.
        The distance between the last and second last point will differ from sampling distance.
        Setting drop_last=True will omit the last point."""
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...

@final
class InterpolationMethod:
    Cubic: ClassVar[InterpolationMethod]  # int value 0
    Linear: ClassVar[InterpolationMethod]  # int value 1
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...

@final
class ElasticBandMethod:
    SquareBounds: ClassVar[ElasticBandMethod]  # int value 0
    OrthogonalBounds: ClassVar[ElasticBandMethod]  # int value 1
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...

@final
class PathBatch:
    """Many paths in one record.

    Path j is coords[offsets[j]:offsets[j + 1]], with the rows
    values[offsets[j]:offsets[j + 1]] as its associated value lists.
    Nothing changes a batch after construction."""

    def __new__(cls, coords: _ArrayLike, offsets: _ArrayLike, values: _ArrayLike | None = None) -> PathBatch: ...
    @classmethod
    def from_paths(cls, paths: Iterable[Path2D]) -> PathBatch:
        """A batch of the given paths; every path must have the same number of value lists."""
    def __len__(self) -> int: ...
    def __getitem__(self, index: SupportsIndex, /) -> Path2D: ...
    @property
    def points_np(self) -> _FloatArray:
        """Shape (N, 2)."""
    @property
    def x_np(self) -> _FloatArray: ...
    @property
    def y_np(self) -> _FloatArray: ...
    @property
    def offsets(self) -> _IntArray:
        """Shape (P + 1,)."""
    @property
    def values_np(self) -> _FloatArray:
        """Shape (N, k)."""
    @property
    def lengths_np(self) -> _FloatArray:
        """Shape (P,)."""
    @property
    def path_length_per_point_np(self) -> _FloatArray: ...
    @property
    def orientation_np(self) -> _FloatArray: ...
    @property
    def unit_tangent_vector_np(self) -> _FloatArray:
        """Shape (N, 2)."""
    @property
    def curvature_np(self) -> _FloatArray: ...
    def resampled_path(
        self,
        resampling_method: ResamplingMethod,
        resampling_type: InterpolationMethod = ...,  # InterpolationMethod.Linear
        epsilon: _Float = 0.01,
    ) -> PathBatch: ...
    def smoothed_path_chaikin(self, num_iterations: SupportsIndex) -> PathBatch:
        """The result carries no value lists."""
    def compute_circle_fit_curvature(self, max_rmse: _Float = 0.15) -> _FloatArray: ...
    def detect_corrupted_point_order(self, sus_angle: _Float = 2.8) -> _IntArray:
        """Ascending indices into the batch's coordinates."""
    def repair_corrupted_point_order(self, sus_angle: _Float = 2.8) -> PathBatch: ...

@final
class PointLocations(structseq[Any], tuple[_FloatArray, _IntArray, _FloatArray, _FloatArray]):
    """The result of locate_points: one entry per query point."""

    __match_args__: Final = ("length", "segment", "offset", "point")
    @property
    def length(self) -> _FloatArray: ...
    @property
    def segment(self) -> _IntArray: ...
    @property
    def offset(self) -> _FloatArray: ...
    @property
    def point(self) -> _FloatArray: ...

def locate_points(path: Path2D, points: _ArrayLike) -> PointLocations:
    """The nearest point of the path to each query point, exactly."""

def interpolate_at_lengths(path: Path2D, lengths: _ArrayLike) -> tuple[_FloatArray, _FloatArray]:
    """The positions (m, 2) and associated values (m, k) at the given path lengths."""
