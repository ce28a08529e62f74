#!/usr/bin/env python3
"""Figures of qvlwait runs: p50 and p99 of the time a user waits and of its parts, per case.

  wait_report.py summary RAW.jsonl OUT.json MACHINE LOAD [BASELINE]   one bitness's figures
  wait_report.py tables README|- OUT.json...               the tables into bench/README.md (-: print)

RAW holds qvlwait's lines (one code each, times in ms after the reply was queued). Variants:
0 is the display program given first (the baseline of a comparison run), 1 the one built now.
"""
import json
import re
import sys

# The parts of one code's wait, as differences of two moments (None: the reply queued).
# read = port + wake; total = read + to post + post to visible + visible to painted.
PARTS = [
    ("total", None, "end"),
    ("port", None, "zero_write"),
    ("wake", "zero_write", "read"),
    ("to_post", "read", "post"),
    ("post_to_visible", "post", "visible"),
    ("visible_to_painted", "visible", "painted"),
    ("post_to_received", "post", "received"),
]
CASES = [
    ("running", 0, "Windows 95, program running"),
    ("started", 0, "Windows 95, started by the monitor"),
    ("nt", 0, "NT, program running (/signin /all)"),
    ("nt-remote", 0, "NT, a print server's printer through a connection (/signin /all)"),
    ("running", 150, "Windows 95, program running, desktop of 150 more windows"),
    ("nt", 150, "NT, program running, desktop of 150 more windows"),
    ("watch", 0, "Windows 95, stand-in window (qvlspool --watch-display)"),
]


def percentile(values, p):
    """Linear interpolation between the closest ranks."""
    v = sorted(values)
    if not v:
        return None
    k = (len(v) - 1) * p / 100.0
    f = int(k)
    c = min(f + 1, len(v) - 1)
    return v[f] + (v[c] - v[f]) * (k - f)


def moment(sample, name):
    if name == "end":
        return sample.get("received") if sample["case"] == "watch" else sample.get("painted")
    if name == "post":
        return (sample.get("published") if sample["case"].startswith("nt")
                else sample.get("name_read"))
    return sample.get(name)


def part_values(samples, start, end):
    out = []
    for s in samples:
        b = moment(s, end)
        a = 0.0 if start is None else moment(s, start)
        if a is not None and b is not None:
            out.append(b - a)
    return out


def summarize(samples):
    figures = {"n": len(samples)}
    for name, start, end in PARTS:
        values = part_values(samples, start, end)
        if values:
            figures[name] = {"p50": percentile(values, 50), "p99": percentile(values, 99)}
    return figures


def summary(raw, out, machine, load, baseline=""):
    lines = [json.loads(line) for line in open(raw) if line.startswith("{")]
    codes = [x for x in lines if "code" in x and x["case"] != "parts"]
    runs = [x for x in lines if x.get("run")]
    parts = [x for x in lines if x["case"] == "parts"]
    result = {"machine": machine, "load": load, "baseline": baseline,
              "bits": lines[0]["bits"] if lines else None,
              "cases": [],
              "parts": parts, "runs": runs, "samples": codes}
    for case, windows, label in CASES:
        for first in (False, True):
            for variant in (0, 1):
                chosen = [x for x in codes if x["case"] == case and x.get("windows", 0) == windows
                          and x["variant"] == variant and x["first"] == first]
                if not chosen:
                    continue
                ok = [x for x in chosen if x["ok"]]
                entry = {"case": case, "windows": windows, "variant": variant, "first": first,
                         "label": label + (", first code of the program" if first else ""),
                         "failed": len(chosen) - len(ok)}
                entry.update(summarize(ok))
                result["cases"].append(entry)
    json.dump(result, open(out, "w"), indent=1)


def cell(figures, name):
    f = figures.get(name)
    return "%.1f / %.1f" % (f["p50"], f["p99"]) if f else ""


