#!/usr/bin/env python3
"""The cost of a run called from Python against the same run through
zarkel-batch writing only its listing (no --json or --svg).

  PYTHONPATH=build/python /usr/bin/python3 bench/python_vs_batch.py [--repeat 3] [--events 10000]

Cases: synthetic DATA files (tools/make_example.py) with the program's
defaults (10 starts), with and without a bootstrap; and a synthetic
catalogue of focal mechanisms (bench/make_catalogue.py, 10 degrees of noise)
run with --mechanisms and examples/mechanisms.PARAMETERS (the module's run
includes mechanisms_from_table on the table's columns). One job. For each,
the best of --repeat runs in wall time and in processor time (user + system:
the child's for zarkel-batch, this process's for the module), the latter
being the steady figure on a shared machine; and the processor time of
to_dict() afterwards (the document is made when first asked for, as
zarkel-batch makes it only with --json). Prints a table for docs/python.md.
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time
import warnings

import zarkel

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def best_of(repeat, run, cpu_clock):
    """(best wall time, best processor time) of `repeat` calls."""
    walls, cpus = [], []
    for _ in range(repeat):
        t, c = time.perf_counter(), cpu_clock()
        run()
        walls.append(time.perf_counter() - t)
        cpus.append(cpu_clock() - c)
    return min(walls), min(cpus)


def quiet(f):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return f()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--batch", default=os.path.join(ROOT, "build", "zarkel-batch"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--events", type=int, default=10000, help="events of the catalogue case (0: none)")
    a = ap.parse_args()
    print("| case | zarkel-batch wall (s) | invert wall (s) | zarkel-batch processor (s) | invert processor (s) "
          "| processor difference | to_dict processor (s) |")
    print("|---|---|---|---|---|---|---|")

    def row(name, cli, py):
        w_cli, c_cli = best_of(a.repeat, lambda: subprocess.run(cli, check=True, stderr=subprocess.DEVNULL),
                               children_cpu)
        w_py, c_py = best_of(a.repeat, py, time.process_time)
        result = py()
        t = time.process_time()
        result.to_dict()
        c_doc = time.process_time() - t
        print(f"| {name} | {w_cli:.3f} | {w_py:.3f} | {c_cli:.3f} | {c_py:.3f} | {100 * (c_py / c_cli - 1):+.1f} % "
              f"| {c_doc:.3f} |", flush=True)

    with tempfile.TemporaryDirectory() as tmp:
        params = os.path.join(tmp, "PARAMETERS")
        with open(params, "w") as f:
            f.write("1 0\n1 80 500 7 0\n")
        for n, b in [(40, 0), (300, 0), (300, 100)]:
            data = os.path.join(tmp, f"DATA{n}")
            with open(data, "w") as f:
                subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_example.py"), "--count", str(n)],
                               stdout=f, check=True)
            cli = [a.batch, params, data, os.path.join(tmp, "OUT"), "--quiet", "--jobs", "1"] + (
                ["--bootstrap", str(b)] if b else [])
            fs, p = zarkel.read_data(data), zarkel.read_parameters(params)
            row(f"N = {n}, bootstrap {b}", cli, lambda: quiet(lambda: zarkel.invert(fs, p, bootstrap=b, jobs=1)))
        if a.events > 0:
            table = os.path.join(tmp, "catalogue.csv")
            subprocess.run([sys.executable, os.path.join(HERE, "make_catalogue.py"), str(a.events), "10", "1", table],
                           stdout=subprocess.DEVNULL, check=True)
            mparams = os.path.join(ROOT, "examples", "mechanisms.PARAMETERS")
            cli = [a.batch, mparams, table, os.path.join(tmp, "OUT"), "--mechanisms", "--quiet", "--jobs", "1"]
            mp = zarkel.read_parameters(mparams)

            import csv
            with open(table, newline="") as f:
                rows = list(csv.DictReader(f))
            cols = {k: [r[k] for r in rows] for k in rows[0]}

            def py():
                c = zarkel.mechanisms_from_table(cols, name=table)
                return quiet(lambda: zarkel.invert(c, mp, jobs=1))

            row(f"catalogue of {a.events} events", cli, py)


if __name__ == "__main__":
    main()
