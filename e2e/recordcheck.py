#!/usr/bin/env python3
"""Reads a recording of e2e/recordpage.cpp back by pixels and checks it.

Every stored picture is decoded (ffmpeg, each frame once as stored) and its frame number read
from the page's seven-segment digits and its square's place. Checks: the length within 5 %,
frame numbers that only go up and keep pace with the file's own timestamps, no number repeated
more often than pacing explains, the square where that number puts it, and the area's border
rows and columns the page's white (a recording control or frame over the area would show
there). Prints PASS/FAIL lines; the exit status is the number of failed checks.

usage: recordcheck.py FILE --duration SECONDS --origin X,Y [--label NAME]
  --origin: where the recorded area's top-left lies on the page, in the page's pixels.
"""
import argparse
import json
import subprocess
import sys

RATE = 30  # the page's frame numbers per second
DIGITS, DIGIT_X, DIGIT_STEP, DIGIT_Y, DW, DH, DT = 5, 20, 70, 20, 48, 88, 12
SQUARE_X, SQUARE_Y, SQUARE, SQUARE_STEP, SQUARE_SPAN = 20, 150, 40, 8, 400
SEGMENTS = {  # where each segment's middle lies in a digit's cell
    'a': (DW // 2, DT // 2), 'b': (DW - DT // 2, DH // 4), 'c': (DW - DT // 2, 3 * DH // 4),
    'd': (DW // 2, DH - DT // 2), 'e': (DT // 2, 3 * DH // 4), 'f': (DT // 2, DH // 4),
    'g': (DW // 2, DH // 2)}
LIT = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"]
DIGIT_OF = {frozenset(s): d for d, s in enumerate(LIT)}

failures = 0


def check(what, ok, detail=""):
    global failures
    print(f"{'PASS' if ok else 'FAIL'}: {what}" + (f" — {detail}" if detail else ""), flush=True)
    if not ok:
        failures += 1


def probe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
         "stream=width,height:format=duration:frame=best_effort_timestamp_time,pkt_duration_time",
         "-of", "json", path], capture_output=True, text=True, check=True).stdout
    info = json.loads(out)
    stream = info["streams"][0]
    times = []
    for f in info.get("frames", []):
        t = f.get("best_effort_timestamp_time")
        if t not in (None, "N/A"):
            times.append((float(t), float(f.get("pkt_duration_time", 0) or 0)))
    return stream["width"], stream["height"], float(info["format"].get("duration", 0)), times


def frames(path, w, h):
    proc = subprocess.Popen(
        ["ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f", "rawvideo",
         "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE)
    size = w * h * 3
    while True:
        data = proc.stdout.read(size)
        if len(data) < size:
            break
        yield data
    proc.wait()


class Picture:
    def __init__(self, data, w, h, ox, oy):
        self.data, self.w, self.h, self.ox, self.oy = data, w, h, ox, oy

    def rgb(self, x, y):  # in the area's pixels
        i = (y * self.w + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def dark(self, px, py):  # the page's pixels: the mean of 4×4 around, dark or not
        total = 0
        for y in range(py - 2 - self.oy, py + 2 - self.oy):
            for x in range(px - 2 - self.ox, px + 2 - self.ox):
                total += sum(self.rgb(x, y))
        return total / 48 < 110

    def number(self):
        n = 0
        for k in range(DIGITS):
            x0, y0 = DIGIT_X + DIGIT_STEP * k, DIGIT_Y
            lit = frozenset(s for s, (dx, dy) in SEGMENTS.items() if self.dark(x0 + dx, y0 + dy))
            if lit not in DIGIT_OF:
                return None
            n = n * 10 + DIGIT_OF[lit]
        return n

    def square_left(self):  # the page's x of the square's left edge, from its red pixels
        y = SQUARE_Y + SQUARE // 2 - self.oy
        xs = [x for x in range(self.w) if (lambda r, g, b: r > 150 and g < 100 and b < 100)(
            *self.rgb(x, y))]
        if not xs:
            return None
        return (min(xs) + max(xs) + 1) / 2 - SQUARE / 2 + self.ox

    def border_foreign(self):  # pixels of the border rows and columns that are not the page's white
        edge = [(x, y) for y in (0, 1, self.h - 2, self.h - 1) for x in range(self.w)]
        edge += [(x, y) for x in (0, 1, self.w - 2, self.w - 1) for y in range(self.h)]
        return sum(1 for x, y in edge if min(self.rgb(x, y)) < 200)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--duration", type=float, required=True)
    parser.add_argument("--origin", required=True)
    parser.add_argument("--label", default="")
    args = parser.parse_args()
    ox, oy = (int(v) for v in args.origin.split(","))
    label = args.label or args.file
    w, h, duration, times = probe(args.file)

    length = duration or (times[-1][0] + times[-1][1] - times[0][0] if times else 0)
    check(f"{label}: lasts {args.duration} s within 5 %",
          abs(length - args.duration) <= 0.05 * args.duration, f"{length:.3f} s")

    numbers, squares, foreign = [], [], 0
    for data in frames(args.file, w, h):
        pic = Picture(data, w, h, ox, oy)
        numbers.append(pic.number())
        squares.append(pic.square_left())
        foreign = max(foreign, pic.border_foreign())
    check(f"{label}: every stored frame is decoded once, with its time",
          len(numbers) == len(times) and len(numbers) > 1, f"{len(numbers)} pictures, {len(times)} times")
    unread = sum(1 for n in numbers if n is None)
    check(f"{label}: every frame's number can be read", unread == 0, f"{unread} of {len(numbers)} not")
    known = [(n, t[0], s) for n, t, s in zip(numbers, times, squares) if n is not None]
    if len(known) < 2:
        check(f"{label}: frames to compare", False)
        return failures

    steps = [b[0] - a[0] for a, b in zip(known, known[1:])]
    check(f"{label}: frame numbers never go back", min(steps) >= 0,
          f"steps {sorted(set(steps))}")
    # The page and the recording each count 30 a second on clocks of their own: a picture may
    # be taken twice before the page paints the next, now and then, not often.
    repeats = sum(1 for s in steps if s == 0)
    check(f"{label}: no frame repeated more often than pacing explains",
          repeats <= max(2, len(steps) // 10), f"{repeats} repeats in {len(steps)} steps")
    n0, t0 = known[0][0], known[0][1]
    worst = max(abs((n - n0) - (t - t0) * RATE) for n, t, _ in known)
    check(f"{label}: each frame shows the page as it was at the frame's time", worst <= 2.5,
          f"at worst {worst:.1f} page frames apart")
    wrong = [(n, s) for n, _, s in known
             if s is None or abs(s - (SQUARE_X + n * SQUARE_STEP % SQUARE_SPAN)) > 3]
    check(f"{label}: the square's path matches the frame numbers", not wrong,
          f"{len(wrong)} frames off, first {wrong[:3]}")
    check(f"{label}: nothing but the page at the area's edges (no control, no frame)",
          foreign == 0, f"{foreign} foreign pixels on a frame's border at most")
    return failures


if __name__ == "__main__":
    sys.exit(main())
