#!/usr/bin/env python3
"""The cost of a run called from Python against the same run through
zarkel-batch writing only its listing (no --json or --svg).

  PYTHONPATH=build/python /usr/bin/python3 bench/python_vs_batch.py [--repeat 5]

Each case: a synthetic DATA file (tools/make_example.py) with the given
number of data, the same PARAMETERS, the program's defaults (10 starts) and
a bootstrap; best of --repeat wall times, one job. Prints a table for the
README's performance page.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import zarkel

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def best_of(repeat, run):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        run()
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--batch", default=os.path.join(ROOT, "build", "zarkel-batch"))
    ap.add_argument("--repeat", type=int, default=5)
    a = ap.parse_args()
    cases = [(40, 0), (300, 0), (300, 100)]
    print("| N | bootstrap | zarkel-batch (s) | zarkel.invert (s) | difference |")
    print("|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        params = os.path.join(tmp, "PARAMETERS")
        with open(params, "w") as f:
            f.write("1 0\n1 80 500 7 0\n")
        for n, b in cases:
            data = os.path.join(tmp, f"DATA{n}")
            with open(data, "w") as f:
                subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_example.py"), "--count", str(n)],
                               stdout=f, check=True)
            cli = [a.batch, params, data, os.path.join(tmp, "OUT"), "--quiet", "--jobs", "1"] + (["--bootstrap", str(b)] if b else [])
            t_cli = best_of(a.repeat, lambda: subprocess.run(cli, check=True, stderr=subprocess.DEVNULL))
            fs, p = zarkel.read_data(data), zarkel.read_parameters(params)

            def py():
                import warnings
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    zarkel.invert(fs, p, bootstrap=b, jobs=1).to_dict()

            t_py = best_of(a.repeat, py)
            print(f"| {n} | {b} | {t_cli:.3f} | {t_py:.3f} | {100 * (t_py / t_cli - 1):+.1f} % |")


if __name__ == "__main__":
    main()
