"""Zarkel from Python: the reduced stress tensor from fault-slip data.

Frame and units everywhere: x east, y north, z up; angles in degrees
(azimuths clockwise from north, plunges positive downward) unless a name
says radians; R = (sigma2 - sigma3) / (sigma1 - sigma3).

The result of a run is the JSON document of ``zarkel-batch --json``,
described field by field by ``docs/result.schema.json`` (the one
description of it); :meth:`Result.to_dict` returns it, and the properties of
:class:`Result` are numpy views of some of its fields.

Bad input raises :class:`InputError` (a ``ValueError``) with the message the
programs print; warnings go through :mod:`warnings` as :class:`ZarkelWarning`;
nothing is printed and no file is written unless asked.
"""

from __future__ import annotations

import json as _json
import warnings as _warnings

import numpy as _np

from . import _zarkel

__all__ = [
    "InputError", "ZarkelWarning", "FaultSet", "Parameters", "Result",
    "Catalogue", "read_data", "read_parameters", "faults", "faults_from_table", "mechanisms_from_table", "invert",
    "stress_difference", "shmax", "auxiliary_plane", "pt_axes",
]


class InputError(ValueError):
    """Input the programs refuse; the message is the one they print."""


class ZarkelWarning(UserWarning):
    """Input or an answer that deserves a look (the programs' ``warning:`` lines)."""


_zarkel._set_input_error(InputError)


def _warn(lines, stacklevel=3):
    for line in lines:
        _warnings.warn(line, ZarkelWarning, stacklevel=stacklevel)


class FaultSet:
    """Fault-slip data as the engine reads them.

    ``normals`` and ``slips`` are N x 3 float64 arrays of unit vectors (x east,
    y north, z up): the downward normal of each plane and the slip of its
    hanging wall, as the DATA record of whole degrees gives them (the engine
    inverts these). ``numbers`` (int array) and ``labels`` (list of str) are
    the datum numbers and labels; ``title`` the DATA title; ``path`` the file
    read ("" for vectors).
    """

    def __init__(self, _impl):
        self._impl = _impl

    normals = property(lambda self: self._impl.normals, doc="N x 3 float64, downward unit normals (x east, y north, z up)")
    slips = property(lambda self: self._impl.slips, doc="N x 3 float64, unit slips of the hanging walls (x east, y north, z up)")
    numbers = property(lambda self: self._impl.numbers, doc="datum numbers (int array, N)")
    labels = property(lambda self: self._impl.labels, doc="datum labels (list of N str, at most 3 characters)")
    lines = property(lambda self: self._impl.lines, doc="line of each datum in the DATA file")
    title = property(lambda self: self._impl.title, doc="the DATA title")
    path = property(lambda self: self._impl.path, doc="the DATA file read, or '' for vectors and tables")
    conventions = property(lambda self: self._impl.conventions,
                           doc="of faults_from_table: 'plane from ..., striation from ...' ('' otherwise)")
    ignored = property(lambda self: self._impl.ignored, doc="of faults_from_table: the columns not read")

    @property
    def import_report(self):
        """Of faults_from_table: zarkel-import's --report (one row per datum:
        table row, number, angle off the plane, projection, rounding in
        degrees), a DataFrame when pandas is installed, else the CSV text;
        None for data not imported from a table."""
        text = self._impl.report_csv
        if not text:
            return None
        try:
            import io
            import pandas
            return pandas.read_csv(io.StringIO(text))
        except ImportError:
            return text

    def __len__(self):
        return len(self._impl)

    def __repr__(self):
        return f"<zarkel.FaultSet N={len(self)} title={self.title!r}>"


_PARAMETER_FIELDS = ("ISEL", "IECHO", "selection", "INDX", "POURC", "NTIR", "NSEED", "IPRINT",
                     "S1DIR", "S1PEN", "S3DIR", "S3PEN", "R", "euler")


