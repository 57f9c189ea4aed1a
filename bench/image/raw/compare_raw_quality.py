#!/usr/bin/env python3
"""Picture quality of RAW developers on the virtual rig's chart and star, side by side, in one run.

The rig writes DNGs of its built-in scene at ISO 100, 800 and 3200 (lens locked on the chart and
the star, the same light at every ISO) and the truth: the same capture without noise, worked back
to scene light. Every developer develops every DNG; raw_quality measures each picture against the
truth (PictureQuality.h says how) and this prints one table per ISO, then the goals:

  ours            our developer at the deep mode's options (raw_quality develop)
  ours, NR off    the same with the noise reduction off: what the demosaic alone leaves
  ours before     (with --before RAW_QUALITY) another build's raw_quality, e.g. of main
  dcraw_emu AHD   LibRaw's dcraw_emu: as-shot white balance, sRGB, linear 16 bits, AHD
  dcraw_emu -n N  the same with its wavelet denoise at threshold N (100 and 1000, the ends of the
                  range its documentation suggests)
  darktable       darktable-cli with its default processing (a fresh configuration), 16-bit TIFF
  RawTherapee     rawtherapee-cli with its default processing profile (-d), 16-bit TIFF
  truth           the truth measured as a picture: the sensor's own limits (its MTF50)

Usage: compare_raw_quality.py BUILD_DIR [--before RAW_QUALITY] [--keep DIR] [--json FILE]"""
import argparse, json, os, shutil, subprocess, sys, tempfile, time

parser = argparse.ArgumentParser()
parser.add_argument("build")
parser.add_argument("--before", help="another raw_quality binary, shown as 'ours before'")
parser.add_argument("--keep", help="keep the DNGs and pictures in this folder")
parser.add_argument("--json", help="write every figure to this file")
args = parser.parse_args()
tool = os.path.join(args.build, "bench/image/raw/raw_quality")
ISOS = (100, 800, 3200)


def run(cmd, **kw):
    t0 = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    return time.monotonic() - t0


def developers(work):
    """(name, encoding, function(dng, out) -> seconds)."""
    def ours(binary, plain=False):
        return lambda dng, out: run([binary, "develop", dng, out] + (["--plain"] if plain else []))

    def dcraw(extra):
        def develop(dng, out):
            seconds = run(["dcraw_emu", "-w", "-o", "1", "-4", "-q", "3"] + extra + ["-T", dng])
            os.replace(dng + ".tiff", out)
            return seconds
        return develop

    def darktable(dng, out):
        config = os.path.join(work, "darktable-config")
        shutil.rmtree(config, ignore_errors=True)
        return run(["darktable-cli", dng, out, "--core", "--configdir", config, "--library", ":memory:",
                    "--conf", "plugins/imageio/format/tiff/bpp=16"])

    def rawtherapee(dng, out):
        return run(["rawtherapee-cli", "-o", out, "-d", "-b16", "-t", "-Y", "-c", dng])

    rows = [("ours", "linear", ours(tool)), ("ours, NR off", "linear", ours(tool, plain=True))]
    if args.before:
        rows.append(("ours before", "linear", ours(args.before)))
    rows += [("dcraw_emu AHD", "linear", dcraw([])), ("dcraw_emu AHD -n 100", "linear", dcraw(["-n", "100"])),
             ("dcraw_emu AHD -n 1000", "linear", dcraw(["-n", "1000"])), ("darktable", "srgb", darktable),
             ("RawTherapee", "srgb", rawtherapee)]
    return rows


def measure(truth, picture, encoding):
    cmd = [tool, "measure", truth, picture] + (["--srgb"] if encoding == "srgb" else [])
    return json.loads(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout)


