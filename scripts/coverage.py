#!/usr/bin/env python3
"""How often mtsweep's 95% interval holds the true BER.

For each regime below, replicate sweeps of one point run on disjoint seeds
(replicate r + 1 starts at the seed after the last frame of replicate r),
each through mtsweep's engine (mtsim.sweep), and the truth is the BER of a
large separate block of frames at the top of the seed space (mtsim.frames).
A replicate covers when ber_low <= truth <= ber_high; the coverage is
reported for every iteration, with the misses below and above the truth and
the median width of the upper side (ber_high / truth).  Beside it, the
symmetric t interval that mtsweep used before (mean -+ t(K - 1) s / sqrt(K)
on the per-frame counts), recomputed from the same sums.  Replicates
without any error are counted apart: how often their upper bound lies above
the truth.

    PYTHONPATH=build/python /usr/bin/python3 scripts/coverage.py [--quick] [--replicates N]

Prints a Markdown table; --quick runs a few replicates of one regime, to
show the script works (CI runs it).

    PYTHONPATH=build/python /usr/bin/python3 scripts/coverage.py --dependence 2097152

measures instead how far the frames of consecutive seeds are from
independent, which an interval computed from one run's frames cannot see.
"""
import argparse
import json
import math
import os
import sys
import time

import numpy as np

import mtsim

# The channel's noise seed is kst modulo 2^21: the truth takes the seeds at
# the top of that space, the replicates those from 0 up, so they never share
# a frame.
SEED_SPACE = 1 << 21


class Regime:
    def __init__(self, name, an, ndkdd, min_errors, min_frames, max_frames, truth_frames,
                 required=True, min_error_frames=0):
        self.name, self.an, self.ndkdd = name, an, ndkdd
        self.rule = dict(min_errors=min_errors, min_frames=min_frames, max_frames=max_frames,
                         min_error_frames=min_error_frames)
        self.truth_frames, self.required = truth_frames, required


ITERAT = 8
NEVER = 10**15  # min_errors that only max_frames ends
REGIMES = [
    Regime("10 frames, high BER, short frames (AN 2.4, ndkdd 20,000)", 2.4, 20000, NEVER, 10, 10, 100000),
    Regime("20 frames, high BER, short frames (AN 2.4, ndkdd 20,000)", 2.4, 20000, NEVER, 20, 20, 100000),
    Regime("10 frames, high BER, full frames (AN 2.4, ndkdd 520,000)", 2.4, 520000, NEVER, 10, 10, 12000),
    Regime("20 frames, high BER, full frames (AN 2.4, ndkdd 520,000)", 2.4, 520000, NEVER, 20, 20, 12000),
    Regime("default stop, mid BER, full frames (AN 2.8)", 2.8, 520000, 100, 10, 1000, 15000),
    Regime("default stop, mid BER, short frames (AN 2.8, ndkdd 20,000)", 2.8, 20000, 100, 10, 1000, 600000),
    Regime("default stop, large rare bursts, short frames (AN 2.6, ndkdd 20,000)", 2.6, 20000, 100, 10, 1000, 300000),
    Regime("low BER, a handful of error frames: 20 errors (AN 3.0, ndkdd 20,000)", 3.0, 20000, 20, 10, 5000, 1000000),
    Regime("no errors expected: 10 frames at low BER (AN 3.0, ndkdd 20,000)", 3.0, 20000, NEVER, 10, 10, 1000000),
    Regime("stress, no target: 10 frames, mid BER, short (AN 2.7, ndkdd 20,000)", 2.7, 20000, NEVER, 10, 10, 300000, required=False),
    Regime("stress, no target: 10 frames, mid BER, full (AN 2.8)", 2.8, 520000, NEVER, 10, 10, 15000, required=False),
    Regime("as 7, with --min-error-frames 10 (AN 2.6, ndkdd 20,000)", 2.6, 20000, 100, 10, 1000, 300000,
           min_error_frames=10),
]


