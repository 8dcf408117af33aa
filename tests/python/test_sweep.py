"""Sweeps from Python against mtsweep: the same files and numbers, the
same refusals, and progress."""
import json
import math
import re

import numpy as np
import pytest

import mtsim
from conftest import DATA, run_program

# A point that completes in the middle of a round, one that runs to
# max_frames, and one left out by stop_ber.
SETTINGS = dict(ndkdd=20000, min_errors=40, min_frames=3, max_frames=60, stop_ber=1e-5)


def without_times(document):
    d = json.loads(document)
    del d["run"]
    for p in d["points"]:
        del p["timing"]
    return d


def test_sweep_writes_what_mtsweep_writes(tmp_path):
    run_program("MTSWEEP_BINARY", ["--an", "3.0,2.5,2.75", "--ndkdd", "20000", "--min-errors", "40",
                                   "--min-frames", "3", "--max-frames", "60", "--stop-ber", "1e-5",
                                   "--threads", "2", "--quiet", "--csv", "a.csv", "--json", "a.json",
                                   "--plot", "a.svg"], tmp_path)
    result = mtsim.sweep(an=[3.0, 2.5, 2.75], threads=1, **SETTINGS)
    assert result.to_csv(tmp_path / "b.csv") == (tmp_path / "a.csv").read_text()
    assert (tmp_path / "b.csv").read_text() == (tmp_path / "a.csv").read_text()
    assert result.plot() == (tmp_path / "a.svg").read_text()
    assert without_times(result.to_json()) == without_times((tmp_path / "a.json").read_text())
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.csv", "a.json", "a.svg", "b.csv"]
    assert [p.an_db for p in result.points] == [2.5, 2.75] and result.skipped_an_db == [3.0]

    # The rows hold the numbers that the CSV rounds, and the points the same.
    rows = result.rows()
    assert list(rows[0]) == ("an_db,ebn0_db,iteration,frames,bits,errors,ber,ber_low,ber_high,"
                             "error_frames").split(",")
    for row in rows:
        point = result.points[0 if row["an_db"] == 2.5 else 1]
        i = row["iteration"]
        assert row["ber"] == row["errors"] / row["bits"] == point.ber[i]
        assert (row["frames"], row["bits"], row["ber_low"], row["ber_high"], row["error_frames"]) == (
            point.frames, point.bits[i], point.ber_low[i], point.ber_high[i], point.error_frames[i])
        assert row["ebn0_db"] == pytest.approx(row["an_db"] + 10 * math.log10(4 / 3), abs=1e-12)

    # A point's frames are those of mtsim.frames with the seeds 0 ... K - 1.
    point = json.loads(result.to_json())["points"][0]
    config = mtsim.FrameConfig(an=2.5, ndkdd=20000)
    assert mtsim.frames(config, range(point["frames"])).sum(axis=0).tolist() == point["counts"]["table"]


def test_dataframe_has_the_rows():
    pandas = pytest.importorskip("pandas")
    result = mtsim.sweep(an=2.5, **SETTINGS)
    frame = result.to_dataframe()
    assert isinstance(frame, pandas.DataFrame)
    assert frame.to_dict("records") == result.rows()


def mtsweep_refusals():
    """The command lines that mtsweep refuses (tests/data) that are plain
    settings, as keywords, with mtsweep's message in the keywords' names."""
    for line in (DATA / "sweep_bad_inputs.txt").read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        arguments, message = line.split(" | ")
        words = arguments.split()
        keywords = {}
        for option, value in zip(words[::2], words[1::2]):
            name = option[2:].replace("-", "_")
            try:
                keywords[name] = float(value) if name in ("an", "stop_ber") else int(value)
            except ValueError:
                break
        else:
            if len(words) % 2 == 0 and "an" in keywords and set(keywords) <= set(SETTINGS) | {
                    "an", "iterat", "npacketll", "infind", "seed", "threads"}:
                yield pytest.param(keywords, re.sub(r"--([a-z-]+)", lambda m: m[1].replace("-", "_"),
                                                    message), id=arguments)


@pytest.mark.parametrize("keywords, message", list(mtsweep_refusals()))
def test_settings_are_refused_as_mtsweep_refuses_them(keywords, message):
    with pytest.raises(ValueError, match="^" + re.escape(message)):
        mtsim.sweep(**keywords)


@pytest.mark.parametrize("keywords, error, message", [
    (dict(an=[]), ValueError, "an: no value"),
    (dict(an=[3.0, math.nan]), ValueError, "an: nan is not a number"),
    (dict(an="3.0"), TypeError, "an: a sequence of numbers, not str"),
    (dict(an=3.0, ndkdd=20000.0), TypeError, "ndkdd: an integer, not float"),
    (dict(an=3.0, min_errors=2**63), TypeError, "min_errors: an integer, not int"),
    (dict(an=3.0, stop_ber="low"), TypeError, "stop_ber: a number or None, not str"),
    (dict(an=3.0, progress="yes"), TypeError, "progress: True, False, None or a callable"),
], ids=lambda v: v if isinstance(v, str) else "")
def test_wrong_types_are_refused_by_name(keywords, error, message):
    with pytest.raises(error, match=re.escape(message)):
        mtsim.sweep(**keywords)


def test_progress_reports_rounds_and_points_and_can_stop_the_sweep(capsys):
    seen = []
    result = mtsim.sweep(an=[2.5, 2.75], progress=seen.append, **SETTINGS)
    finished = [(p.point, p.points, p.an_db, p.frames) for p in seen if p.finished]
    assert finished == [(0, 2, 2.5, result.points[0].frames), (1, 2, 2.75, result.points[1].frames)]
    assert seen.index(next(p for p in seen if p.finished)) > 0  # rounds came before

    mtsim.sweep(an=[2.5, 2.75], progress=True, **SETTINGS)
    assert "AN 2.75 dB" in capsys.readouterr().err  # in a line per point, or beside tqdm's bar

    def stop(p):
        raise RuntimeError("enough")
    with pytest.raises(RuntimeError, match="enough"):
        mtsim.sweep(an=2.5, progress=stop, **SETTINGS)


def test_plot_refuses_an_iteration_past_the_last():
    result = mtsim.sweep(an=2.5, **SETTINGS)  # iterat 8
    with pytest.raises(ValueError, match=re.escape("iterations: 9 is outside 1 ... 8")):
        result.plot(iterations=[1, 9])