class Parameters:
    """The run parameters of a PARAMETERS file, every field settable.

    ISEL, IECHO, selection: the selection of data by number; INDX the mode (1
    random start, 2 to 5 imposed axes, 6 imposed tensor); POURC the per cent
    of best-fitting data in the misfit sum; NTIR random draws of stage 1;
    NSEED generator values skipped first; IPRINT listing detail; S1DIR,
    S1PEN, S3DIR, S3PEN (degrees) and R: the imposed axes of modes 2 to 5;
    euler: (PSI, TETA, PHI in radians, R) of mode 6. The fields are checked
    when a run starts, with the programs' messages.
    """

    def __init__(self, _impl=None, **fields):
        object.__setattr__(self, "_impl", _impl if _impl is not None else _zarkel._Parameters())
        if _impl is None:
            self.ISEL = 1
        for k, v in fields.items():
            setattr(self, k, v)

    def __getattr__(self, name):
        if name in _PARAMETER_FIELDS or name == "path":
            return getattr(self._impl, name)
        raise AttributeError(name)

    def __setattr__(self, name, value):
        if name not in _PARAMETER_FIELDS:
            raise AttributeError(f"Parameters has no field {name!r}")
        setattr(self._impl, name, value)

    def __repr__(self):
        return "Parameters(" + ", ".join(f"{k}={getattr(self, k)!r}" for k in _PARAMETER_FIELDS) + ")"


def read_data(path) -> FaultSet:
    """Reads a DATA file (every datum; a selection applies when a run starts)."""
    impl = _zarkel._read_data(str(path))
    _warn(impl.file_warnings)
    return FaultSet(impl)


def read_parameters(path) -> Parameters:
    """Reads a PARAMETERS file. Refuses here what no DATA file could run; the
    rest is checked when the run starts."""
    impl = _zarkel._read_parameters(str(path))
    _warn(impl.file_warnings)
    return Parameters(impl)


def faults(normals, slips, numbers=None, labels=None, title="") -> FaultSet:
    """A FaultSet from vectors (x east, y north, z up; any real dtype and
    memory layout).

    normals: N x 3, plane normals in either sense; slips: N x 3, slip of the
    hanging wall (its sense is the fault's sense). Each datum becomes the DATA
    record of whole degrees zarkel-import writes for it; a slip more than 20
    degrees off its plane is refused, more than 10 warned and projected.
    numbers: N ints 0 to 999 (default 1..N); labels: N strings of at most 3
    characters.
    """
    numbers = [] if numbers is None else [int(n) for n in _np.asarray(numbers).ravel()]
    labels = [] if labels is None else [str(s) for s in labels]
    impl = _zarkel._faults(_np.asarray(normals), _np.asarray(slips), numbers, labels, str(title))
    _warn(impl.file_warnings)
    return FaultSet(impl)


def _cell(v):
    """A cell as a spreadsheet's CSV export writes it: missing values blank,
    reals in positional notation (the import reads no exponent)."""
    if v is None:
        return ""
    if isinstance(v, (bytes, bytearray)):
        return bytes(v).decode("utf-8", "backslashreplace")
    if isinstance(v, (bool, _np.bool_)):
        return str(bool(v))
    if isinstance(v, (float, _np.floating)):
        if _np.isnan(v):
            return ""
        return _np.format_float_positional(float(v), trim="-")
    if isinstance(v, (int, _np.integer)):
        return str(int(v))
    s = str(v)
    return "" if s in ("nan", "NaN", "<NA>", "NaT") and not isinstance(v, str) else s


def _columns_of(table):
    """(header, columns) of a pandas DataFrame or a mapping of 1-D arrays."""
    if hasattr(table, "columns") and hasattr(table, "__getitem__") and not isinstance(table, dict):
        names = list(table.columns)
        cols = [list(table[c].to_numpy(dtype=object)) if hasattr(table[c], "to_numpy") else list(table[c])
                for c in names]
    elif hasattr(table, "keys"):
        names = list(table.keys())
        cols = [list(_np.asarray(table[c], dtype=object).ravel()) if not isinstance(table[c], str) else [table[c]]
                for c in names]
    else:
        raise TypeError("table must be a pandas DataFrame or a dict of arrays (column name -> values)")
    return [str(n) for n in names], cols


def _rows_of(table):
    header, cols = _columns_of(table)
    n = max((len(c) for c in cols), default=0)
    # A short column leaves its cells blank: the row-width check is the table's.
    rows = [[_cell(c[i]) if i < len(c) else "" for c in cols] for i in range(n)]
    return header, rows


