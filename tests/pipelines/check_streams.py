"""ISO dates and standard output, checked from outside the program.

/ISODATES: the corpus tables with dates and date-times give byte-identical
text outputs under the C, de_DE.UTF-8 and sv_SE.UTF-8 locales (compiled into
a private folder when the system lacks them), and their CSV dates are
dbfread's. Standard output: "-" with /TO writes the same bytes as the file
output, with the console, the log and errors kept off it; typed .json with
/JSONTYPES holds the values its JSON lines hold.

Usage: check_streams.py TABRIX CORPUS
"""
import csv
import glob
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tabrix_env import isolated  # noqa: E402

TABRIX, CORPUS = sys.argv[1], sys.argv[2]
csv.field_size_limit(sys.maxsize)
TEXT_OUTPUTS = ("csv", "tsv", "txt", "sdf", "htm", "xml", "json")
failures = []
dates_compared = [0]


def run(args, env=None):
    return subprocess.run([TABRIX, *args], capture_output=True, env=isolated(env or os.environ), timeout=120)


def dated_tables():
    """Corpus tables with D, T or @ fields and dbfread values the corpus trusts, and those values."""
    found = []
    for doc_path in sorted(glob.glob(os.path.join(CORPUS, "**", "*.dbfread.json"), recursive=True)):
        with open(doc_path, encoding="utf-8") as f:
            doc = json.load(f)
        table = os.path.join(os.path.dirname(doc_path), doc["file"])
        types = {f["type"] for f in doc["dbfread"].get("fields", [])}
        if doc.get("dbfread_values_usable") and table.lower().endswith(".dbf") and types & {"D", "T", "@"}:
            found.append((table, doc))
    return found


def locales(work):
    """Environments for C, de_DE.UTF-8 and sv_SE.UTF-8; missing ones compiled into work when localedef can."""
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower().split()
    folder = os.path.join(work, "locales")
    envs = {"C": dict(os.environ, LC_ALL="C")}
    for name in ("de_DE.UTF-8", "sv_SE.UTF-8"):
        env = dict(os.environ, LC_ALL=name)
        if name.lower().replace("-", "") not in have and name.lower() not in have:
            os.makedirs(folder, exist_ok=True)
            made = subprocess.run(["localedef", "-i", name.split(".")[0], "-f", "UTF-8", os.path.join(folder, name)],
                                  capture_output=True)
            if made.returncode not in (0, 1) or not os.path.isdir(os.path.join(folder, name)):
                print(f"note: {name} is not installed and could not be compiled; not checked")
                continue
            env["LOCPATH"] = folder
        envs[name] = env
    return envs


def check_iso_dates(tables, work):
    envs = locales(work)
    differs = False
    for table, doc in tables:
        for ext in TEXT_OUTPUTS:
            outputs, plain = {}, set()
            for name, env in envs.items():
                outputs[name] = run([table, "-", f"/TO{ext}", "/ISODATES", "/EXPORTALL", "/HDR"], env).stdout
                plain.add(run([table, "-", f"/TO{ext}", "/EXPORTALL", "/HDR"], env).stdout)
            differs = differs or len(plain) > 1
            if len(set(outputs.values())) != 1:
                failures.append(f"{table} .{ext}: /ISODATES output differs between {sorted(outputs)}")
        check_csv_dates(table, doc, outputs_csv(table))
    if len(envs) > 1 and not differs:
        failures.append("no output differs between locales without /ISODATES: the locales were not applied")
    print(f"/ISODATES: {len(tables)} tables x {len(TEXT_OUTPUTS)} outputs under {', '.join(envs)}; "
          f"{dates_compared[0]} CSV dates equal dbfread's")


def outputs_csv(table):
    return run([table, "-", "/TOcsv", "/ISODATES", "/EXPORTALL", "/HDR", "/utf8"]).stdout.decode("utf-8-sig")


