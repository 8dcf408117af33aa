"""BER against Eb/N0 after every decoder iteration: a sweep, its DataFrame
and a matplotlib plot.  Each "# %%" block is a notebook cell; as a script:

    MPLBACKEND=Agg PYTHONPATH=build/python python3 python/examples/ber_curve.py ber_curve.png
"""
# %%
import math
import sys

import matplotlib.pyplot as plt
import numpy as np

import mtsim

# %% The sweep: mtsweep's engine, settings and stop rule, on every core.
result = mtsim.sweep(an=np.arange(2.0, 3.01, 0.25), stop_ber=1e-6, progress=True)
df = result.to_dataframe()
print(df.pivot(index="ebn0_db", columns="iteration", values="ber").to_string(float_format="%.2e"))

# %% BER per iteration (0 is the decoder input) with its 95% interval,
# uncoded BPSK, and the Eb/N0 where the channel's capacity equals the rate.
fig, ax = plt.subplots(figsize=(8, 5.5))
colors = plt.cm.viridis(np.linspace(0, 0.9, result.settings["iterat"] + 1))
for iteration, curve in df.groupby("iteration"):
    # A log axis has no 0 and no infinity: a lower end of 0 is drawn two
    # decades down, an upper end without bound (one error frame) to BER 1.
    low = curve.ber_low.clip(lower=curve.ber / 100)
    high = curve.ber_high.clip(upper=1.0)
    ax.errorbar(curve.ebn0_db, curve.ber, yerr=[curve.ber - low, high - curve.ber],
                marker="o", markersize=3, capsize=2, color=colors[iteration],
                label="decoder input" if iteration == 0 else f"after iteration {iteration}")
ebn0 = np.linspace(result.capacity_limit["ebn0_db"], df.ebn0_db.max(), 60)
ax.plot(ebn0, [0.5 * math.erfc(math.sqrt(10 ** (x / 10))) for x in ebn0], "k--", label="uncoded BPSK")
ax.axvline(result.capacity_limit["ebn0_db"], color="gray", linestyle=":", label="C16 = 3/4")
ax.set_yscale("log")
ax.set_xlabel("Eb/N0 (dB)")
ax.set_ylabel("bit error rate")
ax.set_title(f"rate-3/4 code, multithreshold decoder, {result.settings['ndkdd']} steps a frame")
ax.grid(True, which="both", alpha=0.3)
ax.legend(fontsize=8, loc="lower left")
fig.tight_layout()
fig.savefig(next((a for a in sys.argv[1:] if a.endswith(".png")), "ber_curve.png"), dpi=110)
