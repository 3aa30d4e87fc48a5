#!/usr/bin/python3
"""Times `epubreader serve` on the generated 1,051-page book
(scripts/make_render_book.py: 600 x 800 points at em 12, drawn at zoom 200,
so pages of 1200 x 1600 pixels) against the reader's aims: the first page
within 300 ms of the server's start, a page turn within 50 ms of server time.

Usage: bench/serve.py [BUILD_DIR] [RUNS]   (default build/default, 3 runs)

Each run starts the server, asks for the first page as soon as it prints its
address (time to first page: from starting the process to the last byte of
the PNG), turns 40 pages while the rest of the book is still being laid out
in the background, waits until it is all laid out, then turns 200 pages
spread over the whole book, and changes the font size once. Page-turn times
are the server's own (its Server-Timing header: the answer's time and its
thread's CPU time, the steadier figure on a busy machine); the best run
counts.
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VIEW = "w=600&h=800&font=12"


def get(url):
    """The answer's body and its Server-Timing figures: {"app": ms, "cpu": ms}."""
    with urllib.request.urlopen(url) as response:
        body = response.read()
        timing = response.headers.get("Server-Timing", "")
        figures = dict(part.strip().split(";dur=") for part in timing.split(",") if ";dur=" in part)
        return body, {name: float(ms) for name, ms in figures.items()}


def turns(base, pages):
    """Server time and CPU time of each page turn."""
    times = {"app": [], "cpu": []}
    for n in pages:
        body, timing = get(base + "/page.png?n=%d&zoom=200&%s" % (n, VIEW))
        assert body[:4] == b"\x89PNG"
        for name in times:
            times[name].append(timing[name])
    return times


def process_cpu(pid):
    """User and system CPU time a process has used so far, in milliseconds."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def run(program, book):
    started = time.monotonic()
    server = subprocess.Popen([program, "serve", book, "--port", "0"], stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline()
        url = line.rsplit(" ", 1)[1].strip()
        base = url + "api/books/" + json.loads(urllib.request.urlopen(url + "api/books").read())[0]["id"]
        first, _ = get(base + "/page.png?n=0&zoom=200&" + VIEW)
        first_page = (time.monotonic() - started) * 1000
        first_cpu = process_cpu(server.pid)
        assert first[:4] == b"\x89PNG"
        loading = turns(base, range(1, 41))
        while True:
            status = json.loads(get(base + "?" + VIEW)[0])
            if status["complete"]:
                break
            time.sleep(0.05)
        laid_out = (time.monotonic() - started) * 1000
        pages = status["pages"]
        spread = turns(base, [(k * 997) % pages for k in range(1, 201)])
        before = time.monotonic()
        position = json.loads(get(base + "/objects?n=500&" + VIEW)[0])["first"]
        get(base + "/locate?pos=%d&w=600&h=800&font=14" % position)
        relayout = (time.monotonic() - before) * 1000
        return {"first": first_page, "first_cpu": first_cpu, "loading": loading, "spread": spread, "pages": pages,
                "laid_out": laid_out, "relayout": relayout}
    finally:
        server.terminate()
        server.wait()


def describe(times):
    def figures(values):
        ordered = sorted(values)
        return "median %.1f ms, 95th percentile %.1f ms, slowest %.1f ms" % (
            statistics.median(ordered), percentile(ordered), ordered[-1])
    return "server time %s; CPU time %s" % (figures(times["app"]), figures(times["cpu"]))


def percentile(values):
    ordered = sorted(values)
    return ordered[int(len(ordered) * 0.95) - 1]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "default")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    program = os.path.join(build, "tools", "epubreader")
    with tempfile.TemporaryDirectory() as folder:
        book = os.path.join(folder, "book.epub")
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_render_book.py"), book], check=True)
        results = [run(program, book) for _ in range(runs)]
    best = min(results, key=lambda r: statistics.median(r["spread"]["app"]))
    print("book: %d pages at 600 x 800 points, drawn at 1200 x 1600 pixels; %.1f load average" % (
        best["pages"], os.getloadavg()[0]))
    print("time to first page: %.1f ms (best of %d: %s), aim 300 ms: %.2f of the aim" % (
        min(r["first"] for r in results), runs, ", ".join("%.1f" % r["first"] for r in results),
        min(r["first"] for r in results) / 300))
    print("  the server's CPU time until then: %s ms" % ", ".join("%.0f" % r["first_cpu"] for r in results))
    print("page turns while the book is laid out in the background: " + describe(best["loading"]))
    print("page turns over the whole book: " + describe(best["spread"]))
    print("page turn (95th percentile) against the aim of 50 ms: server time %.2f, CPU time %.2f of the aim" % (
        percentile(best["spread"]["app"]) / 50, percentile(best["spread"]["cpu"]) / 50))
    print("whole book laid out %.0f ms after the start; a font change at page 500: %.0f ms" % (
        best["laid_out"], best["relayout"]))


if __name__ == "__main__":
    main()
