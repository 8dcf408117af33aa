from typing import Callable, List, Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt

__version__: str
CSV_COLUMNS: Tuple[str, ...]

class FrameConfig:
    def __init__(self, an: float = 3.0, iterat: int = 8, ndkdd: int = 520000,
                 npacketll: int = 0, infind: int = 3) -> None: ...
    an: float
    iterat: int
    ndkdd: int
    npacketll: int
    infind: int

class FrameCounts:
    table: npt.NDArray[np.int64]
    inftot: int
    inf_weight: int
    check_weight: int
    inferr: int
    isaerr: int

class Simulator:
    def __init__(self, config: FrameConfig) -> None: ...
    def run(self, kst: int) -> FrameCounts: ...
    config: FrameConfig

def frames(config: FrameConfig, seeds: Sequence[int],
           threads: Optional[int] = None) -> npt.NDArray[np.int64]: ...

class ChannelEstimates:
    p8: float
    C8: float
    R8: float
    C2_8: float
    R1_8: float
    p16: float
    C16: float
    R16: float
    C2_16: float
    R1_16: float
    scan: List[Tuple[float, float]]

def channel_estimates(an: float) -> ChannelEstimates: ...

class SweepProgress:
    point: int
    points: int
    an_db: float
    ebn0_db: float
    frames: int
    errors: int
    ber: float
    frames_computed: int
    seconds: float
    finished: bool

class SweepRun:
    def csv_text(self) -> str: ...
    def json_text(self) -> str: ...
    def svg_text(self, iterations: Optional[List[int]] = None) -> str: ...
    def rows(self) -> List[tuple]: ...

def run_sweep(settings: dict, threads: Optional[int],
              progress: Optional[Callable[[SweepProgress], object]]) -> SweepRun: ...
def default_settings() -> dict: ...
def write_file(path: str, text: str) -> None: ...
