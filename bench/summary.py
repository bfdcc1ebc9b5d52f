"""Reads bench.csv and prints, per set, the median images per second of each tool, the
median per-round ratios, and the peak memory; writes the medians for the plot."""
import csv
import statistics
import sys

rows = list(csv.DictReader(open(sys.argv[1])))
sets = ["large", "small"]
labels = {"large": "4000x3000", "small": "1600x1200"}
tools = ["fotobatch", "vipsthumbnail", "plain"]


def rate(row):
    return float(row["images_per_second"])


with open(sys.argv[2], "w") as out:
    out.write("# set fotobatch vipsthumbnail plain\n")
    for name in sets:
        mine = [r for r in rows if r["set"] == name]
        by_round = {}
        for r in mine:
            by_round.setdefault(r["round"], {})[r["tool"]] = r
        medians = {t: statistics.median(rate(r) for r in mine if r["tool"] == t) for t in tools}
        vs_vips = statistics.median(rate(v["fotobatch"]) / rate(v["vipsthumbnail"]) for v in by_round.values())
        vs_plain = statistics.median(rate(v["fotobatch"]) / rate(v["plain"]) for v in by_round.values())
        job_kb = max(int(r["peak_kb"]) for r in mine if r["tool"] == "fotobatch")
        worker_kb = max(int(r["worker_peak_kb"]) for r in mine if r["tool"] == "fotobatch")
        vips_kb = max(int(r["peak_kb"]) for r in mine if r["tool"] == "vipsthumbnail")
        images = {r["images"] for r in mine}
        print(f"{labels[name]} ({'/'.join(sorted(images))} images, {len(by_round)} rounds):")
        for t in tools:
            print(f"  {t:14s} {medians[t]:7.1f} images/s (median)")
        print(f"  fotobatch / vipsthumbnail: {vs_vips:.2f}x   fotobatch / plain: {vs_plain:.2f}x (median of rounds)")
        print(f"  peak memory: job process {job_kb / 1024:.1f} MB, one worker {worker_kb / 1024:.1f} MB,"
              f" vipsthumbnail {vips_kb / 1024:.1f} MB")
        out.write(f"{labels[name]} {medians['fotobatch']:.2f} {medians['vipsthumbnail']:.2f} {medians['plain']:.2f}\n")
