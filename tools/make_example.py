#!/usr/bin/env python3
"""Make a synthetic but realistic DATA file from a chosen stress tensor.

Each fault plane gets the slip direction that the tensor's shear stress
predicts, turned within the plane by a random error (a few degrees, and a few
clear outliers), and is written in the fixed columns the program reads, with
the striation given by its pitch. The pitch, its quadrant and the sense letter
are found by trying every combination through the same conversion the program
uses, so the file says exactly what was meant.

  tools/make_example.py > examples/DATA

Options choose another tensor and data set (the defaults make the bundled
example), for example a thrust regime:

  tools/make_example.py --sigma1 75/0 --sigma3 0/90 --ratio 0.5 --count 50 --seed 3
"""
import argparse
import math
import random

RAD = math.pi / 180.0


def h(a):
    return (math.sin(a * RAD), math.cos(a * RAD), 0.0)


def convert(DIR, PEND, QPEND, PITCH, QPITCH, SENS):
    """Unit normal and slip vector of one record, pitch form."""
    DIR %= 180
    if PEND == 90:
        QPEND = 'N'
    if DIR <= 90:
        AZN, s = ((DIR + 270, -1) if QPEND in 'SE' else (DIR + 90, 1))
    else:
        AZN, s = ((DIR - 90, -1) if QPEND in 'SW' else (DIR + 90, 1))
    d = PEND * RAD
    hn = h(AZN)
    FN = (math.sin(d) * hn[0], math.sin(d) * hn[1], -math.cos(d))
    if (DIR <= 90 and QPITCH in 'NE') or (DIR > 90 and QPITCH in 'SE'):
        D0 = DIR
    else:
        D0, s = DIR + 180, -s
    P = PITCH * RAD
    a, b = h(D0), h(D0 - 90)
    STR0 = tuple(math.cos(P) * a[i] + math.sin(P) * (s * math.cos(d) * b[i]) for i in range(2)) + (
        -math.sin(d) * math.sin(P),)
    flip = SENS == 'I' or (SENS == 'S' and s == 1) or (SENS == 'D' and s == -1)
    STR = tuple(-c for c in STR0) if flip else STR0
    return FN, STR


def axis(az, pl):
    a, p = az * RAD, pl * RAD
    return (math.cos(p) * math.sin(a), math.cos(p) * math.cos(a), -math.sin(p))


def dot(u, v):
    return sum(x * y for x, y in zip(u, v))


def cross(u, v):
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def unit(u):
    n = math.sqrt(dot(u, u))
    return tuple(x / n for x in u)


def attitude(text):
    trend, plunge = text.split("/")
    return float(trend), float(plunge)


def main():
    ap = argparse.ArgumentParser(description="Synthetic DATA file from a chosen stress tensor.")
    # The default: a normal-faulting regime with some strike-slip component,
    # sigma 1 steep, sigma 3 horizontal toward N125, R = 0.35.
    ap.add_argument("--sigma1", type=attitude, default=(215.0, 72.0), help="TREND/PLUNGE of sigma 1, degrees")
    ap.add_argument("--sigma3", type=attitude, default=(125.0, 0.0),
                    help="TREND/PLUNGE of sigma 3 (made normal to sigma 1)")
    ap.add_argument("--ratio", type=float, default=0.35, help="R = (s2 - s3) / (s1 - s3)")
    ap.add_argument("--count", type=int, default=40, help="number of faults (1 to 300)")
    ap.add_argument("--noise", type=float, default=7.0, help="standard deviation of the slip error, degrees")
    ap.add_argument("--seed", type=int, default=20241206)
    ap.add_argument("--title", default="STATION 12 - GRABEN DE LA VALLEE HAUTE, CALCAIRES JURASSIQUES (SYNTHETIQUE)")
    args = ap.parse_args()
    if not 1 <= args.count <= 300:
        ap.error("--count must be 1 to 300")
    rnd = random.Random(args.seed)
    e1 = unit(axis(*args.sigma1))
    e3 = unit(axis(*args.sigma3))
    e3 = unit(tuple(e3[i] - dot(e3, e1) * e1[i] for i in range(3)))
    e2 = cross(e3, e1)
    R = args.ratio
    vp = ((2 - R) / 3, (2 * R - 1) / 3, -(1 + R) / 3)
    T = [[sum(vp[k] * (e1, e2, e3)[k][i] * (e1, e2, e3)[k][j] for k in range(3)) for j in range(3)] for i in range(3)]
    print(args.title.ljust(80)[:80].rstrip())
    labels = ["CAR", "RTE", "CRT", "FLC", "BRD"]
    num = 0
    while num < args.count:
        DIR = rnd.randrange(0, 180)
        PEND = rnd.randrange(35, 86)
        # dip direction: either side of the strike line, named by its nearest
        # cardinal point as a geologist writes it
        dipaz = (DIR + 90 + 180 * rnd.randrange(2)) % 360
        QPEND = "NESW"[int(((dipaz + 45) % 360) // 90)]
        FN, _ = convert(DIR, PEND, QPEND, 0, 'N', 'N')
        t = [sum(T[i][j] * FN[j] for j in range(3)) for i in range(3)]
        sn = dot(t, FN)
        tau = [t[i] - sn * FN[i] for i in range(3)]
        if math.sqrt(dot(tau, tau)) < 0.15:
            continue  # poorly constrained plane: a geologist would not use it
        tau = unit(tau)
        err = rnd.gauss(0.0, args.noise) if num % 9 != 8 else rnd.choice([-1, 1]) * rnd.uniform(35, 70)
        w = cross(FN, tau)
        c, s = math.cos(err * RAD), math.sin(err * RAD)
        target = unit(tuple(c * tau[i] + s * w[i] for i in range(3)))
        best = None
        for PITCH in range(0, 91):
            # the strike end the pitch is measured from, named by its nearest
            # cardinal point among the letters that select it
            d = DIR % 180
            ends = (("N" if d < 45 else "E"), ("S" if d < 45 else "W")) if d <= 90 else \
                   (("E" if d < 135 else "S"), ("W" if d < 135 else "N"))
            for QPITCH in ends:
                for SENS in ("NI" if PITCH >= 45 else "DS"):
                    _, STR = convert(DIR, PEND, QPEND, PITCH, QPITCH, SENS)
                    d = dot(STR, target)
                    if best is None or d > best[0] + 1e-12:
                        best = (d, PITCH, QPITCH, SENS)
        _, PITCH, QPITCH, SENS = best
        num += 1
        rec = [" "] * 76
        def put(col, text):
            for k, ch in enumerate(text):
                rec[col - 1 + k] = ch
        put(3, f"{DIR:3d}")
        put(10, f"{PEND:2d}")
        put(17, QPEND)
        put(21, f"{PITCH:2d}")
        put(26, QPITCH)
        put(35, SENS)
        put(70, f"{num:3d}")
        put(74, labels[num % len(labels)])
        print("".join(rec).rstrip())
    print("  999")


if __name__ == "__main__":
    main()