def table(results):
    head = ("| developer | luma noise | colour noise | ground colour noise | colour halo beyond 2 px (mean / worst) "
            "| halo width (px) | luma halo beyond 2 px | MTF50 (cy/px) | low-contrast edge (px) | ΔE00 exp.+WB "
            "| ΔE00 tone matched | time (s) |")
    lines = [head, "|---|" + "---:|" * 11]
    for name, f, seconds in results:
        common = (f"| {name} | {f['luma_noise']:.2f} | {f['chroma_noise']:.2f} | {f['ground_chroma_noise']:.2f} ")
        if seconds is None:  # the truth itself: only its sharpness means something
            lines.append(common + f"| – | – | – | {f['mtf50']:.3f} | {f['edge_width']:.2f} | – | – | – |")
            continue
        lines.append(common + f"| {f['chroma_halo_beyond_2']:.2f} / {f['worst_chroma_halo_beyond_2']:.2f} "
                     f"| {f['halo_width']} | {f['luma_halo_beyond_2']:.2f} | {f['mtf50']:.3f} | {f['edge_width']:.2f} "
                     f"| {f['delta_e00_balanced']:.2f} | {f['delta_e00_toned']:.2f} | {seconds:.1f} |")
    return "\n".join(lines)


def goals(iso, results):
    by = {name: f for name, f, _ in results}
    ours = by["ours"]
    out = []
    colour_ok = ours["worst_chroma_halo_beyond_2"] < ours["ground_chroma_noise"]
    luma_ok = ours["luma_halo_beyond_2"] < ours["ground_luma_noise"]
    out.append(f"- ISO {iso}: colour error beyond 2 px {ours['worst_chroma_halo_beyond_2']:.2f} (worst patch) against "
               f"the ground's colour noise {ours['ground_chroma_noise']:.2f}: {'met' if colour_ok else 'NOT met'}; "
               f"luminance error beyond 2 px {ours['luma_halo_beyond_2']:.2f} against its noise "
               f"{ours['ground_luma_noise']:.2f}: {'met' if luma_ok else 'NOT met'}")
    for name, f, _ in results:
        if name.startswith("ours") or name == "truth":
            continue
        less = ours["chroma_noise"] < f["chroma_noise"] and ours["luma_noise"] < f["luma_noise"]
        # equal within what two runs of one developer differ by
        star = ours["mtf50"] >= f["mtf50"] - 0.002
        edge = ours["edge_width"] <= f["edge_width"] + 0.02
        out.append(f"  - vs {name}: noise {'lower' if less else 'NOT lower'} (colour {ours['chroma_noise']:.2f} / "
                   f"{f['chroma_noise']:.2f}, luma {ours['luma_noise']:.2f} / {f['luma_noise']:.2f}); MTF50 "
                   f"{ours['mtf50']:.3f} / {f['mtf50']:.3f} ({'equal or better' if star else 'LOWER'}); low-contrast "
                   f"edge {ours['edge_width']:.2f} / {f['edge_width']:.2f} px "
                   f"({'equal or sharper' if edge else 'WIDER'})")
    plain = by["ours, NR off"]
    out.append(f"  - colour noise of the flat patches falls by {plain['chroma_noise'] / ours['chroma_noise']:.1f}x "
               f"(NR off {plain['chroma_noise']:.2f} -> {ours['chroma_noise']:.2f}), luma noise by "
               f"{plain['luma_noise'] / ours['luma_noise']:.1f}x")
    return "\n".join(out)


work = args.keep or tempfile.mkdtemp(prefix="sorvel-raw-quality-")
os.makedirs(work, exist_ok=True)
try:
    subprocess.run([tool, "make", work], check=True)
    truth = os.path.join(work, "truth.tif")
    everything = {}
    reports = []
    for iso in ISOS:
        dng = os.path.join(work, f"iso{iso}.dng")
        results = []
        for name, encoding, develop in developers(work):
            out = os.path.join(work, f"iso{iso}-{name.replace(' ', '_').replace(',', '')}.tif")
            seconds = develop(dng, out)
            results.append((name, measure(truth, out, encoding), seconds))
        results.append(("truth", measure(truth, truth, "linear"), None))
        everything[iso] = {name: dict(f, seconds=s) for name, f, s in results}
        reports.append(f"### ISO {iso}\n\n{table(results)}\n\n{goals(iso, results)}\n")
        print(reports[-1], flush=True)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(everything, f, indent=1)
finally:
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
