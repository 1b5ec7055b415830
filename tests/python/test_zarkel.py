"""The module against the programs: same documents, same refusals, and the
behaviour a Python caller relies on (threads, cancellation, array layouts)."""

import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings

import numpy as np

import zarkel

SOURCE = os.environ["ZARKEL_SOURCE_DIR"]
BATCH = os.environ["ZARKEL_BATCH_BINARY"]
IMPORT = os.environ["ZARKEL_IMPORT_BINARY"]
EXAMPLES = os.path.join(SOURCE, "examples")


def example(*parts):
    return os.path.join(EXAMPLES, *parts)


def batch(params, data, *args, cwd):
    """zarkel-batch in `cwd`: (exit status, stderr, document or None, listing, svg)."""
    p = subprocess.run([BATCH, params, data, "OUT", "--json", "r.json", "--svg", "f.svg", "--quiet", *args],
                       cwd=cwd, capture_output=True, text=True)
    def read(name):
        path = os.path.join(cwd, name)
        if not os.path.exists(path):
            return None
        with open(path) as f:
            return f.read()

    doc = read("r.json")
    return p.returncode, p.stderr, json.loads(doc) if doc else None, read("OUT"), read("f.svg")


def without_files(doc):
    doc = dict(doc)
    doc.pop("files")
    return doc


def quiet_invert(*args, **kw):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", zarkel.ZarkelWarning)
        return zarkel.invert(*args, **kw)


class SameAsTheProgram(unittest.TestCase):
    # (name, PARAMETERS, DATA, zarkel-batch options, invert keywords)
    CASES = [
        ("example", example("PARAMETERS"), example("DATA"), [], {}),
        ("bootstrap", example("PARAMETERS"), example("DATA"),
         ["--bootstrap", "40", "--confidence", "90", "--bootstrap-seed", "7", "--starts", "3"],
         dict(bootstrap=40, confidence=0.9, seed=7, starts=3)),
        ("phases", example("phases", "PARAMETERS"), example("phases", "DATA"), ["--phases", "auto"],
         dict(phases="auto")),
        ("phases-bootstrap", example("phases", "PARAMETERS"), example("phases", "DATA"),
         ["--phases", "2", "--bootstrap", "10"], dict(phases=2, bootstrap=10)),
        ("phase-starts", example("phases", "PARAMETERS"), example("phases", "DATA"),
         ["--phases", "auto", "--phase-starts", "3", "--starts", "2"], dict(phases="auto", phase_starts=3, starts=2)),
    ]

    def test_document_listing_and_figure(self):
        for name, params, data, args, kw in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                status, err, doc, listing, svg = batch(params, data, *args, cwd=tmp)
                self.assertEqual(status, 0, err)
                with warnings.catch_warnings(record=True) as seen:
                    warnings.simplefilter("always")
                    r = zarkel.invert(zarkel.read_data(data), zarkel.read_parameters(params), **kw)
                self.assertEqual(without_files(r.to_dict()), without_files(doc))
                self.assertEqual(r.listing(), listing)
                self.assertEqual(r.figure_svg(), svg)
                # every warning line of the program, as a ZarkelWarning
                cli_warnings = [l[len("warning: "):] for l in err.splitlines() if l.startswith("warning: ")]
                self.assertEqual([str(w.message) for w in seen if w.category is zarkel.ZarkelWarning], cli_warnings)
                self.assertEqual(r.tensor.shape, (3, 3))
                self.assertAlmostEqual(zarkel.shmax(r.tensor), r.shmax, places=3)

    def test_selection_and_set_fields(self):
        # A selection given in the file and the same one set on Parameters.
        with tempfile.TemporaryDirectory() as tmp:
            params = os.path.join(tmp, "P")
            with open(params, "w") as f:
                f.write("0 0\n3 4 5 6 7 8 9 10 11 999\n1 80 500 7 2\n")
            status, err, doc, _, _ = batch(params, example("DATA"), cwd=tmp)
            self.assertEqual(status, 0, err)
            r = quiet_invert(zarkel.read_data(example("DATA")), zarkel.read_parameters(params))
            self.assertEqual(without_files(r.to_dict()), without_files(doc))
            p = zarkel.read_parameters(example("PARAMETERS"))
            p.ISEL, p.selection = 0, [3, 4, 5, 6, 7, 8, 9, 10, 11]
            r = quiet_invert(zarkel.read_data(example("DATA")), p)
            self.assertEqual(r.to_dict()["final"], doc["final"])


