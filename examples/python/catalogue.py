"""A catalogue of focal mechanisms in a pandas table to a stress answer:
the fault plane of each event chosen, the stress inverted on the planes as
given, the answer printed, and the events' P and T axes with the
stress axes drawn on a stereonet (catalogue.png).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/catalogue.py
"""
import os

import matplotlib.pyplot as plt
import numpy as np
import pandas as pd

import zarkel

here = os.path.dirname(os.path.abspath(__file__))
examples = os.path.dirname(here)

# Any table with strike, dip and rake columns (Aki & Richards) will do; the
# bundled one also gives the other plane, checked against the first.
events = pd.read_csv(os.path.join(examples, "mechanisms.csv"))
events["region"] = np.where(events["id"] % 2 == 0, "north", "south")  # other columns are kept

catalogue = zarkel.mechanisms_from_table(events, name="mechanisms.csv")
params = zarkel.read_parameters(os.path.join(examples, "mechanisms.PARAMETERS"))
result = zarkel.invert(catalogue, params)  # the defaults of zarkel-batch --mechanisms

doc = result.to_dict()  # the zarkel-batch --mechanisms --json document
choice = doc["mechanisms"]
print(f"{len(catalogue)} events, regions {sorted(catalogue.table['region'].unique())}")
for (trend, plunge), name in zip(result.axes, ["sigma1", "sigma2", "sigma3"]):
    print(f"  {name}  trend {trend:6.1f}  plunge {plunge:5.1f}")
print(f"  R = {result.R:.2f}   SHmax = {result.shmax:.1f} deg")
print(f"  friction {choice['friction']:.2f}, {choice['engine_runs']} engine runs ({choice['ended']}), "
      f"rms misfit {choice['rms_misfit_deg']:.1f} deg, {choice['undecided']} undecided")

# The plane each event slipped on, by the basis of its choice, and the
# table's own columns beside it.
events["chosen_plane"] = [e["chosen"] for e in choice["events"]]
events["basis"] = [e["basis"] for e in choice["events"]]
print(events.groupby(["region", "basis"]).size().to_string())
# P and T are those of the double couple, whichever plane slipped.
P, T = zarkel.pt_axes(catalogue.strike, catalogue.dip, catalogue.rake)

def lower_hemisphere(v):
    """Equal-area (Schmidt) projection of unit vectors (x east, y north, z up)."""
    v = np.where(v[:, 2:3] > 0, -v, v)
    trend, plunge = np.arctan2(v[:, 0], v[:, 1]), np.arcsin(-v[:, 2])
    r = np.sqrt(2.0) * np.sin((np.pi / 2 - plunge) / 2)
    return r * np.sin(trend), r * np.cos(trend)


def axis_vector(trend, plunge):
    t, p = np.radians(trend), np.radians(plunge)
    return np.array([[np.cos(p) * np.sin(t), np.cos(p) * np.cos(t), -np.sin(p)]])


fig, ax = plt.subplots(figsize=(6, 6))
ax.add_patch(plt.Circle((0, 0), 1, fill=False, color="black"))
ax.plot(*lower_hemisphere(P), "o", ms=4, mfc="none", color="tab:red", label="P axes")
ax.plot(*lower_hemisphere(T), "o", ms=4, mfc="none", color="tab:blue", label="T axes")
for k, (c, m) in enumerate(zip(["tab:red", "tab:green", "tab:blue"], ["s", "^", "D"])):
    ax.plot(*lower_hemisphere(axis_vector(*result.axes[k])), m, ms=11, mec="black", color=c, label=f"sigma {k + 1}")
ax.set_xlim(-1.05, 1.05)
ax.set_ylim(-1.05, 1.05)
ax.set_aspect("equal")
ax.axis("off")
ax.legend(loc="lower left", fontsize=8)
ax.set_title(f"{len(catalogue)} mechanisms: R = {result.R:.2f}, SHmax {result.shmax:.0f} deg")
fig.savefig("catalogue.png", dpi=100)
print("catalogue.png written")