def t95(df):
    """Student's two-sided 95% quantile for whole df, for the old interval:
    bisection on P(|T| < t) by its finite series (Abramowitz and Stegun
    26.7.3 and 26.7.4)."""
    def central(t):
        theta = math.atan(t / math.sqrt(df))
        c2, s = math.cos(theta) ** 2, math.sin(theta)
        total = 0.0
        if df % 2 == 1:
            term = math.cos(theta)
            for k in range(1, (df - 1) // 2 + 1):
                total += term
                term *= c2 * 2 * k / (2 * k + 1)
            return 2 / math.pi * (theta + s * total)
        term = 1.0
        for k in range(1, df // 2 + 1):
            total += term
            term *= c2 * (2 * k - 1) / (2 * k)
        return s * total

    if df > 1000:
        return 1.959963984540054 + 2.4 / df
    lo, hi = 0.0, 64.0
    for _ in range(80):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if central(mid) < 0.95 else (lo, mid)
    return (lo + hi) / 2


def frame_blocks(config, first, end, threads):
    """mtsim.frames of the seeds first ... end - 1, in blocks of 100,000."""
    for start in range(first, end, 100000):
        yield mtsim.frames(config, range(start, min(start + 100000, end)), threads=threads)


TRUTHS = {}  # regimes of one frame setting share their truth


def truth_of(regime, threads):
    key = (regime.an, regime.ndkdd, regime.truth_frames)
    if key not in TRUTHS:
        TRUTHS[key] = measure_truth(regime, threads)
    return TRUTHS[key]


def measure_truth(regime, threads):
    """The errors of the truth's frames, summed, for each iteration (the
    input first), and the first of their seeds."""
    config = mtsim.FrameConfig(an=regime.an, iterat=ITERAT, ndkdd=regime.ndkdd)
    first = SEED_SPACE - regime.truth_frames
    sums = np.zeros(ITERAT + 3)
    for rows in frame_blocks(config, first, SEED_SPACE, threads):
        sums += rows.sum(axis=0)
    return np.array([sums[1]] + list(sums[3:3 + ITERAT])), first


def truth_ber(errors, frames, point):
    """The truth's BER for each iteration: its errors over the bits judged in
    `frames` frames, as a replicate `point` of the same setting judges them."""
    bits = np.array([r["bits_per_frame"] for r in point["iterations"]])
    return errors / bits / frames


def replicates(regime, count, first, limit, threads):
    """The replicate points, as mtsweep's JSON has them, from seed `first`
    until `count` or the seeds run into `limit`."""
    points, seed = [], first
    while len(points) < count and seed + regime.rule["max_frames"] <= limit:
        result = mtsim.sweep(an=regime.an, ndkdd=regime.ndkdd, iterat=ITERAT, seed=seed,
                             threads=threads, **regime.rule)
        point = json.loads(result.to_json())["points"][0]
        points.append(point)
        seed += point["frames"]
    return points


def old_interval(count, errors, errors_sq, bits_per_frame, t_cache):
    if errors == 0:
        return 0.0, -math.log(0.05) / (count * bits_per_frame)
    if count not in t_cache:
        t_cache[count] = t95(count - 1)
    var = max(0.0, (errors_sq - errors * errors / count) / (count - 1))
    half = t_cache[count] * math.sqrt(var / count) / bits_per_frame
    ber = errors / (count * bits_per_frame)
    return max(0.0, ber - half), ber + half


def evaluate(points, truth):
    t_cache = {}
    rows = []
    for it in range(ITERAT + 1):
        entry = 1 if it == 0 else 2 + it
        cover = below = above = zero = zero_above = old_cover = 0
        widths = []
        for p in points:
            r = p["iterations"][it]
            high = math.inf if r["ber_high"] is None else r["ber_high"]
            if r["errors"] == 0:
                zero += 1
                zero_above += high >= truth[it]
                continue
            if r["ber_low"] <= truth[it] <= high:
                cover += 1
            elif truth[it] < r["ber_low"]:
                below += 1
            else:
                above += 1
            widths.append(high / truth[it])
            lo, hi = old_interval(p["frames"], p["counts"]["table"][entry],
                                  p["counts"]["table_sq"][entry], r["bits_per_frame"], t_cache)
            old_cover += lo <= truth[it] <= hi
        n = len(points) - zero
        rows.append(dict(iteration=it, n=n, coverage=cover / n if n else math.nan, below=below,
                         above=above, width=float(np.median(widths)) if widths else math.nan,
                         old=old_cover / n if n else math.nan, zero=zero, zero_above=zero_above))
    return rows


def dependence(an, ndkdd, count, threads):
    """How far frames of consecutive seeds are from independent: for blocks
    of b consecutive frames, the variance of the block sums over b times the
    variance of one frame (1 for independent frames), and the coverage that
    a 95% interval assuming independence then has.  The control is the same
    frames in 20 shuffled orders: its mean and spread show the ratio's noise
    where frames are independent."""
    config = mtsim.FrameConfig(an=an, iterat=ITERAT, ndkdd=ndkdd)
    counts = np.concatenate([rows[:, [1, 2 + ITERAT]].astype(np.float64)
                             for rows in frame_blocks(config, 0, count, threads)])
    shuffle = np.random.default_rng(0)
    controls = [counts[shuffle.permutation(len(counts))] for _ in range(20)]
    print(f"mtsim {mtsim.__version__}, AN {an}, ndkdd {ndkdd}, seeds 0 ... {count - 1}, iterat {ITERAT}\n")
    print("| frames in a block | blocks | input: variance ratio (shuffled) | coverage of a 95% interval | "
          f"after iteration {ITERAT}: variance ratio (shuffled) | coverage |")
    print("|---|---|---|---|---|---|")
    for b in (16, 64, 256, 1024, 4096, 16384):
        blocks = len(counts) // b
        if blocks < 32:
            break

        def ratio(x):
            sums = x[:blocks * b].reshape(blocks, b).sum(axis=1)
            return sums.var(ddof=1) / (b * x.var(ddof=1))

        cells = []
        for column in (0, 1):
            r = ratio(counts[:, column])
            control = [ratio(c[:, column]) for c in controls]
            held = math.erf(1.959963984540054 / math.sqrt(2 * r))
            cells += [f"{r:.3f} ({np.mean(control):.3f} ± {np.std(control):.3f})", f"{100 * held:.1f}%"]
        print(f"| {b} | {blocks} | " + " | ".join(cells) + " |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--replicates", type=int, default=1000)
    parser.add_argument("--threads", type=int, default=len(os.sched_getaffinity(0)))
    parser.add_argument("--quick", action="store_true", help="a few replicates of one regime")
    parser.add_argument("--only", type=int, action="append", help="regime numbers to run (1 ...)")
    parser.add_argument("--first-seed", type=int, default=0,
                        help="the first replicate's first seed: another start gives another, independent set")
    parser.add_argument("--dependence", type=int, metavar="SEEDS",
                        help="instead: how dependent the frames of consecutive seeds are, over seeds 0 ... SEEDS - 1 "
                             "at AN 2.8, ndkdd 20,000")
    args = parser.parse_args()
    if args.dependence:
        dependence(2.8, 20000, args.dependence, args.threads)
        return
    regimes = list(enumerate(REGIMES, 1))
    if args.quick:
        regimes = [(1, Regime(REGIMES[0].name, 2.4, 20000, NEVER, 10, 10, 2000))]
        args.replicates = 20
    elif args.only:
        regimes = [(i, r) for i, r in regimes if i in args.only]

    print(f"mtsim {mtsim.__version__}, {args.replicates} replicates a regime from seed {args.first_seed}, "
          f"iterat {ITERAT}\n")
    print("| # | regime | replicates | K | error frames after the last iteration | coverage after the last iteration (misses below/above) | lowest coverage, at iteration | median ber_high / truth, last iteration | old t interval, last / lowest |")
    print("|---|---|---|---|---|---|---|---|---|")
    for number, regime in regimes:
        started = time.time()
        errors, truth_first = truth_of(regime, args.threads)
        points = replicates(regime, args.replicates, args.first_seed, truth_first, args.threads)
        truth = truth_ber(errors, regime.truth_frames, points[0])
        rows = evaluate(points, truth)
        last = rows[-1]
        with_errors = [r for r in rows if r["n"] > 0]
        lowest = min(with_errors, key=lambda r: r["coverage"])
        frames = [p["frames"] for p in points]
        efs = [p["iterations"][-1]["error_frames"] for p in points]
        if last["n"] > 0:
            cover = f"{100 * last['coverage']:.1f}% ({last['below']}/{last['above']})"
            old = f"{100 * last['old']:.1f}% / {100 * min(r['old'] for r in with_errors):.1f}%"
            width = f"{last['width']:.2f}"
        else:
            cover, old, width = "(no errors)", "", ""
        if last["zero"]:
            cover += f"; {last['zero']} without errors, upper bound above the truth in {100 * last['zero_above'] / last['zero']:.1f}%"
        print(f"| {number} | {regime.name}{'' if regime.required else ' *'} | {len(points)} | "
              f"{min(frames)} ... {max(frames)} | median {int(np.median(efs))} | {cover} | "
              f"{100 * lowest['coverage']:.1f}% at {lowest['iteration']} | {width} | {old} |")
        sys.stdout.flush()
        print(f"regime {number}: truth after the last iteration {truth[-1]:.4e} from "
              f"{regime.truth_frames} frames; per iteration: " +
              ", ".join(f"{r['iteration']}: {100 * r['coverage']:.1f}% ({r['below']}/{r['above']})"
                        for r in rows if r["n"]) +
              f"; mean K {np.mean(frames):.1f} ({time.time() - started:.0f} s)", file=sys.stderr)


if __name__ == "__main__":
    main()
