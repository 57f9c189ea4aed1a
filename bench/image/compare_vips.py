#!/usr/bin/env python3
"""Runs the image benchmarks and the same work done by the `vips` command line, side by side.

Usage: bench/image/compare_vips.py BUILD_DIR   (a build with -DSORVEL_BENCH=ON)

Each vips step is timed as a whole command (best of N). vips streams from an uncompressed .v
file in a memory-backed folder, so its file I/O is cheap; the five-step point chain needs five
vips commands with intermediate .v files, which the table notes.
"""
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = 3


def child_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def best_of(cmds, runs=RUNS):
    """Best wall time and best CPU time (all threads) in ms over `runs` runs."""
    best, best_cpu = float("inf"), float("inf")
    for _ in range(runs):
        t0, c0 = time.perf_counter(), child_cpu()
        for c in cmds:
            subprocess.run(c, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - t0)
        best_cpu = min(best_cpu, child_cpu() - c0)
    return best * 1000.0, best_cpu * 1000.0


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    bench = os.path.join(sys.argv[1], "bench", "image", "image_bench")
    if not os.path.exists(bench):
        print(f"no {bench}: configure with -DSORVEL_BENCH=ON and build image_bench")
        return 2
    if not shutil.which("vips"):
        print("vips not found (package libvips-tools)")
        return 2
    base = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory(dir=base) as d:
        subprocess.run([bench, "--make-inputs", d], check=True)
        heic, png, v = (os.path.join(d, n) for n in ("photo12mp.heic", "photo12mp.png", "photo12mp.v"))
        subprocess.run(["vips", "copy", png, v], check=True)
        o = lambda n: os.path.join(d, n)
        vips = {
            "BM_DecodeHeic12MP": [["vips", "copy", heic, o("dec.v")]],
            "BM_LanczosHalf12MP": [["vips", "resize", v, o("half.v"), "0.5", "--kernel", "lanczos3"]],
            "BM_PointChain5To8Bit12MP": [
                ["vips", "linear", "--", v, o("p1.v"), "1.1", "-12.75"],
                ["vips", "linear", o("p1.v"), o("p2.v"), "1.2", "0"],
                ["vips", "linear", o("p2.v"), o("p3.v"), "1", "5"],
                ["vips", "linear", o("p3.v"), o("p4.v"), "0.9", "2.5"],
                ["vips", "invert", o("p4.v"), o("p5.v")],
                ["vips", "cast", o("p5.v"), o("p6.v"), "uchar"],
            ],
            "BM_EncodeHeicQ065_12MP": [["vips", "heifsave", v, o("enc.heic"), "--Q", "65",
                                        "--bitdepth", "8", "--compression", "hevc"]],
        }
        out = subprocess.run([bench, "--benchmark_format=json"], check=True, capture_output=True, text=True)
        ours = {b["name"].split("/")[0]: (b["real_time"], b.get("proc_cpu_ms", float("nan")))
                for b in json.loads(out.stdout)["benchmarks"]}
        print(f"{'work (12 MP)':<26}{'sorvel ms':>10}{'vips ms':>10}{'ratio':>7}"
              f"{'sorvel cpu':>12}{'vips cpu':>10}{'ratio':>7}   (ratio = vips / sorvel; >1: we are faster)")
        for name, cmds in vips.items():
            wall, cpu = best_of(cmds, 1 if "Encode" in name else RUNS)
            mine, mine_cpu = ours.get(name, (float("nan"), float("nan")))
            note = "  vips: 6 commands, .v files between" if "Chain" in name else ""
            print(f"{name:<26}{mine:>10.1f}{wall:>10.1f}{wall / mine:>7.2f}"
                  f"{mine_cpu:>12.1f}{cpu:>10.1f}{cpu / mine_cpu:>7.2f}{note}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
