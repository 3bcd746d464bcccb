#!/usr/bin/env python3
"""Lays our drawing of every metafile in a folder beside LibreOffice's.

    compare-metafiles.py FOLDER OUTDIR [--orvelle PATH] [--side 256] [--largest 1024]

Each *.emf and *.wmf file of FOLDER is drawn into the same box, its own proportions
with the longer side --largest pixels, by `orvelle-cli render` and by LibreOffice
(`soffice --headless --convert-to pdf`, Debian package libreoffice-draw-nogui, drawn by
poppler's pdftoppm). Both
drawings are put on white, cropped to what they draw, and fitted into a --side square,
and then compared:
- differ %: the share of the square's pixels whose colours lie more than 20 % apart;
- rmse: the root mean square difference of all channels, from 0 (same) to 1.

OUTDIR gets ours/ and reference/ (the drawings as made), fitted/ (the squares),
scores.tsv (one line a file, largest difference first) and sheet-NN.png contact
sheets of ours | reference | difference, eight files a sheet, for the eye.

A run by hand, not part of the tests: it needs LibreOffice and ImageMagick, and takes
a few seconds a file. Exits 1 when a tool is missing.
"""

import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile

FUZZ = "20%"
FILES_A_SHEET = 8
# ImageMagick's own label font is a PostScript one Debian may lack.
LABEL_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def own_size(orvelle, path):
    """The picture's width and height as orvelle-cli info gives them, or None."""
    fields = run([orvelle, "info", str(path)]).stdout.rstrip("\n").split("\t")
    if len(fields) == 4 and fields[2].isdigit() and fields[3].isdigit():
        return int(fields[2]), int(fields[3])
    return None


def drawn_box(image):
    """The width and height of what an image draws on white, or None."""
    box = run(["convert", str(image), "-background", "white", "-flatten",
               "-format", "%@", "info:"]).stdout.strip()
    size = box.split("+")[0].split("x")
    if len(size) != 2 or not all(v.isdigit() for v in size) or box.startswith(("0x0", "1x1")):
        return None
    return int(size[0]), int(size[1])


def render(orvelle, path, target, width, height):
    result = run([orvelle, "render", str(path), "--size", f"{width}x{height}", "-o", str(target)])
    return "" if result.returncode == 0 else (result.stderr.strip() or "render failed")


def drawing_size(orvelle, path, largest):
    """The picture's own proportions with the longer side `largest` pixels: both
    drawings are made at that size, so that neither is judged through an enlargement."""
    size = own_size(orvelle, path)
    if size is None or size[0] == 0 or size[1] == 0:
        return None
    width, height = size
    scale = largest / max(width, height)
    return max(1, round(width * scale)), max(1, round(height * scale))


def draw_reference(path, target_dir, profile, size):
    """LibreOffice's drawing, as NAME.png. Its PNG export squeezes the page it lays
    the picture on into the box asked for, whatever its proportions, and draws a
    bitmap that it then enlarges; so the picture goes to PDF, whose page keeps its
    proportions, and poppler draws that with the longer side twice ours."""
    run(["soffice", f"-env:UserInstallation=file://{profile}", "--headless",
         "--convert-to", "pdf", "--outdir", str(target_dir), str(path)], timeout=600)
    pdf = target_dir / f"{path.stem}.pdf"
    if pdf.exists():
        run(["pdftoppm", "-png", "-singlefile", "-scale-to", str(2 * max(size)), str(pdf),
             str(target_dir / path.stem)])
        pdf.unlink()


def fit(source, target, side):
    """On white, cropped to what is drawn and fitted into the square; False when
    nothing is drawn."""
    if drawn_box(source) is None:
        return False
    result = run(["convert", str(source), "-background", "white", "-flatten", "-trim", "+repage",
                  "-filter", "box", "-resize", f"{side}x{side}", "-gravity", "center",
                  "-extent", f"{side}x{side}", str(target)])
    return result.returncode == 0


def score(ours, reference, difference, side):
    """The differing share in percent and the RMSE between two fitted squares."""
    # compare prints its metric on standard error and exits 1 when the images differ.
    ae = run(["compare", "-metric", "AE", "-fuzz", FUZZ, str(ours), str(reference),
              str(difference)]).stderr.split()
    rmse = run(["compare", "-metric", "RMSE", str(ours), str(reference), "null:"]).stderr
    differ = 100.0 * float(ae[0]) / (side * side) if ae else float("nan")
    normalised = float(rmse.split("(")[1].rstrip(")\n")) if "(" in rmse else float("nan")
    return differ, normalised


