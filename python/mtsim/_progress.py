"""Progress of a sweep for progress=True: a tqdm bar where tqdm is
installed, otherwise lines on stderr."""
import sys
import time


def reporter(progress):
    """The callable that the engine calls with each SweepProgress, or None."""
    if progress is None or progress is False:
        return None
    if progress is True:
        try:
            from tqdm.auto import tqdm
        except ImportError:
            return _Lines(sys.stderr)
        return _Bar(tqdm)
    if callable(progress):
        return progress
    raise TypeError(f"progress: True, False, None or a callable, not {type(progress).__name__}")


def _state(p) -> str:
    return f"AN {p.an_db:g} dB: {p.frames} frames, {p.errors} errors, BER {p.ber:.2e}"


class _Lines:
    """A line per finished point, and every half minute while a point runs
    long (a point at a BER of 1e-9 takes minutes)."""

    INTERVAL = 30.0

    def __init__(self, out):
        self.out = out
        self.last = time.monotonic()

    def __call__(self, p):
        now = time.monotonic()
        if not p.finished and now - self.last < self.INTERVAL:
            return
        self.last = now
        done = "done in" if p.finished else "so far,"
        print(f"mtsim.sweep: point {p.point + 1}/{p.points}, {_state(p)}, {done} {p.seconds:.1f} s",
              file=self.out, flush=True)


class _Bar:
    """A bar over the points, the current one's state beside it."""

    def __init__(self, tqdm):
        self.tqdm = tqdm
        self.bar = None

    def __call__(self, p):
        if self.bar is None:
            self.bar = self.tqdm(total=p.points, unit="point", desc="mtsim.sweep")
        self.bar.set_postfix_str(_state(p), refresh=False)
        if p.finished:
            self.bar.update(1)
        else:
            self.bar.refresh()

    def close(self):
        if self.bar is not None:
            self.bar.close()