def current_table(results):
    rows = ["| Bits | Case | n | total | read: port | read: wake | read to post | post to visible"
            " | visible to painted |", "|---|---|---|---|---|---|---|---|---|"]
    for r in results:
        variants = {c["variant"] for c in r["cases"]}
        now = 1 if 1 in variants else 0
        for c in r["cases"]:
            if c["variant"] != now or c["case"] == "watch":
                continue
            rows.append("| %s | %s | %d | %s | %s | %s | %s | %s | %s |" % (
                r["bits"], c["label"], c["n"], cell(c, "total"), cell(c, "port"),
                cell(c, "wake"), cell(c, "to_post"), cell(c, "post_to_visible"),
                cell(c, "visible_to_painted")))
    rows.append("")
    rows.append("| Bits | Part measured apart | p50 / p99 |")
    rows.append("|---|---|---|")
    for r in results:
        for c in r["cases"]:
            if c["case"] == "watch":
                rows.append("| %s | post: the monitor posts 1034, the stand-in window has it (ms, "
                            "n=%d) | %s |" % (r["bits"], c["n"], cell(c, "post_to_received")))
        parse = [p["parse_us"] for p in r["parts"]]
        lookup = [p["lookup_us"] for p in r["parts"]]
        if parse:
            rows.append("| %s | parse: one reply of %d bytes, plain parser (us, median of the %d "
                        "codes' medians) | %.1f |" % (r["bits"], r["parts"][0]["reply_bytes"],
                                                      len(parse), percentile(parse, 50)))
            rows.append("| %s | lookup: LookupStatusEntry in qvl3820 under Wine (us, range over "
                        "the %d codes) | %.0f to %.0f |" % (r["bits"], len(lookup), min(lookup),
                                                             max(lookup)))
    return "\n".join(rows)


def compare_table(results):
    rows = ["| Bits | Case | n before / after | total before | total after | post to painted "
            "before | post to painted after |", "|---|---|---|---|---|---|---|"]
    for r in results:
        for case, windows, label in CASES:
            pair = {c["variant"]: c for c in r["cases"]
                    if c["case"] == case and c["windows"] == windows and not c["first"]}
            if 0 not in pair or 1 not in pair or case == "watch":
                continue
            before, after = pair[0], pair[1]

            def program(c):
                values = part_values([s for s in r["samples"] if s["case"] == case
                                      and s.get("windows", 0) == windows
                                      and s["variant"] == c["variant"] and not s["first"]
                                      and s["ok"]], "post", "painted")
                return "%.1f / %.1f" % (percentile(values, 50), percentile(values, 99))

            rows.append("| %s | %s | %d / %d | %s | %s | %s | %s |" % (
                r["bits"], label, before["n"], after["n"], cell(before, "total"),
                cell(after, "total"), program(before), program(after)))
    return "\n".join(rows)


def replace_block(text, name, body):
    start, end = "<!-- %s start -->" % name, "<!-- %s end -->" % name
    if start not in text or end not in text:
        return text
    return re.sub(re.escape(start) + ".*?" + re.escape(end),
                  lambda m: start + "\n" + body + "\n" + end, text, flags=re.S)


def measured_on(results):
    loads = "; ".join("%s-bit %s" % (r["bits"], r["load"]) for r in results)
    return "Measured on: %s. Load average (1, 5, 15 min): %s." % (results[0]["machine"], loads)


def tables(readme, outs):
    results = [json.load(open(o)) for o in outs]
    print(current_table(results))
    if readme == "-" or not results:
        return
    text = open(readme).read()
    text = replace_block(text, "wait-table", measured_on(results) + "\n\n" +
                         current_table(results))
    if any(c["variant"] == 1 for r in results for c in r["cases"]):
        compared = "Before: qvlpanel.exe of commit %s; after: of this tree." % (
            results[0].get("baseline") or "?")
        text = replace_block(text, "wait-compare", measured_on(results) + " " + compared +
                             "\n\n" + compare_table(results))
    open(readme, "w").write(text)


if __name__ == "__main__":
    if len(sys.argv) in (6, 7) and sys.argv[1] == "summary":
        summary(*sys.argv[2:])
    elif len(sys.argv) >= 4 and sys.argv[1] == "tables":
        tables(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