def faults_from_table(table, plane=None, striation=None, *, columns=None, sense_map=None, title=None,
                      warn_off_plane=10.0, max_off_plane=20.0, decimal=None, name="table") -> FaultSet:
    """Fault-slip measurements of a table (a pandas DataFrame or a dict of
    column name -> array), imported as ``zarkel-import`` imports a CSV file:
    the same column names, conventions, checks, warnings and messages.

    plane: 'dip-direction', 'strike-rhr' or 'strike-quadrant' (--plane),
    striation: 'rake', 'unsigned-rake', 'trend-plunge' or 'pitch'
    (--striation), when the columns allow more than one (None: the one they
    allow; never guessed). columns: {role: column name} (--column, roles id,
    label, dip_direction, dip, strike, dip_quadrant, rake, trend, plunge,
    pitch, pitch_quadrant, sense); sense_map: {word: 'N', 'I', 'D' or 'S'}
    (--sense-map); title: the DATA title (default: ``name``);
    warn_off_plane, max_off_plane: degrees of a striation off its plane that
    warn and that refuse; decimal: 'comma' reads text cells such as '12,5'
    (--decimal; None or 'point': a decimal point). Angles in degrees,
    azimuths from north.

    Messages name the table ``name`` and its rows as its CSV export would
    number them (the header is row 1, the first row of data row 2). Each
    datum becomes the DATA record of whole degrees the import writes;
    ``conventions``, ``ignored`` and ``import_report`` of the FaultSet say
    what was read. Refusals raise InputError; nothing is written to disk.
    """
    header, rows = _rows_of(table)
    cols = [f"{k}={v}" for k, v in (columns or {}).items()]
    senses = [f"{k}={v}" for k, v in (sense_map or {}).items()]
    impl = _zarkel._faults_from_table(header, rows, str(name), plane or "", striation or "", cols, senses,
                                      None if title is None else str(title), float(warn_off_plane),
                                      float(max_off_plane), decimal or "")
    _warn(impl.file_warnings)
    return FaultSet(impl)


class Catalogue:
    """Earthquake focal mechanisms, one event a row, as ``zarkel-batch
    --mechanisms`` reads them from a table.

    ``strike``, ``dip``, ``rake`` (float64 arrays, degrees, Aki & Richards:
    dip to the right of the strike, rake positive for reverse slip) are the
    nodal plane given of each event; ``ids`` the event ids (the datum
    numbers); ``labels``; ``known`` the plane known to be the fault (0 none,
    1 the plane given, 2 its auxiliary); ``rows`` the table row of each event
    (the header is row 1). ``table`` is the table given, every column kept
    (a DataFrame stays one). Use :func:`auxiliary_plane` and :func:`pt_axes`
    for the other plane and the axes.
    """

    def __init__(self, impl, table):
        self._impl = impl
        self.table = table
        planes = impl.planes
        self.strike, self.dip, self.rake = planes[:, 0], planes[:, 1], planes[:, 2]

    ids = property(lambda self: self._impl.ids, doc="event ids (int array)")
    labels = property(lambda self: self._impl.labels, doc="event labels (list of str)")
    known = property(lambda self: self._impl.known, doc="known fault plane of each event: 0 none, 1 or 2")
    rows = property(lambda self: self._impl.rows, doc="table row of each event (the header is row 1)")
    name = property(lambda self: self._impl.name, doc="the name messages and the result give the table")

    def __len__(self):
        return len(self._impl)

    def __repr__(self):
        return f"<zarkel.Catalogue N={len(self)} name={self.name!r}>"


def mechanisms_from_table(table, *, name="table") -> Catalogue:
    """A Catalogue of focal mechanisms from a table (a pandas DataFrame or a
    dict of column name -> array), read as ``zarkel-batch --mechanisms``
    reads a CSV table: columns strike, dip, rake of one nodal plane (degrees,
    Aki & Richards); optional strike2, dip2, rake2 and p_trend, p_plunge,
    t_trend, t_plunge (checked against the first plane), fault (1, 2 or
    blank: the known fault plane), id, label; any number of events. Other
    columns are kept in ``Catalogue.table``. Refusals raise InputError with
    the program's message, naming the table ``name`` and its rows as its CSV
    export would number them (the header is row 1).
    """
    header, rows = _rows_of(table)
    return Catalogue(_zarkel._catalogue(header, rows, str(name)), table)


