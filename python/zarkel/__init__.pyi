# Type stubs of the zarkel package, for editors' completion and type
# checkers. Units and frames are in the docstrings of __init__.py: angles in
# degrees, azimuths clockwise from north, vectors x east, y north, z up,
# compression positive, R = (sigma 2 - sigma 3) / (sigma 1 - sigma 3).
from typing import Any, Literal, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__all__: list[str]

ArrayLike = npt.ArrayLike
Floats = npt.NDArray[np.float64]
Ints = npt.NDArray[np.int64]
# A pandas DataFrame, or a dict of column name -> array.
Table = Union[Mapping[str, Sequence[Any]], Any]

class InputError(ValueError): ...
class ZarkelWarning(UserWarning): ...

class FaultSet:
    @property
    def normals(self) -> Floats: ...  # N x 3, downward unit normals
    @property
    def slips(self) -> Floats: ...  # N x 3, unit slips of the hanging walls
    @property
    def numbers(self) -> Ints: ...
    @property
    def labels(self) -> list[str]: ...
    @property
    def lines(self) -> Ints: ...
    @property
    def title(self) -> str: ...
    @property
    def path(self) -> str: ...
    @property
    def conventions(self) -> str: ...
    @property
    def ignored(self) -> list[str]: ...
    @property
    def import_report(self) -> Any: ...  # DataFrame, CSV text, or None
    def __len__(self) -> int: ...

class Parameters:
    ISEL: int
    IECHO: int
    selection: list[int]
    INDX: int
    POURC: float
    NTIR: int
    NSEED: int
    IPRINT: int
    S1DIR: float
    S1PEN: float
    S3DIR: float
    S3PEN: float
    R: float
    euler: Tuple[float, float, float, float]  # PSI, TETA, PHI (radians), R
    path: str
    def __init__(self, _impl: Any = ..., **fields: Any) -> None: ...

class Catalogue:
    strike: Floats
    dip: Floats
    rake: Floats
    table: Table
    @property
    def ids(self) -> Ints: ...
    @property
    def labels(self) -> list[str]: ...
    @property
    def known(self) -> list[int]: ...  # 0 none, 1 the plane given, 2 its auxiliary
    @property
    def rows(self) -> list[int]: ...  # table rows (the header is row 1)
    @property
    def name(self) -> str: ...
    def __len__(self) -> int: ...

class Result:
    def to_dict(self) -> dict[str, Any]: ...  # the --json document (docs/result.schema.json)
    def to_json(self) -> str: ...
    def listing(self) -> str: ...
    def figure_svg(self, planes: bool = ..., labels: bool = ..., couples: bool = ...) -> str: ...
    @property
    def warnings(self) -> list[str]: ...
    @property
    def tensor(self) -> Floats: ...  # 3 x 3
    @property
    def axes(self) -> Floats: ...  # 3 x 2: trend, plunge of sigma 1, 2, 3
    @property
    def R(self) -> float: ...
    @property
    def shmax(self) -> Optional[float]: ...
    @property
    def data(self) -> Any: ...  # DataFrame, or dict of arrays
    @property
    def replicates(self) -> Any: ...  # DataFrame, dict of arrays, or None

def read_data(path: str) -> FaultSet: ...
def read_parameters(path: str) -> Parameters: ...
def faults(normals: ArrayLike, slips: ArrayLike, numbers: Optional[ArrayLike] = ...,
           labels: Optional[Sequence[str]] = ..., title: str = ...) -> FaultSet: ...
def faults_from_table(table: Table, plane: Optional[Literal["dip-direction", "strike-rhr", "strike-quadrant"]] = ...,
                      striation: Optional[Literal["rake", "unsigned-rake", "trend-plunge", "pitch"]] = ..., *,
                      columns: Optional[Mapping[str, str]] = ..., sense_map: Optional[Mapping[str, str]] = ...,
                      title: Optional[str] = ..., warn_off_plane: float = ..., max_off_plane: float = ...,
                      decimal: Optional[Literal["point", "comma"]] = ..., name: str = ...) -> FaultSet: ...
def mechanisms_from_table(table: Table, *, name: str = ...) -> Catalogue: ...
def invert(data: Union[FaultSet, Catalogue], params: Parameters, *, starts: Optional[int] = ..., bootstrap: int = ...,
           confidence: float = ..., seed: Optional[int] = ..., jobs: Optional[int] = ...,
           phases: Union[None, Literal["auto"], int] = ..., max_phases: int = ..., outlier_misfit: float = ...,
           phase_starts: Optional[int] = ..., strict: bool = ...,
           plane_choice: Literal["hybrid", "misfit", "instability", "given"] = ..., choice_gap: float = ...,
           plane_seed: int = ..., friction: Optional[float] = ...) -> Result: ...
def stress_difference(t1: ArrayLike, t2: ArrayLike) -> Union[float, Floats]: ...
def shmax(tensor: ArrayLike) -> Union[float, Floats]: ...
def auxiliary_plane(strike: ArrayLike, dip: ArrayLike, rake: ArrayLike) -> Tuple[Floats, Floats, Floats]: ...
def pt_axes(strike: ArrayLike, dip: ArrayLike, rake: ArrayLike) -> Tuple[Floats, Floats]: ...
