"""What the module's tests share: the built programs and the test data."""
import os
import pathlib
import subprocess

import pytest

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"


def run_program(name, args, cwd):
    """Runs the built mtsim or mtsweep (its path from ctest) in `cwd`."""
    if name not in os.environ:
        pytest.fail(f"{name} is not set: run the tests with ctest, or set it to the built program")
    done = subprocess.run([os.environ[name], *args], cwd=cwd, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture
def mtsim_report(tmp_path):
    """mtsim's console report for a parameter file."""
    def report(parameters):
        (tmp_path / "vu34z2d.c").write_text(parameters + "\n")
        return run_program("MTSIM_BINARY", [], tmp_path)
    return report