class Result:
    """The answer of :func:`invert`.

    :meth:`to_dict` is the JSON document of ``zarkel-batch --json``
    (docs/result.schema.json). Properties (numpy): ``tensor`` the final
    reduced tensor (3 x 3, compression positive, x east, y north, z up),
    ``axes`` (3 x 2: trend and plunge of sigma 1, 2, 3, degrees), ``R``,
    ``shmax`` (degrees from north, None when undefined), ``data`` (the
    per-datum records: a pandas DataFrame when pandas is installed, else a
    dict of arrays), ``replicates`` (the bootstrap replicates' rows, same
    rule) and ``warnings``.
    """

    def __init__(self, impl):
        self._impl = impl
        self._parsed = None

    @property
    def _doc(self):
        # The document, read once when a property first needs it.
        if self._parsed is None:
            self._parsed = _json.loads(self._impl.json)
        return self._parsed

    def to_dict(self) -> dict:
        """The result document (a fresh copy)."""
        return _json.loads(self._impl.json)

    def to_json(self) -> str:
        """The result document as zarkel-batch writes it."""
        return self._impl.json

    def listing(self) -> str:
        """The listing (the OUTPUT file of the programs), as text."""
        return self._impl.listing

    def figure_svg(self, planes=True, labels=False, couples=False) -> str:
        """The SVG figure of zarkel-batch --svg (--no-planes, --labels, --couples)."""
        return self._impl.figure_svg(planes, labels, couples)

    @property
    def warnings(self):
        return list(self._impl.warnings)

    @property
    def tensor(self):
        return _np.array(self._doc["final"]["tensor"], dtype=float)

    @property
    def axes(self):
        return _np.array([[a["trend_deg"], a["plunge_deg"]] for a in self._doc["final"]["axes"]], dtype=float)

    @property
    def R(self):
        return self._doc["final"]["R"]

    @property
    def shmax(self):
        return self._doc["final"]["stress_state"]["SHmax_deg"]

    @property
    def data(self):
        return _table(self._doc["data"])

    @property
    def replicates(self):
        b = self._doc.get("bootstrap")
        return None if b is None else _table(b["samples"])

    def __repr__(self):
        return f"<zarkel.Result N={self._doc['N']} R={self.R} SHmax={self.shmax}>"


def _flatten(row, prefix=""):
    out = {}
    for k, v in row.items():
        if isinstance(v, dict):
            out.update(_flatten(v, prefix + k + "."))
        else:
            out[prefix + k] = v
    return out


def _table(rows):
    flat = [_flatten(r) for r in rows]
    try:
        import pandas
        return pandas.DataFrame(flat)
    except ImportError:
        keys = list(flat[0]) if flat else []
        return {k: _np.array([r.get(k) for r in flat]) for k in keys}


def _phases_arg(phases):
    if phases is None:
        return -1
    if phases == "auto":
        return 0
    if isinstance(phases, bool) or not isinstance(phases, (int, _np.integer)):
        raise InputError(f"phases must be None, 'auto' or a number of phases, not {phases!r}")
    return int(phases)


def _per_cent(fraction):
    # 0.57 * 100 is 56.99999999999999: the decimal form, as the command line reads it
    return float(f"{float(fraction) * 100.0:.12g}")


