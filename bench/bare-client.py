#!/usr/bin/env python3
"""The least a program can do with the box: request a frame, read it, repeat.

Starts quarn-boxsim already at the chosen rate (no connection sequence), then
requests and reads frames for a fixed time and prints the frame rate, the
fraction of the wire limit and its own CPU. It is the yardstick for the
dashboard's frame rate: both run against the same simulated line, so the
line's own cost is in both figures.

    bench/bare-client.py SECONDS BUILD_DIR [RATE] [LATENCY_MS] [extra boxsim args...]
"""
import os
import resource
import subprocess
import sys
import termios
import time

FRAME = 38


def main():
    seconds = float(sys.argv[1])
    build = sys.argv[2]
    rate = int(sys.argv[3]) if len(sys.argv) > 3 else 115200
    latency_ms = float(sys.argv[4]) if len(sys.argv) > 4 else 0.5
    extra = sys.argv[5:]
    sim = subprocess.Popen(
        [os.path.join(build, "bin", "quarn-boxsim"), "--pace", "--latency", str(latency_ms),
         "--start-rate", str(rate), "--max-rate", str(rate)] + extra,
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        device = sim.stdout.readline().strip()
        fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        attrs = termios.tcgetattr(fd)
        speed = getattr(termios, f"B{rate}")
        # Raw, 8N1, and a read that returns once the whole frame is in (or
        # 0.3 s after the first byte, so a lost byte cannot hang the run).
        attrs[0] = 0
        attrs[1] = 0
        attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
        attrs[3] = 0
        attrs[4] = attrs[5] = speed
        attrs[6][termios.VMIN] = FRAME
        attrs[6][termios.VTIME] = 3
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
        termios.tcflush(fd, termios.TCIOFLUSH)

        frames = 0
        cpu0 = resource.getrusage(resource.RUSAGE_SELF)
        start = time.monotonic()
        while time.monotonic() - start < seconds:
            os.write(fd, b"f")
            got = 0
            while got < FRAME:
                chunk = os.read(fd, FRAME - got)
                if not chunk:
                    break
                got += len(chunk)
            if got == FRAME:
                frames += 1
        wall = time.monotonic() - start
        cpu1 = resource.getrusage(resource.RUSAGE_SELF)
        os.close(fd)
    finally:
        sim.terminate()
        sim.wait()
    cpu = (cpu1.ru_utime - cpu0.ru_utime) + (cpu1.ru_stime - cpu0.ru_stime)
    limit = 1 / ((FRAME + 1) * 10 / rate + latency_ms / 1000)
    print(f"bare client: {frames / wall:.1f} frames/s ({frames / wall / limit:.3f} of the wire "
          f"limit {limit:.1f}/s), CPU {100 * cpu / wall:.1f} % of a core")


if __name__ == "__main__":
    main()