class Mechanisms(unittest.TestCase):
    """invert on a Catalogue against zarkel-batch --mechanisms on the same table."""

    def test_document_listing_and_warnings(self):
        import pandas as pd
        table = example("mechanisms.csv")
        frame = pd.read_csv(table)
        params = example("mechanisms.PARAMETERS")
        catalogue = zarkel.mechanisms_from_table(frame, name=table)
        self.assertEqual(len(catalogue), len(frame))
        np.testing.assert_array_equal(catalogue.strike, frame["strike"].to_numpy(dtype=float))
        np.testing.assert_array_equal(catalogue.ids, frame["id"].to_numpy())
        self.assertIs(catalogue.table, frame)
        # (name, zarkel-batch options, invert keywords)
        cases = [
            ("defaults", [], {}),
            ("misfit rule, fixed friction", ["--plane-choice", "misfit", "--friction", "0.6", "--starts", "2"],
             dict(plane_choice="misfit", friction=0.6, starts=2)),
            ("bootstrap", ["--bootstrap", "6", "--bootstrap-seed", "3", "--starts", "1"],
             dict(bootstrap=6, seed=3, starts=1)),
            ("phases", ["--phases", "auto", "--starts", "1"], dict(phases="auto", starts=1)),
        ]
        for name, args, kw in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                status, err, doc, listing, svg = batch(params, table, "--mechanisms", *args, cwd=tmp)
                self.assertEqual(status, 0, err)
                with warnings.catch_warnings(record=True) as seen:
                    warnings.simplefilter("always")
                    r = zarkel.invert(catalogue, zarkel.read_parameters(params), **kw)
                self.assertEqual(without_files(r.to_dict()), without_files(doc))
                self.assertEqual(r.listing(), listing)
                self.assertEqual(r.figure_svg(), svg)
                cli_warnings = [l[len("warning: "):] for l in err.splitlines() if l.startswith("warning: ")]
                self.assertEqual([str(w.message) for w in seen if w.category is zarkel.ZarkelWarning], cli_warnings)

    def test_refusals(self):
        cells = read_csv_cells(example("mechanisms.csv"))
        params = example("mechanisms.PARAMETERS")
        # (name, cells, zarkel-batch options, invert keywords)
        cases = [
            ("dip out of range", dict(cells, dip=["95"] + cells["dip"][1:]), [], {}),
            ("second plane not the auxiliary", dict(cells, strike2=["10"] + cells["strike2"][1:]), [], {}),
            ("rule of no name", cells, ["--plane-choice", "best"], dict(plane_choice="best")),
        ]
        for name, table, args, kw in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                import csv
                path = os.path.join(tmp, "m.csv")
                with open(path, "w", newline="") as f:
                    csv.writer(f).writerows([list(table)] + [list(r) for r in zip(*table.values())])
                status, err, _, _, _ = batch(params, path, "--mechanisms", *args, cwd=tmp)
                self.assertNotEqual(status, 0)
                message = [l for l in err.splitlines() if l.startswith("zarkel-batch: ")][0][len("zarkel-batch: "):]
                with self.assertRaises(zarkel.InputError) as caught:
                    quiet_invert(zarkel.mechanisms_from_table(table, name="m.csv"), zarkel.read_parameters(params), **kw)
                self.assertEqual(str(caught.exception), message.replace('CSV file "' + path, 'table "m.csv'))
        # options the command line refuses first are refused by the choice itself
        catalogue = zarkel.mechanisms_from_table(cells)
        for kw, message in [(dict(friction=0.0), "friction must be above 0"), (dict(choice_gap=-1.0), "gap"),
                            (dict(starts=0), "at least 1 start")]:
            with self.subTest(str(kw)), self.assertRaisesRegex(zarkel.InputError, message):
                quiet_invert(catalogue, zarkel.read_parameters(params), **kw)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)
    return path


