"""Quick start: the bundled DATA inverted with a bootstrap, the answer
printed, and the axes with their bootstrap replicates drawn on a stereonet
(stereonet.png).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/quickstart.py
"""
import os

import matplotlib
import matplotlib.pyplot as plt
import numpy as np

import zarkel

here = os.path.dirname(os.path.abspath(__file__))
examples = os.path.dirname(here)

data = zarkel.read_data(os.path.join(examples, "DATA"))
params = zarkel.read_parameters(os.path.join(examples, "PARAMETERS"))
result = zarkel.invert(data, params, bootstrap=200, seed=1)

doc = result.to_dict()  # the zarkel-batch --json document (docs/result.schema.json)
print(f"{data.title}: N = {doc['N']}")
for (trend, plunge), name in zip(result.axes, ["sigma1", "sigma2", "sigma3"]):
    print(f"  {name}  trend {trend:6.1f}  plunge {plunge:5.1f}")
print(f"  R = {result.R:.2f}   SHmax = {result.shmax:.1f} deg   quality {doc['bootstrap']['quality']}")
print(f"  R {100 * doc['bootstrap']['confidence']:.0f}% interval {doc['bootstrap']['R']['low']:.2f} to "
      f"{doc['bootstrap']['R']['high']:.2f}")


def lower_hemisphere(trend, plunge):
    """Equal-area (Schmidt) projection of lines given by trend and plunge (degrees)."""
    t, p = np.radians(trend), np.radians(plunge)
    r = np.sqrt(2.0) * np.sin((np.pi / 2 - p) / 2)
    return r * np.sin(t), r * np.cos(t)


def trend_plunge(v):
    """Trend and plunge (degrees) of unit vectors (x east, y north, z up), pointing down."""
    v = np.where(v[:, 2:3] > 0, -v, v)
    return np.degrees(np.arctan2(v[:, 0], v[:, 1])) % 360, np.degrees(np.arcsin(-v[:, 2]))


fig, ax = plt.subplots(figsize=(6, 6))
ax.add_patch(plt.Circle((0, 0), 1, fill=False, color="black"))
# the fault planes' poles, grey
x, y = lower_hemisphere(*trend_plunge(data.normals))
ax.plot(x, y, ".", color="0.6", label="poles of the planes")
colours = ["tab:red", "tab:green", "tab:blue"]
for k in range(3):
    axes = np.array([[s["axes"][k]["trend_deg"], s["axes"][k]["plunge_deg"]]
                     for s in doc["bootstrap"]["samples"] if s.get("ok", True)])
    x, y = lower_hemisphere(axes[:, 0], axes[:, 1])
    ax.plot(x, y, ".", ms=2, color=colours[k], alpha=0.4)
    x, y = lower_hemisphere(*result.axes[k])
    ax.plot(x, y, "o", ms=10, mec="black", color=colours[k], label=f"sigma {k + 1}")
ax.set_xlim(-1.05, 1.05)
ax.set_ylim(-1.05, 1.05)
ax.set_aspect("equal")
ax.axis("off")
ax.text(0, 1.02, "N", ha="center", va="bottom")
ax.legend(loc="lower left", fontsize="small")
ax.set_title(f"R = {result.R:.2f}, SHmax {result.shmax:.0f} deg (lower hemisphere, equal area)")
fig.savefig("stereonet.png", dpi=100)
print("wrote stereonet.png")
