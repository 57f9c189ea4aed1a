#!/usr/bin/env python3
"""RAW development of the same 12 MP DNG, side by side: our developer (decode, AHD demosaic,
default noise reduction and sharpening, render to half float) and LibRaw's dcraw_emu (decode,
AHD demosaic, 16-bit linear TIFF written to a temporary folder). Usage: compare_dcraw_emu.py BUILD_DIR [RUNS]"""
import os, subprocess, sys, tempfile, time

build = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
bench = os.path.join(build, "bench/image/filters/filter_bench")
with tempfile.TemporaryDirectory() as tmp:
    dng = os.path.join(tmp, "photo12mp.dng")
    subprocess.run([bench, "--make-dng", dng], check=True)
    ours, theirs = [], []
    for _ in range(runs):
        out = subprocess.run([bench, "--develop", dng], check=True, capture_output=True, text=True)
        ours.append(float(out.stdout.strip()))
        t0 = time.monotonic()
        # -w as shot white balance, -o 1 sRGB, -4 linear 16-bit, -q 3 AHD, -T TIFF (written beside
        # the DNG, in the temporary folder)
        subprocess.run(["dcraw_emu", "-w", "-o", "1", "-4", "-q", "3", "-T", dng],
                       check=True, capture_output=True)
        theirs.append(time.monotonic() - t0)
    print(f"12 MP DNG, best of {runs}: ours {min(ours):.3f} s, dcraw_emu {min(theirs):.3f} s")
