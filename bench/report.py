#!/usr/bin/env python3
"""Prints one table of benchmark results against the budgets in bench/budgets.tsv.

report.py BUDGETS RESULTS_DIR
RESULTS_DIR holds <executable>.csv files written by QtTest's csv logger and tools.tsv
lines "source<TAB>function<TAB>value" from the measuring tools. Exits 1 when a budget
is missed or a budgeted result is missing.
"""
import csv
import os
import sys


def load_results(directory):
    results = {}  # (source, function, tag) -> value
    units = {}  # (source, function, tag) -> unit, where QtTest names one
    order = []
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if name.endswith(".csv"):
            source = name[:-4]
            with open(path, newline="") as f:
                for row in csv.reader(f):
                    # "function","tag","metric",value per iteration,total,iterations
                    if len(row) < 4:
                        continue
                    key = (source, row[0], row[1])
                    results[key] = float(row[3])
                    units[key] = {"WalltimeMilliseconds": "ms"}.get(row[2], "")
                    order.append(key)
        elif name == "tools.tsv":
            with open(path) as f:
                for line in f:
                    parts = line.rstrip("\n").split("\t")
                    if len(parts) == 3:
                        key = (parts[0], parts[1], "")
                        results[key] = float(parts[2])
                        order.append(key)
    return results, units, order


def number(value):
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    if value >= 1:
        return f"{value:.2f}"
    return f"{value:.3g}"


def main():
    budgets_path, directory = sys.argv[1], sys.argv[2]
    results, units, order = load_results(directory)
    rows = []
    budgeted = set()
    failed = False
    with open(budgets_path) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            label, source, function, tag, unit, op, budget = (line.rstrip("\n").split("\t") + [""] * 7)[:7]
            key = (source, function, tag)
            budgeted.add(key)
            value = results.get(key)
            if value is None:
                verdict = "missing" if op else "-"
                failed = failed or bool(op)
                measured = "-"
            else:
                measured = f"{number(value)} {unit}"
                if not op:
                    verdict = "-"
                elif (value <= float(budget)) if op == "<=" else (value >= float(budget)):
                    verdict = "pass"
                else:
                    verdict = "FAIL"
                    failed = True
            rows.append((label, measured, f"{op} {budget} {unit}" if op else "-", verdict))
    for key in order:
        if key in budgeted:
            continue
        budgeted.add(key)
        source, function, tag = key
        label = f"{source} {function}" + (f" [{tag}]" if tag else "")
        rows.append((label, f"{number(results[key])} {units.get(key, '')}".strip(), "-", "-"))

    header = ("benchmark", "median", "budget", "result")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(4)]
    for row in [header, tuple("-" * w for w in widths)] + rows:
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
