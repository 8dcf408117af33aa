"""Sweeps: mtsweep's engine run in this process, and its results as
numbers, mtsweep's files and its plot."""
from __future__ import annotations

import json
import math
import numbers
import os
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Sequence, Union

import numpy as np

from . import _core
from ._progress import reporter

_DEFAULTS = _core.default_settings()

PathLike = Union[str, "os.PathLike[str]"]


def sweep(
    an: Union[float, Sequence[float]],
    *,
    ndkdd: int = _DEFAULTS["ndkdd"],
    iterat: int = _DEFAULTS["iterat"],
    npacketll: int = _DEFAULTS["npacketll"],
    infind: int = _DEFAULTS["infind"],
    seed: int = _DEFAULTS["seed"],
    min_errors: int = _DEFAULTS["min_errors"],
    min_error_frames: int = _DEFAULTS["min_error_frames"],
    min_frames: int = _DEFAULTS["min_frames"],
    max_frames: int = _DEFAULTS["max_frames"],
    stop_ber: Optional[float] = None,
    point_time: Optional[float] = None,
    threads: Optional[int] = None,
    progress: Union[bool, None, Callable[[_core.SweepProgress], object]] = None,
) -> SweepResult:
    """Bit error rate curves: mtsweep's sweep, run in this process.

    The settings are mtsweep's options under their JSON names, with the same
    defaults and ranges (README, "Curves"):

    an          Es/N0 values in dB, 2.0 ... 5.0 (one number or a sequence),
                run in increasing order, each once.
    ndkdd, iterat, npacketll, infind
                the frame settings of every point.
    seed        frame i of every point has the noise seed kst = seed + i.
    min_errors, min_error_frames, min_frames, max_frames
                the stop rule: a point ends after the first K frames whose
                errors after the last iteration reach min_errors, held by
                at least min_error_frames frames (never before min_frames),
                or after max_frames frames.
    stop_ber    skip the points after one whose BER after the last iteration
                is below this.
    point_time  end a point after this many seconds with the frames it has
                (stopped_by "time"): its result then depends on the
                machine's speed and the threads.
    threads     worker threads, 1 ... 1024; by default the cores available.
                The results do not depend on it.
    progress    True for a progress bar (tqdm where installed, else a line
                on stderr per point), or a callable that takes a
                SweepProgress after every round and every finished point.

    A value out of range raises ValueError naming the setting, as mtsweep
    refuses it.  Frames run without the GIL; Ctrl-C (or an exception in the
    progress callable) stops the sweep within a frame's time and is raised.
    """
    # Every parameter but threads and progress is a setting: _core converts
    # and checks them in one place, by name.
    settings = dict(an=[an] if isinstance(an, numbers.Real) else an, ndkdd=ndkdd, iterat=iterat,
                    npacketll=npacketll, infind=infind, seed=seed, min_errors=min_errors,
                    min_error_frames=min_error_frames, min_frames=min_frames,
                    max_frames=max_frames, stop_ber=stop_ber, point_time=point_time)
    report = reporter(progress)
    try:
        return SweepResult(_core.run_sweep(settings, threads, report))
    finally:
        getattr(report, "close", lambda: None)()


@dataclass(frozen=True)
class Point:
    """One finished point.  The arrays are indexed by iteration: 0 is the
    decoder input, 1 ... iterat the bits after each decoder iteration."""

    an_db: float
    ebn0_db: float
    frames: int
    stopped_by: str  # "min_errors", "max_frames" or "time"
    bits: np.ndarray = field(repr=False)  # judged bits, summed over the frames
    errors: np.ndarray = field(repr=False)
    error_frames: np.ndarray = field(repr=False)  # frames holding them
    ber: np.ndarray = field(repr=False)
    ber_low: np.ndarray = field(repr=False)  # the 95% interval
    ber_high: np.ndarray = field(repr=False)
    channel: Dict[str, float] = field(repr=False)  # the channel estimates, as the JSON names them
    wall_seconds: float = 0.0

    @classmethod
    def _from_json(cls, p: dict) -> Point:
        its = p["iterations"]

        def column(key: str, dtype: type) -> np.ndarray:
            # The JSON writes an infinite upper end (one error frame) as null.
            return np.array([math.inf if it[key] is None else it[key] for it in its], dtype=dtype)

        return cls(p["an_db"], p["ebn0_db"], p["frames"], p["stopped_by"],
                   column("bits", np.int64), column("errors", np.int64),
                   column("error_frames", np.int64), column("ber", float),
                   column("ber_low", float), column("ber_high", float), p["channel"],
                   p["timing"]["wall_seconds"])


class SweepResult:
    """A finished sweep, with mtsweep's numbers.

    points          the finished points in AN order (Point).
    skipped_an_db   the AN values that stop_ber left out.
    settings        everything that decides the results, as mtsweep's JSON.
    capacity_limit  the AN and Eb/N0 where the channel's 16-level capacity
                    equals the code rate 3/4.
    wall_seconds    of the whole sweep.

    rows() and to_dataframe() give mtsweep's CSV rows with exact numbers;
    to_csv(), to_json() and plot() give mtsweep's files, and write them
    whole when given a path.
    """

    def __init__(self, run: _core.SweepRun):
        self._run = run
        doc = json.loads(run.json_text())
        self.settings: dict = doc["settings"]
        self.points: List[Point] = [Point._from_json(p) for p in doc["points"]]
        self.skipped_an_db: List[float] = doc["skipped_an_db"]
        self.capacity_limit: dict = doc["capacity_limit"]
        self.wall_seconds: float = doc["run"]["wall_seconds"]

    def rows(self) -> List[dict]:
        """One dict per point and iteration, keyed by mtsweep's CSV columns
        (an_db, ebn0_db, iteration, frames, bits, errors, ber, ber_low,
        ber_high, error_frames), with the numbers the CSV file rounds."""
        return [dict(zip(_core.CSV_COLUMNS, row)) for row in self._run.rows()]

    def to_dataframe(self):
        """The rows as a pandas DataFrame; for example BER per iteration:
        df.pivot(index="ebn0_db", columns="iteration", values="ber")."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("to_dataframe() needs pandas (Debian: python3-pandas); "
                              "rows() gives the same rows as dicts") from e
        return pandas.DataFrame.from_records(self._run.rows(), columns=list(_core.CSV_COLUMNS))

    def to_csv(self, path: Optional[PathLike] = None) -> str:
        """The CSV text that mtsweep --csv writes; written to `path` if given."""
        return _kept(self._run.csv_text(), path)

    def to_json(self, path: Optional[PathLike] = None) -> str:
        """The JSON document that mtsweep --json writes (its "run" names this
        module); written to `path` if given.  mtsweep --resume takes it."""
        return _kept(self._run.json_text(), path)

    def plot(self, path: Optional[PathLike] = None,
             iterations: Optional[Sequence[int]] = None) -> str:
        """The SVG plot that mtsweep --plot draws: BER against Eb/N0 for the
        decoder input and `iterations` (by default the first, the middle and
        the last); written to `path` if given."""
        return _kept(self._run.svg_text(None if iterations is None else list(iterations)), path)

    def __repr__(self) -> str:
        points = ", ".join(f"{p.an_db:g}" for p in self.points)
        return (f"<SweepResult: AN {points} dB, {sum(p.frames for p in self.points)} frames, "
                f"{self.wall_seconds:.1f} s>")


def _kept(text: str, path: Optional[PathLike]) -> str:
    # Written whole or not at all (a temporary file renamed over the target).
    if path is not None:
        _core.write_file(os.fspath(path), text)
    return text
