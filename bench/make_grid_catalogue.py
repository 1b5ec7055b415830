#!/usr/bin/env python3
"""A synthetic gridded catalogue for the grid benchmark: NX x NY cells of
0.2 degrees from (10, 45), in each a random number of events (a quarter of
the cells 5 to 19, the others 20 to 2 x MEAN - 20) at random places in the
cell; the stress of a cell is strike-slip with sigma 1 horizontal toward
20 + 70 u degrees (u from 0 to 1 across the grid from west to east), R 0.5;
faults of random orientation slip along their shear traction turned by
Gaussian noise, one nodal plane given at random (make_catalogue.py). Writes
the table (id, longitude, latitude, strike, dip, rake) and, to TRUTH.csv,
each cell's true SHmax.

  bench/make_grid_catalogue.py NX NY MEAN NOISE_DEG SEED OUT.csv TRUTH.csv
"""
import math
import random
import sys

from make_catalogue import cross, dot, sdr, unit


def main():
    nx, ny, mean, noise, seed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
    out, truth = sys.argv[6], sys.argv[7]
    rng = random.Random(seed)
    k = 0
    with open(out, "w") as f, open(truth, "w") as t:
        f.write("id,longitude,latitude,strike,dip,rake\n")
        t.write("cell,SHmax_deg\n")
        for i in range(nx):
            for j in range(ny):
                shmax = 20.0 + 70.0 * (i / max(nx - 1, 1))
                t.write("c_%d_%d,%.1f\n" % (i, j, shmax))
                a1 = [math.sin(math.radians(shmax)), math.cos(math.radians(shmax)), 0.0]
                a3 = unit(cross(a1, [0.0, 0.0, 1.0]))
                a2 = [0.0, 0.0, 1.0]
                T = [[a1[p] * a1[q] + 0.5 * a2[p] * a2[q] for q in range(3)] for p in range(3)]
                n = rng.randint(5, 19) if rng.random() < 0.25 else rng.randint(20, max(20, 2 * mean - 20))
                for _ in range(n):
                    nr = unit([rng.gauss(0, 1), rng.gauss(0, 1), -abs(rng.gauss(0, 1))])
                    tr = [dot(T[p], nr) for p in range(3)]
                    sn = dot(tr, nr)
                    tau = [tr[p] - sn * nr[p] for p in range(3)]
                    if dot(tau, tau) < 1e-12:
                        continue
                    tau = unit(tau)
                    side = cross(nr, tau)
                    a = math.radians(noise * rng.gauss(0, 1))
                    s = [math.cos(a) * tau[p] + math.sin(a) * side[p] for p in range(3)]
                    if rng.random() < 0.5:
                        nr, s = s, nr
                    k += 1
                    lon = 10.0 + 0.2 * i + 0.2 * rng.uniform(0.001, 0.999)
                    lat = 45.0 + 0.2 * j + 0.2 * rng.uniform(0.001, 0.999)
                    f.write("%d,%.5f,%.5f,%.4f,%.4f,%.4f\n" % ((k, lon, lat) + sdr(nr, s)))


if __name__ == "__main__":
    main()
