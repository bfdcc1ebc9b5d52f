"""Reads bench.csv and prints, per set, the median images per second of each tool, the
median per-round ratios, and the peak memory; writes the medians for the plot."""
import csv
import statistics
import sys

rows = list(csv.DictReader(open(sys.argv[1])))
labels = {"large": "4000x3000", "small": "1600x1200", "folder": "20-photo-folder"}
sets = [s for s in labels if any(r["set"] == s for r in rows)]
tools = ["fotobatch", "fotobatch-next", "vipsthumbnail", "plain"]


def rate(row):
    return float(row["images_per_second"])


def ratio(by_round, mine, theirs):
    return statistics.median(rate(v[mine]) / rate(v[theirs]) for v in by_round.values())


with open(sys.argv[2], "w") as out:
    out.write("# set " + " ".join(tools) + "\n")
    for name in sets:
        mine = [r for r in rows if r["set"] == name]
        by_round = {}
        for r in mine:
            by_round.setdefault(r["round"], {})[r["tool"]] = r
        medians = {t: statistics.median(rate(r) for r in mine if r["tool"] == t) for t in tools}
        job_kb = max(int(r["peak_kb"]) for r in mine if r["tool"] == "fotobatch")
        worker_kb = max(int(r["worker_peak_kb"]) for r in mine if r["tool"] == "fotobatch")
        vips_kb = max(int(r["peak_kb"]) for r in mine if r["tool"] == "vipsthumbnail")
        images = {r["images"] for r in mine}
        print(f"{labels[name]} ({'/'.join(sorted(images))} images, {len(by_round)} rounds):")
        for t in tools:
            print(f"  {t:14s} {medians[t]:7.1f} images/s (median)")
        print(f"  first job / vipsthumbnail: {ratio(by_round, 'fotobatch', 'vipsthumbnail'):.2f}x"
              f"   next job / vipsthumbnail: {ratio(by_round, 'fotobatch-next', 'vipsthumbnail'):.2f}x"
              f"   first job / plain: {ratio(by_round, 'fotobatch', 'plain'):.2f}x (median of rounds)")
        print(f"  peak memory: job process {job_kb / 1024:.1f} MB, one worker {worker_kb / 1024:.1f} MB,"
              f" vipsthumbnail {vips_kb / 1024:.1f} MB")
        out.write(f"{labels[name]} " + " ".join(f"{medians[t]:.2f}" for t in tools) + "\n")
