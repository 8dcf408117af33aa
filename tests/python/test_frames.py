"""Frames from Python: the numbers mtsim prints, rows independent of the
threads, bad arguments, the GIL and Ctrl-C."""
import os
import re
import signal
import sys
import threading
import time

import numpy as np
import pytest

import mtsim

SMALL = mtsim.FrameConfig(an=2.4, iterat=5, ndkdd=20000, npacketll=24)


# The parameter file, and the FrameConfig that mtsim runs for it (an AN
# below 2.0 in the file is the noiseless 25.0).
@pytest.mark.parametrize("kst, parameters, config", [
    (0, "infind=3 ndkdd=520000 iterat=8 AN=3.0 npacketll=0", mtsim.FrameConfig()),
    (7, "infind=3 ndkdd=20000 iterat=5 AN=2.4 npacketll=24", SMALL),
    (-12345, "infind=2 ndkdd=30000 iterat=15 AN=1.0 npacketll=200",
     mtsim.FrameConfig(an=25.0, iterat=15, ndkdd=30000, npacketll=200, infind=2)),
], ids=["default", "packet", "noiseless_pattern"])
def test_frame_and_estimates_are_what_mtsim_prints(mtsim_report, kst, parameters, config):
    text = mtsim_report(f"code=1 kst={kst} {parameters} lim88=0")
    counts = mtsim.Simulator(config).run(kst)
    table = [int(n) for n in text.split("packet length =")[1].split()[1:config.iterat + 4]]
    assert counts.table.tolist() == table
    assert counts.table.dtype == np.int64
    printed = lambda key: {int(n) for n in re.findall(key + r"=(\d+)", text)}
    assert printed("inf weight") == {counts.inf_weight}
    assert printed("check weight") == {counts.check_weight}
    assert printed("inftot") == {counts.inftot}
    assert printed("inferr W") == {counts.inferr}
    assert printed("isaerr W") == {counts.isaerr}

    e = mtsim.channel_estimates(config.an)
    six = lambda *values: [f"{v:f}" for v in values]
    assert re.findall(r"C8=(\S+)", text) == six(*[e.C8] * 5)
    assert re.findall(r"(\S+) -comp rate M=8", text) == six(e.R8)
    assert re.findall(r"M=2 C=(\S+)  R1=(\S+)", text) == [tuple(six(e.C2_8, e.R1_8)),
                                                         tuple(six(e.C2_16, e.R1_16))]
    assert re.findall(r"C16=(\S+)", text) == six(e.C16)
    assert re.findall(r"(\S+) -comp rate M=16", text) == six(e.R16, *[r for _, r in e.scan])
    assert re.findall(r"your noice level A/N \(0-5\)\s+(\S+)", text) == six(*[p for p, _ in e.scan])
    assert re.findall(r"new mpch=(\d+)", text) == [str(int(1e6 * e.p8) // 1000)]
    assert re.findall(r"MPCH test\s+(\d+)", text) == [str(int(1e6 * e.p16))]


def test_frames_rows_follow_the_seeds_for_any_threads():
    seeds = [5, -3, 2**31 - 1, 0, 5, -2**31, 2**21 + 5]
    sim = mtsim.Simulator(SMALL)
    want = np.stack([sim.run(k).table for k in seeds])
    for threads in (1, 3):
        assert np.array_equal(mtsim.frames(SMALL, np.array(seeds), threads=threads), want)
    assert np.array_equal(want[0], want[-1])  # the noise repeats after 2^21 seeds
    assert mtsim.frames(SMALL, []).shape == (0, SMALL.iterat + 3)


@pytest.mark.parametrize("call, error, message", [
    (lambda: mtsim.FrameConfig(ndkdd=19999), ValueError, "ndkdd 19999 is outside 20000 ... 520000"),
    (lambda: mtsim.FrameConfig(an=1.99), ValueError, "AN 1.99 is outside 2.0 ... 5.0 and not 25.0"),
    (lambda: mtsim.FrameConfig(npacketll=201), ValueError, "npacketll 201 is above 200"),
    (lambda: mtsim.FrameConfig(iterat=2**32), ValueError, "iterat: 4294967296 is outside"),
    (lambda: mtsim.Simulator(SMALL).run(-2**31 - 1), ValueError, "kst: -2147483649 is outside"),
    (lambda: mtsim.frames(SMALL, [0, 2**31]), ValueError, "seeds: 2147483648 is outside"),
    (lambda: mtsim.frames(SMALL, [0], threads=0), ValueError, "threads: 0 is outside 1 ... 1024"),
    (lambda: mtsim.channel_estimates(5.5), ValueError, "AN 5.5 is outside"),
], ids=lambda v: v if isinstance(v, str) else "")
def test_bad_arguments_are_refused_by_name(call, error, message):
    with pytest.raises(error, match=re.escape(message)):
        call()


# Frames of 520,000 steps (25 ms or more): long enough for the helper
# thread to wake.
@pytest.mark.parametrize("call", [lambda: mtsim.Simulator(mtsim.FrameConfig()).run(0),
                                  lambda: mtsim.frames(mtsim.FrameConfig(), [0, 1], threads=1)],
                         ids=["Simulator.run", "frames"])
def test_other_threads_run_while_frames_run(call):
    woken = threading.Event()
    ran_at = []
    helper = threading.Thread(target=lambda: (woken.wait(), ran_at.append(time.perf_counter())))
    helper.start()
    # Python then switches threads only where one lets go of the GIL: the
    # helper runs before the call ends only if the call released it.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        woken.set()
        call()
        ended = time.perf_counter()
    finally:
        sys.setswitchinterval(interval)
    helper.join()
    assert ran_at[0] < ended


# Several seconds of frames on two threads: without the interrupt they end
# late, and Python raises KeyboardInterrupt only afterwards.
def long_frames():
    mtsim.frames(mtsim.FrameConfig(), range(400), threads=2)


def long_sweep():
    mtsim.sweep(an=3.0, min_errors=10**12, min_frames=400, max_frames=400, threads=2)


@pytest.mark.parametrize("call", [long_frames, long_sweep], ids=["frames", "sweep"])
def test_ctrl_c_raises_keyboard_interrupt_and_leaves_the_module_usable(call):
    sent = []
    timer = threading.Timer(0.5, lambda: (sent.append(time.monotonic()),
                                          os.kill(os.getpid(), signal.SIGINT)))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        call()
    # A tick (0.25 s) and the frames under way (about 25 ms each here).
    assert time.monotonic() - sent[0] < 1.5
    sim = mtsim.Simulator(SMALL)
    assert np.array_equal(mtsim.frames(SMALL, [3, 4]), np.stack([sim.run(3).table, sim.run(4).table]))
