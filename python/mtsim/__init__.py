"""The coded-transmission simulator and its BER sweeps, for notebooks and scripts.

One frame, the numbers mtsim prints for the same parameter file::

    >>> import mtsim
    >>> sim = mtsim.Simulator(mtsim.FrameConfig(an=3.0))   # reuse it for every frame
    >>> sim.run(0).table                                    # the result table, int64

Many frames on worker threads, one row per seed, for statistics of your own::

    >>> rows = mtsim.frames(mtsim.FrameConfig(an=2.5, ndkdd=100000), range(100))

A BER curve with mtsweep's engine, settings and stop rule::

    >>> result = mtsim.sweep(an=[2.0, 2.5, 3.0], progress=True)
    >>> result.to_dataframe()      # mtsweep's CSV columns (needs pandas; rows() without)
    >>> result.plot("curve.svg")   # mtsweep's plot

Frames run without the GIL; Ctrl-C raises KeyboardInterrupt within a
frame's time and leaves the module usable.
"""
from ._core import (
    ChannelEstimates,
    FrameConfig,
    FrameCounts,
    Simulator,
    SweepProgress,
    __version__,
    channel_estimates,
    frames,
)
from ._sweep import Point, SweepResult, sweep

__all__ = [
    "ChannelEstimates",
    "FrameConfig",
    "FrameCounts",
    "Point",
    "Simulator",
    "SweepProgress",
    "SweepResult",
    "__version__",
    "channel_estimates",
    "frames",
    "sweep",
]
