#!/usr/bin/python3
"""Check zarkel-batch result documents against docs/result.schema.json.

  tools/validate_result.py RESULT.json...

A grid.json (a document with `grid` and `cells`) is checked against the
schema's $defs.grid_file.

Prints one line per problem and exits 1 when any document does not validate
(2 when a file cannot be read). Needs python3-jsonschema (Debian).
"""
import json
import pathlib
import sys

import jsonschema

SCHEMA = pathlib.Path(__file__).resolve().parent.parent / "docs" / "result.schema.json"


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    schema = json.loads(SCHEMA.read_text(encoding="utf-8"))
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)
    # grid.json of a gridded run: the schema's $defs.grid_file.
    grid_schema = {k: schema[k] for k in ("$schema", "$id", "$defs")}
    grid_schema["$ref"] = "#/$defs/grid_file"
    grid_validator = validator_class(grid_schema)
    bad = 0
    for path in paths:
        try:
            doc = json.loads(pathlib.Path(path).read_text(encoding="utf-8"))
        except (OSError, ValueError) as e:
            print(f"{path}: cannot be read as JSON: {e}", file=sys.stderr)
            return 2
        is_grid = isinstance(doc, dict) and "grid" in doc and "cells" in doc
        for error in sorted((grid_validator if is_grid else validator).iter_errors(doc), key=lambda e: list(e.absolute_path)):
            where = "/".join(str(p) for p in error.absolute_path) or "(document)"
            print(f"{path}: {where}: {error.message}", file=sys.stderr)
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