def compare_one(path, args, profile):
    name = path.name
    ours = args.out / "ours" / f"{name}.ppm"
    reference = args.out / "reference" / f"{path.stem}.png"
    fitted = {k: args.out / "fitted" / f"{name}.{k}.png" for k in ("ours", "reference", "difference")}
    row = {"name": name, "differ": float("nan"), "rmse": float("nan")}
    size = drawing_size(args.orvelle, path, args.largest)
    if size is None:
        row["status"] = "ours failed: no size"
        return row
    failure = render(args.orvelle, path, ours, *size)
    draw_reference(path, args.out / "reference", profile, size)
    if failure:
        row["status"] = "ours failed: " + failure.replace("\t", " ")
    elif not reference.exists():
        row["status"] = "reference failed"
    else:
        drew_ours = fit(ours, fitted["ours"], args.side)
        drew_reference = fit(reference, fitted["reference"], args.side)
        if not drew_ours and not drew_reference:
            row["status"] = "both blank"
        elif not drew_ours:
            row["status"] = "ours blank"
        elif not drew_reference:
            row["status"] = "reference blank"
        else:
            row["differ"], row["rmse"] = score(fitted["ours"], fitted["reference"],
                                               fitted["difference"], args.side)
            row["status"] = "compared"
    return row


def contact_sheets(rows, out, side):
    blank = out / "fitted" / "_blank.png"
    run(["convert", "-size", f"{side}x{side}", "xc:#dddddd", str(blank)])
    sheets = []
    for first in range(0, len(rows), FILES_A_SHEET):
        tiles = []
        for row in rows[first:first + FILES_A_SHEET]:
            name = row["name"]
            label = f"{name} {row['differ']:.1f}%" if row["status"] == "compared" else f"{name} {row['status']}"
            for kind in ("ours", "reference", "difference"):
                tile = out / "fitted" / f"{name}.{kind}.png"
                tiles += ["-label", label if kind == "ours" else kind,
                          str(tile if tile.exists() else blank)]
        sheet = out / f"sheet-{first // FILES_A_SHEET + 1:02d}.png"
        font = ["-font", LABEL_FONT] if pathlib.Path(LABEL_FONT).exists() else []
        run(["montage", *tiles, "-tile", "3x", "-geometry", f"{side}x{side}+4+4",
             *font, "-pointsize", "12", str(sheet)])
        sheets.append(sheet)
    return sheets


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("out", type=pathlib.Path)
    parser.add_argument("--orvelle", default=str(pathlib.Path(__file__).resolve().parent.parent
                                                 / "build" / "cli" / "orvelle-cli"))
    parser.add_argument("--side", type=int, default=256)
    parser.add_argument("--largest", type=int, default=1024)
    args = parser.parse_args()

    for tool in ("soffice", "pdftoppm", "convert", "compare", "montage"):
        if shutil.which(tool) is None:
            print(f"compare-metafiles: {tool} is missing (libreoffice-draw-nogui, poppler-utils, "
                  "imagemagick)",
                  file=sys.stderr)
            return 1
    if not pathlib.Path(args.orvelle).exists():
        print(f"compare-metafiles: no orvelle-cli at {args.orvelle}", file=sys.stderr)
        return 1

    files = sorted(p for p in args.folder.iterdir() if p.suffix.lower() in (".emf", ".wmf"))
    for sub in ("ours", "reference", "fitted"):
        (args.out / sub).mkdir(parents=True, exist_ok=True)
    rows = []
    with tempfile.TemporaryDirectory() as profile:
        for path in files:
            row = compare_one(path, args, profile)
            rows.append(row)
            print(f"{row['name']}\t{row['status']}\t{row['differ']:.1f}\t{row['rmse']:.3f}", flush=True)

    # Largest difference first; files that could not be compared after them.
    rows.sort(key=lambda r: (r["status"] != "compared", -(r["differ"] if r["differ"] == r["differ"] else 0)))
    with open(args.out / "scores.tsv", "w") as tsv:
        tsv.write("file\tstatus\tdiffer %\trmse\n")
        for row in rows:
            tsv.write(f"{row['name']}\t{row['status']}\t{row['differ']:.2f}\t{row['rmse']:.4f}\n")
    sheets = contact_sheets(rows, args.out, args.side)
    compared = [r for r in rows if r["status"] == "compared"]
    print(f"compare-metafiles: {len(files)} files, {len(compared)} compared, "
          f"{sum(r['differ'] > 10 for r in compared)} differ in more than 10 % of their pixels; "
          f"{args.out / 'scores.tsv'}, {len(sheets)} contact sheets")
    return 0


if __name__ == "__main__":
    sys.exit(main())
