#!/usr/bin/env python3
"""Runs the image benchmarks and the same work done by the `vips` command line, side by side.

Usage: bench/image/compare_vips.py BUILD_DIR   (a build with -DSORVEL_BENCH=ON)

Each vips step is timed as a whole command (best of N). vips streams from an uncompressed .v
file in a memory-backed folder, so its file I/O is cheap; the five-step point chain needs five
vips commands with intermediate .v files, which the table notes.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = 3


def best_of(cmds, runs=RUNS):
    best = float("inf")
    for _ in range(runs):
        t0 = time.perf_counter()
        for c in cmds:
            subprocess.run(c, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - t0)
    return best * 1000.0


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
                ["vips", "linear", v, o("p1.v"), "1.1", "-12.75"],
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
        ours = {b["name"].split("/")[0]: b["real_time"] for b in json.loads(out.stdout)["benchmarks"]}
        print(f"{'work (12 MP)':<28}{'sorvel ms':>12}{'vips ms':>12}{'vips/sorvel':>14}")
        for name, cmds in vips.items():
            theirs = best_of(cmds, 1 if "Encode" in name else RUNS)
            mine = ours.get(name, float("nan"))
            note = "  (vips: 6 commands, .v files between)" if "Chain" in name else ""
            print(f"{name:<28}{mine:>12.1f}{theirs:>12.1f}{theirs / mine:>14.2f}{note}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