class Refusals(unittest.TestCase):
    """Each class of refusal raises InputError with the program's message."""

    def test_messages(self):
        data = open(example("DATA")).read().splitlines()
        with tempfile.TemporaryDirectory() as tmp:
            bad_record = write(os.path.join(tmp, "BAD"), "\n".join(data[:3] + [data[3][:10] + "x" + data[3][11:]] + data[4:]) + "\n")
            truncated = write(os.path.join(tmp, "SHORT"), "\n".join(data[:5]) + "\n")
            bad_mode = write(os.path.join(tmp, "MODE"), "1 0\n9 80 500 7 2\n")
            few = write(os.path.join(tmp, "FEW"), "1 0\n1 10 500 7 2\n")
            imposed = write(os.path.join(tmp, "IMPOSED"), "1 0\n5 80 500 7 2\n100 70 300 10 0.5\n")
            steep = write(os.path.join(tmp, "STEEP"), "\n".join(data[:1] + [data[1].replace("   82    81", "   82    95", 1)] + data[2:]) + "\n")
            missing = os.path.join(tmp, "none")
            P, D = example("PARAMETERS"), example("DATA")
            # (name, PARAMETERS, DATA, zarkel-batch options, invert keywords)
            cases = [
                ("missing DATA", P, missing, [], {}),
                ("missing PARAMETERS", missing, D, [], {}),
                ("bad field", P, bad_record, [], {}),
                ("no terminator", P, truncated, [], {}),
                ("bad mode", bad_mode, D, [], {}),
                ("too few in the sum", few, D, [], {}),
                ("starts without a random search", imposed, D, ["--starts", "3"], dict(starts=3)),
                ("strict", P, steep, ["--strict"], dict(strict=True)),
            ]
            for name, params, dat, args, kw in cases:
                with self.subTest(name):
                    status, err, _, _, _ = batch(params, dat, *args, cwd=tmp)
                    self.assertNotEqual(status, 0)
                    message = [l for l in err.splitlines() if l.startswith("zarkel-batch: ")][0]
                    message = message[len("zarkel-batch: "):]
                    with self.assertRaises(zarkel.InputError) as caught:
                        quiet_invert(zarkel.read_data(dat), zarkel.read_parameters(params), **kw)
                    self.assertIsInstance(caught.exception, ValueError)
                    self.assertEqual(str(caught.exception), message)

    def test_options_the_engine_refuses(self):
        # The command line refuses these before a run; the engine's own check
        # says the same for a caller that has no command line.
        data, params = zarkel.read_data(example("DATA")), zarkel.read_parameters(example("PARAMETERS"))
        for kw, message in [(dict(phases=7), "--phases must be auto or a number of phases from 1 to"),
                            (dict(phases=2, max_phases=9), "max"),
                            (dict(phases="some"), "phases must be None, 'auto' or a number"),
                            (dict(phases="auto", phase_starts=-2), "--phase-starts must be from 1 to"),
                            (dict(bootstrap=-5, starts=1), "-5"),
                            (dict(bootstrap=10, confidence=1.5), "confidence must lie between 0 and 100"),
                            (dict(starts=0), "at least 1 start, not 0"),
                            (dict(jobs=-1), "at least 1 thread, not -1")]:
            with self.subTest(str(kw)), self.assertRaisesRegex(zarkel.InputError, message):
                quiet_invert(data, params, **kw)

    def test_vectors_refused(self):
        n = np.array([[0.0, 0.0, 1.0]] * 6)
        s = np.array([[1.0, 0.0, 0.0]] * 6)
        cases = [
            ("along the normal", n, n.copy(), "off its plane"),
            ("not finite", np.where(np.arange(18).reshape(6, 3) == 4, np.nan, n), s, "not finite"),
            ("null", np.zeros((6, 3)), s, "null vector"),
            ("lengths", n, s[:5], "6 normals but 5 slips"),
            ("shape", n[:, :2], s, "N x 3"),
        ]
        for name, normals, slips, message in cases:
            with self.subTest(name), self.assertRaises(ValueError) as caught:
                zarkel.faults(normals, slips)
            self.assertIn(message, str(caught.exception))
        with self.assertRaisesRegex(zarkel.InputError, "more than 3 characters"):
            zarkel.faults(n, s, labels=["ABCD"] * 6)


