#!/usr/bin/env python3
"""RAW development of the same 12 MP DNG, side by side, in one run:
  ours       filter_bench --develop: header read, decode and demosaic (our own Malvar-He-Cutler on
             all cores for Bayer sensors), the developer's default noise reduction, sharpening and
             tone curve, render to half-float Display P3;
  ours-raw   deep_mode_bench DeepDecodeDemosaic/0 (when built): decode and demosaic only, the part
             that does the same work as dcraw_emu;
  dcraw_emu  LibRaw's own tool: decode, AHD demosaic (single-threaded), 16-bit linear TIFF written
             to a temporary folder.
Wall time (best of RUNS) and CPU time (user + system, of the same run) for each; the machine is
shared, so the CPU time says more about the work than the wall time does.
Usage: compare_dcraw_emu.py BUILD_DIR [RUNS]"""
import json, os, resource, subprocess, sys, tempfile, time

build = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
bench = os.path.join(build, "bench/image/filters/filter_bench")
deep = os.path.join(build, "bench/app/deep_mode_bench")


def timed(cmd):
    """Runs cmd; returns (wall seconds, child CPU seconds, stdout)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, out


with tempfile.TemporaryDirectory() as tmp:
    dng = os.path.join(tmp, "photo12mp.dng")
    subprocess.run([bench, "--make-dng", dng], check=True)
    rows = {"ours": [], "dcraw_emu": []}
    for _ in range(runs):
        wall, cpu, out = timed([bench, "--develop", dng])
        # filter_bench prints its own wall time (without process start and file read)
        rows["ours"].append((float(out.strip()), cpu))
        # -w as shot white balance, -o 1 sRGB, -4 linear 16-bit, -q 3 AHD, -T TIFF (written beside
        # the DNG, in the temporary folder)
        wall, cpu, _ = timed(["dcraw_emu", "-w", "-o", "1", "-4", "-q", "3", "-T", dng])
        rows["dcraw_emu"].append((wall, cpu))
    if os.path.exists(deep):
        _, _, out = timed([deep, "--benchmark_filter=DeepDecodeDemosaic/0", "--benchmark_format=json"])
        b = json.loads(out)["benchmarks"][0]
        # the rig's 12 MP DNG (same sensor size), milliseconds per iteration; the benchmark's CPU
        # time counts its main thread only, so none is shown
        rows["ours-raw"] = [(b["real_time"] / 1000, None)]
    theirs = min(w for w, _ in rows["dcraw_emu"])
    print(f"12 MP DNG, best of {runs}:")
    for name in ("ours", "ours-raw", "dcraw_emu"):
        if name not in rows:
            continue
        wall, cpu = min(rows[name], key=lambda r: r[0])
        cpu_text = f"{cpu:6.3f} s cpu" if cpu is not None else "     - s cpu"
        print(f"  {name:10s} {wall:6.3f} s wall  {cpu_text}  {wall / theirs:5.2f} x dcraw_emu")