def check_csv_dates(table, doc, text):
    rows = list(csv.reader(io.StringIO(text)))
    if not rows:
        failures.append(f"{table}: no CSV rows")
        return
    header = rows[0]
    for field in doc["dbfread"]["fields"]:
        if field["type"] not in ("D", "T", "@") or field["name"] not in header or header.count(field["name"]) > 1:
            continue
        column = header.index(field["name"])
        for record, row in zip(doc["dbfread"]["records"], rows[1:]):
            expected = record.get(field["name"])
            if not isinstance(expected, str) or record.get("_skipped_by_dbfread"):
                continue
            cell = row[column] if column < len(row) else None
            # dbfread keeps milliseconds; the output is to the second, so compare the date only.
            if cell is None or cell[:10] != expected[:10] or (field["type"] != "D" and cell[10:11] != "T"):
                failures.append(f"{table} {field['name']}: CSV {cell!r}, dbfread {expected!r}")
                return
            dates_compared[0] += 1


def check_standard_output(table, work):
    for ext in ("csv", "jsonl", "xml", "sql"):
        path = os.path.join(work, f"file.{ext}")
        run([table, path, "/EXPORTALL"])
        with open(path, "rb") as f:
            written = f.read()
        log = os.path.join(work, "run.log")
        piped = run([table, "-", f"/TO{ext}", "/EXPORTALL", "/console", "/tm", f"/LOG:{log}", "/NOSUCH"])
        if piped.stdout != written:
            failures.append(f"{table} - /TO{ext}: standard output is not the file output "
                            f"({len(piped.stdout)} and {len(written)} bytes)")
        if b"Unknown switch /NOSUCH" not in piped.stderr or b"Converted" not in piped.stderr:
            failures.append(f"{table} - /TO{ext}: messages missing from standard error: {piped.stderr[:200]!r}")
    # A reader at the other end of a pipe gets the file's rows.
    pipe = subprocess.run(f'"{TABRIX}" "{table}" - /TOcsv /EXPORTALL | /usr/bin/python3 -c '
                          '"import csv, sys; print(len(list(csv.reader(sys.stdin))))"',
                          shell=True, capture_output=True, env=isolated(os.environ), text=True)
    with open(os.path.join(work, "file.csv"), newline="", encoding="latin-1") as f:
        if pipe.stdout.strip() != str(len(list(csv.reader(f)))):
            failures.append(f"{table}: the pipe gave {pipe.stdout.strip()!r} rows")
    # Files with a structure, several files, no format: refused, and no file named "-" appears.
    for refused in (["/TOdbf"], ["/TOsqlite"], ["/TOxlsx"], ["/TOrtf"], ["/TOhtm", "/MAXPERPAGE=1"], []):
        result = subprocess.run([TABRIX, table, "-", *refused], capture_output=True, cwd=work,
                                env=isolated(os.environ), timeout=120)
        if result.returncode != 2 or result.stdout or glob.glob(os.path.join(work, "-*")):
            failures.append(f"{table} - {refused}: exit {result.returncode}, {len(result.stdout)} bytes on standard output")


def check_typed_json(tables, work):
    """/JSONTYPES .json holds the objects of the JSON lines, in an array."""
    for table, _ in tables:
        lines = run([table, "-", "/TOjsonl", "/EXPORTALL"]).stdout.decode("utf-8")
        typed = json.loads(run([table, "-", "/TOjson", "/EXPORTALL", "/JSONTYPES"]).stdout.decode("utf-8"))
        if typed != [json.loads(line) for line in lines.splitlines()]:
            failures.append(f"{table}: /JSONTYPES .json and .jsonl hold different values")


def main():
    tables = dated_tables()
    work = tempfile.mkdtemp(prefix="tabrix-streams-")
    try:
        check_iso_dates(tables, work)
        check_standard_output(tables[0][0], work)
        check_typed_json(tables, work)
    finally:
        shutil.rmtree(work, True)
    for line in failures[:60]:
        print("FAIL", line)
    return 1 if failures or not dates_compared[0] else 0


if __name__ == "__main__":
    sys.exit(main())
