#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Press to sound of any program, watched from outside: real X key presses (XTest) into the
focused window, the sound recorded at a PulseAudio monitor source. Prints one JSON object.

  outside_press_probe.py --source cap.monitor --key space [--before-key Tab --before-ms 150]
                         --presses 40 --label NAME

Before each press the monitor must have been silent for --silence-ms; the key is held until the
sound starts (or --give-up-ms pass), then for --hold-ms more, and released. A press whose sound
never came counts as silent. Times run from just before the key event goes to the X server to the
first sample at or above --threshold (16-bit steps) on the monitor.

The reader stamps each block when it arrives, which a busy machine may delay; the time of a sample
is therefore taken from the stream's position: every block's arrival less its end position gives
an upper bound of the moment the stream began, and the least of them, over the blocks around the
press, is the closest. The monitor's own latency (its blocks of --block-frames) remains in every
figure alike, whatever program plays.
"""
import argparse
import array
import bisect
import ctypes
import json
import math
import os
import threading
import time

RATE = 48000
CHANNELS = 2
PA_SAMPLE_S16LE = 3
PA_STREAM_RECORD = 2


class SampleSpec(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32)
                for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]


class Recorder:
    """Reads the monitor on a thread of its own and keeps, per block, its arrival, its end
    position in frames and the index of its first loud frame (or -1)."""

    def __init__(self, source, block_frames, threshold):
        self.pulse = ctypes.CDLL("libpulse-simple.so.0")
        self.pulse.pa_simple_new.restype = ctypes.c_void_p
        self.pulse.pa_simple_new.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int,
                                             ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p,
                                             ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
        self.pulse.pa_simple_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                              ctypes.c_void_p]
        self.pulse.pa_simple_free.argtypes = [ctypes.c_void_p]
        spec = SampleSpec(PA_SAMPLE_S16LE, RATE, CHANNELS)
        block_bytes = block_frames * CHANNELS * 2
        attr = BufferAttr(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, block_bytes)
        error = ctypes.c_int(0)
        self.stream = self.pulse.pa_simple_new(None, b"outside_press_probe", PA_STREAM_RECORD,
                                               source.encode(), b"onset", ctypes.byref(spec),
                                               None, ctypes.byref(attr), ctypes.byref(error))
        if not self.stream:
            raise SystemExit(f"outside_press_probe: cannot record {source} (error {error.value})")
        self.block_bytes = block_bytes
        self.threshold = threshold
        self.blocks = []  # (arrival ns, end frame, first loud frame or -1)
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        buffer = ctypes.create_string_buffer(self.block_bytes)
        frames = 0
        error = ctypes.c_int(0)
        while self.running:
            if self.pulse.pa_simple_read(self.stream, buffer, self.block_bytes,
                                         ctypes.byref(error)) < 0:
                break
            arrival = time.monotonic_ns()
            samples = array.array("h", buffer.raw)
            loud = -1
            if max(samples) >= self.threshold or -min(samples) >= self.threshold:
                loud = next(i for i, s in enumerate(samples) if abs(s) >= self.threshold) // CHANNELS
            count = len(samples) // CHANNELS
            with self.lock:
                self.blocks.append((arrival, frames + count, frames + loud if loud >= 0 else -1))
            frames += count

    def snapshot(self):
        with self.lock:
            return list(self.blocks)

    def silent_for(self, ns):
        """Whether the blocks of the last ns held no loud frame (and span that much)."""
        blocks = self.snapshot()
        if not blocks:
            return False
        newest = blocks[-1][0]
        covered = 0
        for arrival, _, loud in reversed(blocks):
            if loud >= 0:
                return False
            covered = newest - arrival
            if covered >= ns:
                return True
        return False


class Keyboard:
    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("outside_press_probe: no X display")

    def keycode(self, name):
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))
        if not code:
            raise SystemExit(f"outside_press_probe: no key {name}")
        return code

    def send(self, code, down):
        """Returns the moment just before the event left for the server."""
        sent = time.monotonic_ns()
        self.xtst.XTestFakeKeyEvent(self.display, code, 1 if down else 0, 0)
        self.x11.XFlush(self.display)
        return sent

    def sync(self):
        self.x11.XSync(self.display, 0)


def wait_until(condition, timeout_ns, step=0.002):
    deadline = time.monotonic_ns() + timeout_ns
    while not condition():
        if time.monotonic_ns() > deadline:
            return False
        time.sleep(step)
    return True


def onset_ns(recorder, sent):
    """The moment the first loud frame after `sent` reached the monitor, or None."""
    blocks = recorder.snapshot()
    arrival_of = lambda block: block[0]
    second = 1_000_000_000
    for index in range(bisect.bisect_right(blocks, sent, key=arrival_of), len(blocks)):
        arrival, _, loud = blocks[index]
        if loud < 0:
            continue
        # Blocks arriving within a second either side fix the stream's start the most closely.
        near = blocks[bisect.bisect_left(blocks, arrival - second, key=arrival_of):
                      bisect.bisect_right(blocks, arrival + second, key=arrival_of)]
        return min(a - end * second // RATE for a, end, _ in near) + loud * second // RATE
    return None


def percentile(sorted_values, fraction):
    if not sorted_values:
        return None
    rank = max(0, math.ceil(fraction * len(sorted_values)) - 1)
    return sorted_values[rank]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", default="cap.monitor")
    parser.add_argument("--key", default="space")
    parser.add_argument("--before-key", default="")
    parser.add_argument("--before-ms", type=float, default=150)
    parser.add_argument("--presses", type=int, default=40)
    parser.add_argument("--warm-up", type=int, default=2)
    parser.add_argument("--label", default="")
    parser.add_argument("--threshold", type=int, default=4)
    parser.add_argument("--block-frames", type=int, default=48)
    parser.add_argument("--silence-ms", type=float, default=300)
    parser.add_argument("--give-up-ms", type=float, default=1000)
    parser.add_argument("--hold-ms", type=float, default=150)
    args = parser.parse_args()

    recorder = Recorder(args.source, args.block_frames, args.threshold)
    keyboard = Keyboard()
    key = keyboard.keycode(args.key)
    before = keyboard.keycode(args.before_key) if args.before_key else None
    # The recorder's first blocks come late; nothing counts until they flow.
    if not wait_until(lambda: len(recorder.snapshot()) > 10, 10_000_000_000):
        raise SystemExit("outside_press_probe: the monitor gives nothing")

    times_ms = []
    silent = 0
    loud_before = 0
    for number in range(args.warm_up + args.presses):
        if not wait_until(lambda: recorder.silent_for(int(args.silence_ms * 1e6)), 10_000_000_000):
            loud_before += 1
        if before is not None:
            keyboard.send(before, True)
            keyboard.send(before, False)
            keyboard.sync()
            time.sleep(args.before_ms / 1000)
        sent = keyboard.send(key, True)
        heard = wait_until(lambda: onset_ns(recorder, sent) is not None,
                           int(args.give_up_ms * 1e6))
        time.sleep(args.hold_ms / 1000)
        keyboard.send(key, False)
        keyboard.sync()
        if number < args.warm_up:
            continue
        if heard:
            times_ms.append((onset_ns(recorder, sent) - sent) / 1e6)
        else:
            silent += 1
    recorder.running = False

    ordered = sorted(times_ms)
    print(json.dumps({
        "label": args.label,
        "presses": args.presses,
        "silent": silent,
        "not_silent_before": loud_before,
        "p50_ms": percentile(ordered, 0.5),
        "p90_ms": percentile(ordered, 0.9),
        "p99_ms": percentile(ordered, 0.99),
        "max_ms": ordered[-1] if ordered else None,
        "times_ms": times_ms,
    }))
    os._exit(0)  # the reader thread may sit in a blocking read


if __name__ == "__main__":
    main()
