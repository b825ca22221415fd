#!/usr/bin/env python3
"""Every line dorvex-probe prints is valid against docs/probe.schema.json.

  validate_probe.py PROBE FAULT_IMAGES SCHEMA SAMPLE

Probes the fault images, the sample and inputs that are no image at all
(empty, text, cut short, a directory, missing, a name that is not UTF-8),
in full and with --summary, and validates each line.
"""

import json
import os
import subprocess
import sys
import tempfile

import jsonschema


def main():
    probe, fault_images, schema_path, sample = sys.argv[1:5]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    with tempfile.TemporaryDirectory() as scratch:
        faults = os.path.join(scratch, "faults")
        os.mkdir(faults)
        subprocess.run([fault_images, faults], check=True,
                       stdout=subprocess.DEVNULL)
        images = sorted(os.path.join(faults, name)
                        for name in os.listdir(faults) if name.endswith(".d88"))
        with open(sample, "rb") as f:
            sample_bytes = f.read()
        odd = {
            "empty.d88": b"",
            "text.d88": b"not a disk image\n" * 100,
            "cut.d88": sample_bytes[:5000],
            "header-only.d88": sample_bytes[:688],
        }
        for name, data in odd.items():
            path = os.path.join(scratch, name)
            with open(path, "wb") as f:
                f.write(data)
            images.append(path)
        not_utf8 = os.path.join(os.fsencode(scratch), b"\xff\xfe.d88")
        with open(not_utf8, "wb") as f:
            f.write(sample_bytes)
        images += [sample, scratch, os.path.join(scratch, "missing.d88"),
                   os.fsdecode(not_utf8)]
        failures = 0
        for mode in ([], ["--summary"]):
            run = subprocess.run([probe, "-j", "2", *mode, *images],
                                 capture_output=True, check=False)
            if run.returncode != 1:
                print(f"exit status {run.returncode}, not 1", file=sys.stderr)
                failures += 1
            lines = run.stdout.decode("utf-8").splitlines()
            if len(lines) != len(images):
                print(f"{len(lines)} lines for {len(images)} images",
                      file=sys.stderr)
                failures += 1
            for number, line in enumerate(lines, 1):
                for error in validator.iter_errors(json.loads(line)):
                    print(f"{mode} line {number}: {error.message} at "
                          f"{list(error.absolute_path)}", file=sys.stderr)
                    failures += 1
        print(f"{2 * len(images)} lines checked, {failures} failures")
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
