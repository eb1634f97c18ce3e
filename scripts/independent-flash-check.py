#!/usr/bin/env python3
"""A second, independent flash check, for what democap --flash-report says.

Simpler on purpose: frame-to-frame changes (no peaks and valleys), a fixed 3x3
grid of blocks (no sliding fields), general flashes only. Reads raw rgb24
frames on stdin:

    democap --size 64x48 [--gentle] --out DIR
    ffmpeg -v error -framerate 50 -i DIR/frame_%05d.png -f rawvideo -pix_fmt rgb24 - |
        scripts/independent-flash-check.py 64 48

Exit status 0 where no block flashes more than three times in a second, else 3.
"""
import sys
W, H = int(sys.argv[1]), int(sys.argv[2])
lin = [((c/255)/12.92 if c/255 <= 0.04045 else ((c/255+0.055)/1.055)**2.4) for c in range(256)]
prev = None; events = [[] for _ in range(9)]; worst = 0; worst_at = 0; frame = 0
bw, bh = W // 3, H // 3
data = sys.stdin.buffer
while True:
    raw = data.read(W * H * 3)
    if len(raw) < W * H * 3: break
    L = [0.2126*lin[raw[i]] + 0.7152*lin[raw[i+1]] + 0.0722*lin[raw[i+2]] for i in range(0, len(raw), 3)]
    if prev is not None:
        up = [0]*9; down = [0]*9
        for y in range(bh*3):
            row = y*W; b0 = (y // bh) * 3
            for x in range(bw*3):
                a, b = prev[row+x], L[row+x]
                if abs(b-a) >= 0.1 and min(a, b) < 0.8:
                    if b > a: up[b0 + x//bw] += 1
                    else: down[b0 + x//bw] += 1
        for k in range(9):
            need = 0.25 * bw * bh
            if up[k] > need or down[k] > need:
                d = 1 if up[k] >= down[k] else -1
                ev = events[k]
                if not ev or ev[-1][1] != d: ev.append((frame, d))
            ev = [e for e in events[k] if e[0] > frame - 50]; events[k] = ev
            f = len(ev) // 2
            if f > worst: worst, worst_at = f, frame
    prev = L; frame += 1
print(f"frames {frame}; most flashes in one second in a block: {worst} (at frame {worst_at}); {'FAILS' if worst > 3 else 'passes'}")
sys.exit(3 if worst > 3 else 0)