def invert(data, params, *, starts=None, bootstrap=0, confidence=0.95, seed=None, jobs=None,
           phases=None, max_phases=3, outlier_misfit=30.0, phase_starts=None, strict=False,
           plane_choice="hybrid", choice_gap=10.0, plane_seed=1, friction=None) -> Result:
    """Inverts ``data`` (a FaultSet or a Catalogue) with ``params``
    (Parameters), as zarkel-batch (zarkel-batch --mechanisms for a Catalogue).

    starts: independent starts (None: zarkel-batch's 10, fewer when NSEED and
    NTIR leave no room); bootstrap: replicates (0 none); confidence: fraction
    of the replicates in the cones and intervals (0.95 is --confidence 95);
    seed: of the resampling (None: 1); jobs: worker threads (None: one per
    hardware thread; the answer does not depend on it); phases: None, 'auto'
    or K, with max_phases, outlier_misfit (degrees) and phase_starts (None:
    zarkel-batch's default) as --phases, --max-phases, --outlier-misfit and
    --phase-starts; strict:
    a warning of the input refuses the run.

    A Catalogue runs the plane choice first, with the options of
    zarkel-batch --mechanisms: plane_choice 'hybrid', 'misfit',
    'instability' or 'given' (--plane-choice); choice_gap (degrees,
    --choice-gap); plane_seed (--plane-seed); friction (None: from the scan,
    else --friction); starts (None: 4 per engine run, 1 when NSEED and NTIR
    leave no room); bootstrap reruns the choice on each resample of the
    events; phases separate the chosen planes. The planes are inverted as
    given.

    The GIL is released during the run; KeyboardInterrupt cancels it.
    """
    if not isinstance(params, Parameters):
        raise TypeError("params must be zarkel.Parameters (read_parameters)")
    if isinstance(data, Catalogue):
        impl = _zarkel._invert_catalogue(data._impl, params._impl, str(plane_choice), float(choice_gap), int(plane_seed),
                                         None if friction is None else float(friction),
                                         None if starts is None else int(starts), int(bootstrap), _per_cent(confidence),
                                         1 if seed is None else int(seed), None if jobs is None else int(jobs),
                                         bool(strict), _phases_arg(phases), int(max_phases), float(outlier_misfit),
                                         0 if phase_starts is None else int(phase_starts))
        _warn(impl.warnings)
        return Result(impl)
    if not isinstance(data, FaultSet):
        raise TypeError("data must be a zarkel.FaultSet (read_data, faults) or a zarkel.Catalogue (mechanisms_from_table)")
    impl = _zarkel._invert(data._impl, params._impl, None if starts is None else int(starts), int(bootstrap),
                           _per_cent(confidence), 1 if seed is None else int(seed), None if jobs is None else int(jobs),
                           _phases_arg(phases), int(max_phases), float(outlier_misfit), bool(strict),
                           0 if phase_starts is None else int(phase_starts))
    _warn(impl.warnings)
    return Result(impl)


def stress_difference(t1, t2):
    """Stress difference of two tensors (degrees, 0 to 180), vectorised over
    ... x 3 x 3 arrays (broadcast)."""
    a, b = _np.broadcast_arrays(_np.asarray(t1, dtype=float), _np.asarray(t2, dtype=float))
    if a.shape[-2:] != (3, 3):
        raise InputError("tensors must be 3 x 3 arrays (or stacks of them)")
    out = _np.empty(a.shape[:-2])
    for i in _np.ndindex(out.shape):
        out[i] = _zarkel._stress_difference(a[i], b[i])
    return out if out.shape else float(out)


def _axes_of(t):
    w, v = _np.linalg.eigh(_np.asarray(t, dtype=float))
    s1, s2, s3 = v[:, 2], v[:, 1], v[:, 0]  # compression positive: sigma 1 the largest
    spread = w[2] - w[0]
    R = (w[1] - w[0]) / spread if spread > 0 else float("nan")
    return s1, s2, s3, R


def shmax(tensor):
    """Azimuth of the maximum horizontal stress (degrees from north, [0, 180))
    of tensors (compression positive, x east, y north, z up), vectorised over
    ... x 3 x 3 arrays; NaN where there is none (a radial horizontal stress)."""
    t = _np.asarray(tensor, dtype=float)
    out = _np.empty(t.shape[:-2])
    for i in _np.ndindex(out.shape):
        s1, s2, s3, R = _axes_of(t[i])
        v = _zarkel._stress_state(list(s1), list(s2), list(s3), R)["shmax"]
        out[i] = _np.nan if v is None else v
    return out if out.shape else float(out)


def auxiliary_plane(strike, dip, rake):
    """The other nodal plane (strike, dip, rake in degrees, Aki & Richards),
    vectorised over arrays; returns three arrays."""
    s, d, r = _np.broadcast_arrays(*(_np.asarray(x, dtype=float) for x in (strike, dip, rake)))
    out = _np.empty(s.shape + (3,))
    for i in _np.ndindex(s.shape):
        out[i] = _zarkel._auxiliary_plane(s[i], d[i], r[i])
    return out[..., 0], out[..., 1], out[..., 2]


def pt_axes(strike, dip, rake):
    """P and T axes of double couples (strike, dip, rake in degrees) as unit
    vectors (... x 3 each, x east, y north, z up; their sense means nothing)."""
    s, d, r = _np.broadcast_arrays(*(_np.asarray(x, dtype=float) for x in (strike, dip, rake)))
    P = _np.empty(s.shape + (3,))
    T = _np.empty(s.shape + (3,))
    for i in _np.ndindex(s.shape):
        P[i], T[i] = _zarkel._pt_axes(s[i], d[i], r[i])
    return P, T
