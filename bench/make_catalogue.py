#!/usr/bin/env python3
"""A synthetic catalogue of focal mechanisms of known stress, for the
benchmarks: N faults of random orientation slipping along the resolved shear
stress of the true tensor, the slip turned in its plane by Gaussian noise,
one nodal plane given at random. Writes the table (id, strike, dip, rake)
and prints the truth: sigma 1, 2, 3 as trend/plunge and R.

  bench/make_catalogue.py N NOISE_DEG SEED OUT.csv
"""
import math
import random
import sys


def unit(v):
    n = math.sqrt(sum(x * x for x in v))
    return [x / n for x in v]


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def sdr(n, s):
    """Strike, dip, rake (Aki & Richards; x east, y north, z up) of a
    downward normal n and the hanging wall's slip s."""
    if n[2] > 0:
        n, s = [-x for x in n], [-x for x in s]
    dip = math.degrees(math.acos(max(-1.0, min(1.0, -n[2]))))
    strike = math.degrees(math.atan2(n[1], -n[0])) % 360.0
    f, d = math.radians(strike), math.radians(dip)
    along = [math.sin(f), math.cos(f), 0.0]
    up = [-math.cos(d) * math.cos(f), math.cos(d) * math.sin(f), math.sin(d)]
    return strike, dip, math.degrees(math.atan2(dot(s, up), dot(s, along)))


def attitude(v):
    if v[2] > 0:
        v = [-x for x in v]
    return math.degrees(math.atan2(v[0], v[1])) % 360.0, math.degrees(math.asin(-v[2]))


def main():
    n, noise, seed, out = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    rng = random.Random(seed)
    # An oblique strike-slip regime: sigma 1 trending 30, sigma 3 120, R 0.4.
    a1 = unit([math.sin(math.radians(30)) * math.cos(math.radians(10)),
               math.cos(math.radians(30)) * math.cos(math.radians(10)), -math.sin(math.radians(10))])
    a3 = unit(cross(a1, [0.0, 0.0, 1.0]))
    a2 = cross(a3, a1)
    R = 0.4
    T = [[a1[i] * a1[j] + R * a2[i] * a2[j] for j in range(3)] for i in range(3)]
    with open(out, "w") as f:
        f.write("id,strike,dip,rake\n")
        for k in range(n):
            nr = unit([rng.gauss(0, 1), rng.gauss(0, 1), -abs(rng.gauss(0, 1))])
            t = [dot(T[i], nr) for i in range(3)]
            sn = dot(t, nr)
            tau = [t[i] - sn * nr[i] for i in range(3)]
            if dot(tau, tau) < 1e-12:
                continue
            tau = unit(tau)
            side = cross(nr, tau)
            a = math.radians(noise * rng.gauss(0, 1))
            s = [math.cos(a) * tau[i] + math.sin(a) * side[i] for i in range(3)]
            if rng.random() < 0.5:
                nr, s = s, nr  # the auxiliary plane given
            f.write("%d,%.4f,%.4f,%.4f\n" % ((k + 1,) + sdr(nr, s)))
    print("truth sigma1 %.1f/%.1f sigma2 %.1f/%.1f sigma3 %.1f/%.1f R %.2f"
          % (attitude(a1) + attitude(a2) + attitude(a3) + (R,)))


if __name__ == "__main__":
    main()
