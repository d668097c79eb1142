#!/usr/bin/python3
"""first_light.py FIFO WINDOW-ID [BURSTS]: the lag from a sound entering the microphone to the
first lit pixel of the window, as a user's eye would see it.

FIFO feeds the sound server's pipe microphone (s16le, 44100 Hz, mono). A writer paced by the
clock sends silence in 5 ms chunks and, every 1.5 s, a 40 ms burst of noise. Meanwhile a band
of rows across the window is read straight from the X server every few milliseconds; a burst's
lag is the time from writing its first chunk to the first read in which any pixel of the band is
lit. A band still lit when a burst begins makes that burst unclean (not counted).
Prints one line per burst and a summary line with the median, the spread and the count."""
import os
import random
import struct
import sys
import threading
import time

from Xlib import X, display

RATE = 44100
CHUNK = RATE // 200  # 5 ms
BURST_CHUNKS = 8     # 40 ms
FIRST_BURST_S = 3.0  # the program starts recording meanwhile
BURST_EVERY_S = 1.5
LIT = 90             # red + green + blue above this is lit
WAIT_S = 1.0         # a burst not seen within this is missed


def main():
    fifo, window_id = sys.argv[1], int(sys.argv[2], 0)
    bursts = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    rng = random.Random(21)
    noise = [struct.pack('<%dh' % CHUNK, *(rng.randint(-20000, 20000) for _ in range(CHUNK)))
             for _ in range(BURST_CHUNKS)]
    silence = bytes(2 * CHUNK)
    onsets = []
    done = threading.Event()

    def write_sound():
        fd = os.open(fifo, os.O_WRONLY)
        start = time.monotonic()
        written = 0
        next_burst = start + FIRST_BURST_S
        left = 0
        while not done.is_set():
            now = time.monotonic()
            if left == 0 and now >= next_burst and len(onsets) < bursts:
                onsets.append(now)
                left = BURST_CHUNKS
                next_burst = now + BURST_EVERY_S
            os.write(fd, noise[BURST_CHUNKS - left] if left else silence)
            left = max(left - 1, 0)
            written += 1
            delay = start + written * CHUNK / RATE - time.monotonic()
            if delay > 0:
                time.sleep(delay)
        os.close(fd)

    screen = display.Display()
    window = screen.create_resource_object('window', window_id)
    geometry = window.get_geometry()
    width, height = geometry.width, geometry.height
    rows = [height // 2 + 12, height // 2 + 40, height // 2 - 40]

    def lit():
        for y in rows:
            data = window.get_image(4, y, width - 8, 1, X.ZPixmap, 0xffffffff).data
            for i in range(0, len(data) - 3, 4):
                if data[i] + data[i + 1] + data[i + 2] > LIT:
                    return True
        return False

    threading.Thread(target=write_sound, daemon=True).start()
    lags, unclean = [], 0
    for b in range(bursts):
        while len(onsets) <= b:
            time.sleep(0.001)
        onset = onsets[b]
        if lit():
            unclean += 1
            print(f"burst {b + 1}: band already lit")
            continue
        seen = None
        while time.monotonic() < onset + WAIT_S:
            if lit():
                seen = time.monotonic()
                break
        if seen is None:
            print(f"burst {b + 1}: not seen")
        else:
            lags.append(1000 * (seen - onset))
            print(f"burst {b + 1}: {lags[-1]:.0f} ms")
    done.set()
    if not lags:
        print("first light: no burst was seen in the window")
        return 1
    lags.sort()
    median = lags[len(lags) // 2]
    print(f"first light: median {median:.0f} ms, {lags[0]:.0f} to {lags[-1]:.0f} ms "
          f"({len(lags)} bursts, {unclean} unclean)")
    return 0


if __name__ == '__main__':
    sys.exit(main())
