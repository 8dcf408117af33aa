"""What Python adds to a frame: BM_Frame_Fast (the C++ benchmark) against
mtsim.Simulator.run timed from Python over the same frame (the default
settings, kst 0, one simulator reused), in fresh processes that alternate.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py build/bench/mtsim_bench [ROUNDS]

Each round runs both, the order alternating; prints per round and for all
rounds the medians and the minimums (which other load can only raise) of
the wall time per frame.
"""
import json
import statistics
import subprocess
import sys
import time

REPETITIONS = 10
FRAMES = 40  # per repetition, about what the benchmark runs in its 0.5 s


def python_child():
    import mtsim
    sim = mtsim.Simulator(mtsim.FrameConfig(an=3.0, iterat=8, ndkdd=520000))
    sim.run(0)  # the first frame touches the state's pages, as the benchmark's warm-up
    times = []
    for _ in range(REPETITIONS):
        start = time.perf_counter()
        for _ in range(FRAMES):
            sim.run(0)
        times.append((time.perf_counter() - start) / FRAMES * 1e3)
    print(json.dumps(times))


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    cxx, py = [], []
    def run_cxx():
        out = subprocess.run([bench, "--benchmark_filter=Frame_Fast",
                              f"--benchmark_repetitions={REPETITIONS}", "--benchmark_format=json"],
                             capture_output=True, text=True, check=True).stdout
        return [b["real_time"] for b in json.loads(out)["benchmarks"]
                if b.get("run_type") == "iteration"]

    def run_python():
        return json.loads(subprocess.run([sys.executable, __file__, "--child"], capture_output=True,
                                         text=True, check=True).stdout)

    def summary(name, c, p):
        mc, mp = statistics.median(c), statistics.median(p)
        print(f"{name}: C++ median {mc:.2f} min {min(c):.2f} ms, Python median {mp:.2f} "
              f"min {min(p):.2f} ms; Python/C++ medians {mp / mc:.4f}, minimums "
              f"{min(p) / min(c):.4f}", flush=True)

    for r in range(rounds):
        if r % 2 == 0:
            c, p = run_cxx(), run_python()
        else:
            p, c = run_python(), run_cxx()
        cxx += c
        py += p
        summary(f"round {r + 1}", c, p)
    summary(f"all {rounds} rounds, {len(cxx)} repetitions each", cxx, py)


if __name__ == "__main__":
    python_child() if sys.argv[1:] == ["--child"] else main()