def read_csv_cells(path):
    import csv
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    return {h: [r[k] if k < len(r) else "" for r in rows[1:]] for k, h in enumerate(rows[0])}


class Tables(unittest.TestCase):
    """faults_from_table against zarkel-import on the same cells written as CSV."""

    def imported(self, tmp, cells, args=()):
        import csv
        path = os.path.join(tmp, "t.csv")
        with open(path, "w", newline="") as f:
            w = csv.writer(f)
            w.writerow(list(cells))
            w.writerows(zip(*cells.values()))
        p = subprocess.run([IMPORT, path, os.path.join(tmp, "DATA"), *args], capture_output=True, text=True)
        return p, os.path.join(tmp, "DATA")

    def test_same_data_and_warnings(self):
        import pandas as pd
        field = read_csv_cells(example("field.csv"))
        rake = dict(id=field["id"][:8], dip=field["dip"][:8], strike=[(int(d) - 90) % 360 for d in field["dip_direction"][:8]],
                    rake=[-90, -80, 100, -170, 10, -60, -120, 85])
        off = dict(field, plunge=[str(int(p) + (14 if k == 2 else 0)) for k, p in enumerate(field["plunge"])])
        # (name, cells, zarkel-import options, faults_from_table keywords)
        cases = [
            ("field example", field, [], {}),
            ("strike and rake", rake, ["--plane", "strike-rhr"], dict(plane="strike-rhr")),
            ("renamed column", {("Azimuth" if k == "dip_direction" else k): v for k, v in field.items()},
             ["--column", "dip_direction=Azimuth"], dict(columns={"dip_direction": "Azimuth"})),
            ("striation off its plane warned", off, [], {}),
        ]
        for name, cells, args, kw in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                p, data = self.imported(tmp, cells, args)
                self.assertEqual(p.returncode, 0, p.stderr)
                expected = zarkel.read_data(data)
                frame = pd.DataFrame({k: pd.to_numeric(pd.Series(v), errors="ignore") for k, v in cells.items()})
                with warnings.catch_warnings(record=True) as seen:
                    warnings.simplefilter("always")
                    got = zarkel.faults_from_table(frame, name="t.csv", **kw)
                np.testing.assert_array_equal(got.normals, expected.normals)
                np.testing.assert_array_equal(got.slips, expected.slips)
                self.assertEqual(list(got.numbers), list(expected.numbers))
                self.assertEqual(got.title, expected.title)
                cli = [l[len("warning: "):].replace('CSV file "' + os.path.join(tmp, "t.csv"), 'table "t.csv')
                       for l in p.stderr.splitlines() if l.startswith("warning: ")]
                self.assertEqual([str(w.message) for w in seen], cli)
                # a dict of arrays reads as the frame
                self.assertEqual(zarkel.faults_from_table({k: frame[k].to_numpy() for k in frame}, name="t.csv", **kw).normals.tolist(),
                                 got.normals.tolist())

    def test_refusals(self):
        field = read_csv_cells(example("field.csv"))
        blank = dict(field, dip=[""] + field["dip"][1:])
        steep = dict(field, dip=field["dip"][:3] + ["95"] + field["dip"][4:])
        sense = dict(field, sense=["sideways"] + field["sense"][1:])
        # (name, cells, zarkel-import options, faults_from_table keywords)
        cases = [
            ("empty cell", blank, [], {}),
            ("dip out of range", steep, [], {}),
            ("unknown sense", sense, [], {}),
            ("no such column", field, ["--column", "dip=Neigung"], dict(columns={"dip": "Neigung"})),
            ("bad role", field, ["--column", "tilt=dip"], dict(columns={"tilt": "dip"})),
            ("bad sense letter", field, ["--sense-map", "seitlich=Q"], dict(sense_map={"seitlich": "Q"})),
            ("unknown form", field, ["--plane", "sideways"], dict(plane="sideways")),
            ("long title", field, ["--title", "x" * 81], dict(title="x" * 81)),
        ]
        for name, cells, args, kw in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                p, _ = self.imported(tmp, cells, args)
                self.assertNotEqual(p.returncode, 0)
                message = p.stderr.splitlines()[0][len("zarkel-import: "):]
                message = message.replace('CSV file "' + os.path.join(tmp, "t.csv"), 'table "t.csv')
                with self.assertRaises(zarkel.InputError) as caught:
                    zarkel.faults_from_table(cells, name="t.csv", **kw)
                self.assertIn(str(caught.exception), message)


class Behaviour(unittest.TestCase):
    def setUp(self):
        self.data = zarkel.read_data(example("DATA"))
        self.params = zarkel.read_parameters(example("PARAMETERS"))

    def test_layouts(self):
        n, s = self.data.normals, self.data.slips
        self.assertEqual((n.shape, n.dtype), ((len(self.data), 3), np.float64))
        base = quiet_invert(zarkel.faults(n, s), self.params, starts=2).to_dict()
        wide_n = np.repeat(n, 2, axis=0)
        wide_s = np.repeat(s, 2, axis=0)
        layouts = {
            "fortran": (np.asfortranarray(n), np.asfortranarray(s)),
            "float32": (n.astype(np.float32), s.astype(np.float32)),
            "strided": (wide_n[::2], wide_s[::2]),
            "transposed view": (np.ascontiguousarray(n.T).T, np.ascontiguousarray(s.T).T),
            "lists": (n.tolist(), s.tolist()),
        }
        for name, (ln, ls) in layouts.items():
            with self.subTest(name):
                self.assertEqual(quiet_invert(zarkel.faults(ln, ls), self.params, starts=2).to_dict(), base)

    def test_vectors_give_the_records_of_the_file(self):
        # The vectors of a DATA file, given back, make records that read as them.
        f = zarkel.faults(self.data.normals, self.data.slips, self.data.numbers, self.data.labels)
        np.testing.assert_allclose(f.normals, self.data.normals, atol=2e-2)
        np.testing.assert_allclose(f.slips, self.data.slips, atol=2e-2)
        self.assertEqual(list(f.numbers), list(self.data.numbers))

    def test_two_threads(self):
        phases = (zarkel.read_data(example("phases", "DATA")), zarkel.read_parameters(example("phases", "PARAMETERS")))
        jobs = [((self.data, self.params), dict(bootstrap=30, jobs=2)), (phases, dict(phases="auto", jobs=2))]
        serial = [quiet_invert(*a, **kw).to_dict() for a, kw in jobs]
        together = [None, None]

        def run(k):
            together[k] = quiet_invert(*jobs[k][0], **jobs[k][1]).to_dict()

        threads = [threading.Thread(target=run, args=(k,)) for k in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(together, serial)

    def test_interrupt_cancels_within_a_second(self):
        def interrupt():
            time.sleep(0.5)
            os.kill(os.getpid(), signal.SIGINT)
            stamps.append(time.monotonic())

        stamps = []
        threading.Thread(target=interrupt).start()
        start = time.monotonic()
        with self.assertRaises(KeyboardInterrupt):
            quiet_invert(self.data, self.params, bootstrap=100000, jobs=2)
        self.assertLess(time.monotonic() - stamps[0], 1.0)
        self.assertLess(time.monotonic() - start, 5.0)
        # the module still works after a cancelled run
        self.assertEqual(quiet_invert(self.data, self.params, starts=1).to_dict()["N"], len(self.data))

    def test_parameters_fields(self):
        p = zarkel.read_parameters(example("PARAMETERS"))
        self.assertEqual((p.INDX, p.POURC, p.NTIR, p.NSEED, p.IPRINT), (1, 80, 500, 7, 2))
        p.POURC = 3  # NMIN 1 of 40: refused when the run starts, with the program's message
        with self.assertRaisesRegex(zarkel.InputError, "POURC = 3 with N = 40"):
            quiet_invert(self.data, p)
        with self.assertRaises(AttributeError):
            p.NOPE = 1

    def test_geometry(self):
        strike, dip, rake = np.array([227.0, 51.0, 131.0]), np.array([76.0, 83.0, 88.0]), np.array([-37.0, -26.0, -162.0])
        s2, d2, r2 = zarkel.auxiliary_plane(strike, dip, rake)
        # the mechanisms table of the examples gives both planes
        np.testing.assert_allclose(np.round(s2), [327, 144, 40])
        np.testing.assert_allclose(np.round(d2), [54, 64, 72])
        back = zarkel.auxiliary_plane(s2, d2, r2)
        np.testing.assert_allclose(np.stack(back), np.stack([strike, dip, rake]), atol=1e-9)
        P, T = zarkel.pt_axes(strike, dip, rake)
        self.assertEqual(P.shape, (3, 3))
        np.testing.assert_allclose(np.einsum("ij,ij->i", P, T), 0.0, atol=1e-12)
        t = quiet_invert(self.data, self.params, starts=1).tensor
        self.assertAlmostEqual(zarkel.stress_difference(t, t), 0.0, places=6)
        self.assertAlmostEqual(zarkel.stress_difference(t, -t), 180.0, places=6)
        self.assertEqual(zarkel.stress_difference(np.stack([t, t]), t).shape, (2,))


class Examples(unittest.TestCase):
    def test_examples_run(self):
        for script in ["quickstart.py", "catalogue.py"]:
            path = os.path.join(EXAMPLES, "python", script)
            if not os.path.exists(path):
                continue
            with self.subTest(script), tempfile.TemporaryDirectory() as tmp:
                p = subprocess.run([sys.executable, path], cwd=tmp, capture_output=True, text=True,
                                   env=dict(os.environ, MPLBACKEND="Agg"))
                self.assertEqual(p.returncode, 0, p.stderr)
                self.assertIn("R =", p.stdout)
                for png in [f for f in os.listdir(tmp) if f.endswith(".png")]:
                    with open(os.path.join(tmp, png), "rb") as f:
                        self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()


class Stubs(unittest.TestCase):
    """The type stubs an editor completes from name what the package has,
    with the same parameters and defaults' presence."""

    def test_stubs_match_the_package(self):
        import ast
        import inspect
        stub = os.path.join(os.path.dirname(zarkel.__file__), "__init__.pyi")
        tree = ast.parse(open(stub, encoding="utf-8").read())
        functions = {n.name: n for n in tree.body if isinstance(n, ast.FunctionDef)}
        classes = {n.name for n in tree.body if isinstance(n, ast.ClassDef)}
        for name in zarkel.__all__:
            with self.subTest(name):
                self.assertIn(name, set(functions) | classes)
                if name not in functions:
                    continue
                real = inspect.signature(getattr(zarkel, name))
                args = functions[name].args
                stubbed = [a.arg for a in args.posonlyargs + args.args] + [a.arg for a in args.kwonlyargs]
                self.assertEqual(stubbed, list(real.parameters))
                with_default = len(args.defaults) + sum(d is not None for d in args.kw_defaults)
                self.assertEqual(with_default,
                                 sum(p.default is not inspect.Parameter.empty for p in real.parameters.values()))
