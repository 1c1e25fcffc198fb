#!/usr/bin/env python3
"""Runs the benchmark suite against a Release build and prints one table.

    run_suite.py --build BUILD_DIR --source SOURCE_DIR [--out TABLE.md] [--quick]

Every figure is a median of repeated runs made in this one invocation;
comparisons (GUI run against the extractor, extractor against gzip) are
ratios of runs made back to back, so that the load other people put on the
machine hits both sides alike. Extraction goes to a tmpfs (/dev/shm), so the
figures are of decoding and the file system's memory side, not of a disk.

Benchmark data (generated once, kept in BUILD_DIR/bench-data):
  mixed  the demo generator's content at scale 37 (about 170 MiB of text,
         structured binary, gradients and incompressible noise in some 800
         files), packed into 16 MiB volumes: an archive of over 100 MiB
  long   one 80 MiB file of text with binary stretches, packed into 32 MiB
         volumes: an entry long enough to cancel in the middle of
"""
import argparse
import json
import os
import random
import re
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from xdisplay import XDisplay  # noqa: E402

DATA_VERSION = {"mixed": "37x16M", "long": "80M"}  # change when a recipe changes


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def median(values):
    return statistics.median(values) if values else float("nan")


def run(cmd, **kwargs):
    return subprocess.run(cmd, check=True, **kwargs)


def output_pairs(text):
    """'name value' lines into a dict of floats."""
    pairs = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                pairs[parts[0]] = float(parts[1])
            except ValueError:
                pass
    return pairs


def bytes_below(folder):
    total = 0
    for base, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            if os.path.isfile(path) and not os.path.islink(path):
                total += os.path.getsize(path)
    return total


# ---- benchmark data ----------------------------------------------------------


def long_entry_bytes(size):
    """Deterministic text with binary stretches: compresses like a game's
    data file, so decoding is neither trivial nor incompressible."""
    rng = random.Random(20261207)
    words = ("harbour signal copper lantern meadow ember glacier cobalt orbit thunder "
             "willow atlas quiet pixel squad tower forge island wind airship").split()
    parts, have = [], 0
    while have < size:
        if rng.random() < 0.2:
            chunk = rng.randbytes(rng.randint(2_000, 40_000))
        else:
            lines = []
            for _ in range(rng.randint(50, 400)):
                lines.append(" ".join(rng.choice(words) for _ in range(rng.randint(4, 14))))
            chunk = ("\r\n".join(lines) + "\r\n").encode()
        parts.append(chunk)
        have += len(chunk)
    return b"".join(parts)[:size]


def pack(tools, content, release, archive, volume_size, extra):
    run([tools["mkrelease"], "--quiet", "--archive", archive, "--title", "Benchmark " + archive,
         "--publisher", "Bench", "--volume-size", volume_size, "--date", "2026-03-14T12:00:00", *extra,
         content, release], stdout=subprocess.DEVNULL)


def gzip_content(base):
    """The same content for gzip: one tar stream, default level."""
    with open(os.path.join(base, "content.tar.gz"), "wb") as out:
        tar = subprocess.Popen(["tar", "-cf", "-", "-C", os.path.join(base, "content"), "."], stdout=subprocess.PIPE)
        run(["gzip", "-6", "-c"], stdin=tar.stdout, stdout=out)
        tar.wait()


def make_data(args, tools):
    """Each data set is made once and kept beside a stamp of its recipe."""
    data = os.path.join(args.build, "bench-data")
    emblem = os.path.join(args.source, "assets", "install.dat")

    def needed(name):
        stamp = os.path.join(data, name, "stamp")
        if os.path.exists(stamp) and open(stamp).read().strip() == DATA_VERSION[name]:
            return False
        log(f"making the benchmark data set {name!r} (once)")
        shutil.rmtree(os.path.join(data, name), ignore_errors=True)
        os.makedirs(os.path.join(data, name))
        return True

    def done(name):
        with open(os.path.join(data, name, "stamp"), "w") as handle:
            handle.write(DATA_VERSION[name] + "\n")

    # mixed: the demo generator's content, about 5 MiB per scale step
    if needed("mixed"):
        mixed = os.path.join(data, "mixed")
        run([tools["demogen"], mixed, "--scale", "37"], stdout=subprocess.DEVNULL)
        pack(tools, os.path.join(mixed, "content"), os.path.join(mixed, "release"), "mixed.ace", "16M",
             ["--default-dir", "bench-mixed", "--nfo", os.path.join(mixed, "skyforge.nfo"),
              "--reg", os.path.join(mixed, "settings.reg"), "--reg", os.path.join(mixed, "controls.reg"),
              "--emblem", emblem])
        gzip_content(mixed)
        done("mixed")

    # long: one big entry
    if needed("long"):
        base = os.path.join(data, "long")
        os.makedirs(os.path.join(base, "content"))
        with open(os.path.join(base, "content", "world.pak"), "wb") as handle:
            handle.write(long_entry_bytes(80 * 1024 * 1024))
        pack(tools, os.path.join(base, "content"), os.path.join(base, "release"), "long.ace", "32M",
             ["--emblem", emblem])
        gzip_content(base)
        done("long")
    return data


def release_archive(release):
    for name in sorted(os.listdir(release)):
        if name.endswith(".ace"):
            return os.path.join(release, name)
    raise RuntimeError(f"no .ace volume in {release}")


def volume_count(release):
    return sum(1 for n in os.listdir(release) if re.search(r"\.(ace|c\d\d)$", n))


# ---- Google Benchmark programs -----------------------------------------------


def google_benchmark(program, args, reps):
    """Median (wall, CPU) microseconds per iteration of each benchmark. On a
    machine others load, the wall time includes waiting for a processor;
    the CPU time is the work."""
    result = run([program, *args, f"--benchmark_repetitions={reps}", "--benchmark_report_aggregates_only=true",
                  "--benchmark_format=json"], capture_output=True, text=True)
    medians = {}
    for bench in json.loads(result.stdout)["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            assert bench["time_unit"] == "us", bench["time_unit"]
            medians[bench["run_name"]] = (bench["real_time"], bench["cpu_time"])
    return medians


# ---- the real program under Xvfb ---------------------------------------------


def wait_for_report(path, timeout=15):
    """/usr/bin/time -v writes its report when the program has ended."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if os.path.exists(path):
            text = open(path).read()
            if "Maximum resident set size" in text:
                rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
                status = re.search(r"Exit status: (\d+)", text)
                return rss, int(status.group(1)) if status else -1
        time.sleep(0.05)
    raise RuntimeError(f"no report in {path}")


def close_program(display, pid):
    try:
        window = display.find_window("^Install$", timeout=5)
        display.key(window, "Escape")
    except RuntimeError:
        os.kill(pid, signal.SIGTERM)


def real_program_idle(args, tools, display, scratch, runs, idle_seconds):
    """Start to first frame, idle CPU and idle max RSS of the real program."""
    install = tools["install"]
    mapped, first, first_cpu, cpu, rss = [], [], [], [], []
    for i in range(runs):
        report = os.path.join(scratch, f"time-idle-{i}.txt")
        out = run([tools["bench_firstframe"], "--idle", str(idle_seconds), "--settle", "2", "--",
                   "/usr/bin/time", "-v", "-o", report, install],
                  env=display.env(), capture_output=True, text=True, cwd="/").stdout
        values = output_pairs(out)
        close_program(display, int(values["pid"]))
        max_rss, status = wait_for_report(report)
        if status != 0:
            raise RuntimeError(f"install ended with status {status} after Esc")
        mapped.append(values["mapped_ms"])
        first.append(values["first_frame_ms"])
        first_cpu.append(values["first_frame_cpu_ms"])
        cpu.append(values["idle_cpu"])
        rss.append(max_rss)
        log(f"  run {i + 1}: window {values['mapped_ms']:.0f} ms, first frame {values['first_frame_ms']:.0f} ms "
            f"(CPU {values['first_frame_cpu_ms']:.0f} ms), "
            f"idle CPU {values['idle_cpu'] * 100:.1f} %, max RSS {max_rss / 1024:.1f} MiB")
        time.sleep(0.5)
    return {"mapped_ms": median(mapped), "first_frame_ms": median(first), "first_frame_cpu_ms": median(first_cpu),
            "idle_cpu": median(cpu),
            "idle_rss_kib": median(rss), "first_frame_all": first, "idle_cpu_all": cpu}


def real_program_install(args, tools, display, scratch, release_src):
    """Max RSS of the real program through a whole installation, driven like
    a user: Install, a new folder in the dialog, OK, wait, Esc."""
    release = os.path.join(scratch, "release-gui")
    shutil.copytree(release_src, release)
    shutil.copy2(tools["install"], os.path.join(release, "install"))
    report = os.path.join(scratch, "time-install.txt")
    target = os.path.join(release, "bench-target")
    program = subprocess.Popen(["/usr/bin/time", "-v", "-o", report, os.path.join(release, "install")],
                               cwd="/", env=display.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        main = display.find_window("^Install$")
        time.sleep(1.0)
        display.click(main, 65, 52)  # the Install button
        dialog = display.find_window("^Form2$")
        time.sleep(0.5)
        display.click(dialog, 254, 48)  # New folder
        box = display.find_window("^New folder$")
        display.enter_text(box, "bench-target")
        time.sleep(0.5)
        display.click(dialog, 254, 18)  # OK
        start = time.perf_counter()
        done = [os.path.join(target, "settings.reg"), os.path.join(target, "controls.reg")]
        deadline = time.time() + 300
        while not all(os.path.exists(p) for p in done):
            if program.poll() is not None:
                raise RuntimeError("the program ended during the installation")
            if time.time() > deadline:
                raise RuntimeError("the installation did not finish in time")
            time.sleep(0.02)
        seconds = time.perf_counter() - start
        time.sleep(0.5)
        display.key(main, "Escape")
        program.wait(20)
        max_rss, status = wait_for_report(report)
        installed = bytes_below(target)
        log(f"  installation: {seconds:.2f} s from OK, {installed / 1048576:.1f} MiB, max RSS {max_rss / 1024:.1f} MiB")
        return {"install_rss_kib": max_rss, "install_s": seconds, "install_bytes": installed}
    finally:
        if program.poll() is None:
            program.kill()
        shutil.rmtree(release, ignore_errors=True)


# ---- extraction -------------------------------------------------------------


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(cmd, stdout=subprocess.DEVNULL):
    """Wall seconds and the child's user + system CPU seconds."""
    cpu = children_cpu()
    start = time.perf_counter()
    run(cmd, stdout=stdout)
    return time.perf_counter() - start, children_cpu() - cpu


def extractor_vs_gzip(tools, data, scratch, name, reps):
    base = os.path.join(data, name)
    archive = release_archive(os.path.join(base, "release"))
    gz = os.path.join(base, "content.tar.gz")
    dest = os.path.join(scratch, "acex-dest")
    tar_out = os.path.join(scratch, "gzip-out.tar")

    def acex_once():
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        return timed([tools["acex"], "x", archive, dest])

    def gzip_once():
        with open(tar_out, "wb") as out:
            seconds = timed(["gzip", "-dc", gz], stdout=out)
        os.remove(tar_out)
        return seconds

    acex_once()  # warm-up: archive and tar.gz into the page cache
    content = bytes_below(dest)
    gzip_once()
    acex_wall, gzip_wall, acex_cpu, gzip_cpu, ratios = [], [], [], [], []
    for _ in range(reps):
        a = acex_once()
        g = gzip_once()
        acex_wall.append(a[0])
        gzip_wall.append(g[0])
        acex_cpu.append(a[1])
        gzip_cpu.append(g[1])
        ratios.append(g[0] / a[0])  # acex speed as a share of gzip's
    shutil.rmtree(dest, ignore_errors=True)
    release = os.path.join(base, "release")
    mib = content / 1048576
    result = {
        "content_mib": mib,
        "archive_mib": sum(os.path.getsize(os.path.join(release, n)) for n in os.listdir(release)
                           if re.search(r"\.(ace|c\d\d)$", n)) / 1048576,
        "gz_mib": os.path.getsize(gz) / 1048576, "volumes": volume_count(release),
        "acex_mib_s": mib / median(acex_wall), "gzip_mib_s": mib / median(gzip_wall),
        "share": median(ratios),
        "acex_cpu_mib_s": mib / median(acex_cpu), "gzip_cpu_mib_s": mib / median(gzip_cpu),
        "cpu_share": median(gzip_cpu) / median(acex_cpu),
        "share_min": min(ratios), "share_max": max(ratios)}
    log(f"  {name}: acex {result['acex_mib_s']:.0f} MiB/s, gzip -dc {result['gzip_mib_s']:.0f} MiB/s, "
        f"acex/gzip {result['share']:.2f} ({result['share_min']:.2f}..{result['share_max']:.2f}); per CPU second "
        f"{result['acex_cpu_mib_s']:.0f} vs {result['gzip_cpu_mib_s']:.0f} MiB/s = {result['cpu_share']:.2f}")
    return result


# ---- the table ----------------------------------------------------------------


def verdict(ok):
    return "met" if ok else "**missed**"


def table(r):
    rows = []

    def row(figure, value, target, ok, how):
        rows.append(f"| {figure} | {value} | {target} | {verdict(ok) if ok is not None else '-'} | {how} |")

    def us(pair):
        return f"{pair[1]:.0f} us CPU ({pair[0]:.0f} us wall)"

    t = r["titleframe"]
    row("1. Title screen frame with the emblem (DXTimer1Timer, real TForm1)", us(t["BM_TitleFrame"]),
        "< 1500 us", t["BM_TitleFrame"][1] < 1500, "bench_titleframe: demo release with install.dat, offscreen")
    row("1. Same frame + the window paint it asks for", us(t["BM_TitleFrameAndPaint"]), "-", None,
        "bench_titleframe")
    row("1. Emblem scene alone, real mesh (ForceUpdate, Move, clear, render, update)", us(t["BM_EmblemScene"]),
        "< 1000 us", t["BM_EmblemScene"][1] < 1000, "bench_titleframe")
    if "d3drm" in r:
        d = r["d3drm"]
        row("1. Emblem-like scene, 3072-triangle torus, nearest / linear",
            f"{d['nearest'][1]:.0f} / {d['linear'][1]:.0f} us CPU", "< 1000 us", d["nearest"][1] < 1000,
            "d3drm_bench")
    if "titlescreen" in r:
        row("1. Title screen frame without a mesh", us(r["titlescreen"]), "-", None, "titlescreen_bench")

    p = r["program"]
    row("2. Idle title screen, real `install` under Xvfb", f"{p['idle_cpu'] * 100:.1f} % of a core", "< 10 %",
        p["idle_cpu"] < 0.10, f"/proc/PID/stat over {r['idle_seconds']} s after 2 s, median of {r['runs']}")
    row("2. Bare frame timer (10 ms, empty handler)", f"{r['timer_cpu'] * 100:.1f} % of a core", "<= 5 %",
        r["timer_cpu"] <= 0.05, f"bench_timer_idle, {r['idle_seconds']} s, offscreen")
    row("3. Start to first frame shown, real `install`", f"{p['first_frame_ms']:.0f} ms "
        f"(CPU used by then: {p['first_frame_cpu_ms']:.0f} ms)", "-", None,
        f"Xvfb screen polled every 4 ms; window mapped at {p['mapped_ms']:.0f} ms; median of {r['runs']}")
    row("4. Max RSS, idle title screen", f"{p['idle_rss_kib'] / 1024:.1f} MiB", "-", None, "/usr/bin/time -v")
    g = r.get("gui_install")
    if g:
        row("4. Max RSS, whole installation (real program)", f"{g['install_rss_kib'] / 1024:.1f} MiB", "-", None,
            f"/usr/bin/time -v; xdotool run, {g['install_bytes'] / 1048576:.0f} MiB installed in {g['install_s']:.1f} s")
    for name, e in r["extract"].items():
        row(f"5. `acex x` vs `gzip -dc`, {name} ({e['content_mib']:.0f} MiB, {e['volumes']} volumes)",
            f"{e['acex_mib_s']:.0f} vs {e['gzip_mib_s']:.0f} MiB/s = {e['share']:.2f}; per CPU second "
            f"{e['acex_cpu_mib_s']:.0f} vs {e['gzip_cpu_mib_s']:.0f} = {e['cpu_share']:.2f}",
            ">= 0.50", e["share"] >= 0.5,
            f"to tmpfs; median of {r['reps']} back-to-back pairs ({e['share_min']:.2f}..{e['share_max']:.2f})")
    c = r["compare"]
    row(f"6. GUI run (ExtractArchive) / `acex x`, mixed", f"{c['ratio_median']:.3f} x "
        f"({c['gui_wall_s']:.2f} s / {c['acex_wall_s']:.2f} s); CPU {c['gui_cpu_s'] / c['acex_cpu_s']:.3f} x "
        f"({c['gui_cpu_s']:.2f} / {c['acex_cpu_s']:.2f} s)", "<= 1.10 x", c["ratio_median"] <= 1.10,
        f"bench_installrun, offscreen, to tmpfs; pairs {c['ratio_min']:.3f}..{c['ratio_max']:.3f}")
    k = r["cancel"]
    row("7. Cancel: flag set to ExtractArchive returning", f"{k['flag_to_return_ms_median']:.1f} ms "
        f"(max {k['flag_to_return_ms_max']:.1f})", "< 100 ms", k["flag_to_return_ms_max"] < 100,
        f"Esc posted mid-entry; post to return {k['post_to_return_ms_median']:.1f} ms")

    header = ["| Figure | This machine | Target | | How |", "|---|---|---|---|---|"]
    return "\n".join(header + rows) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--out")
    parser.add_argument("--quick", action="store_true", help="fewer repetitions (a smoke run)")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    b = args.build
    tools = {
        "install": f"{b}/demo/install", "acex": f"{b}/tools/acex/acex", "mkrelease": f"{b}/tools/mkrelease/mkrelease",
        "demogen": f"{b}/tools/demogen/demogen", "bench_firstframe": f"{b}/bench/suite/bench_firstframe",
        "bench_titleframe": f"{b}/bench/suite/bench_titleframe",
        "bench_installrun": f"{b}/bench/installrun/bench_installrun",
        "bench_timer_idle": f"{b}/bench/timer/bench_timer_idle", "d3drm_bench": f"{b}/bench/d3drm/d3drm_bench",
        "titlescreen_bench": f"{b}/bench/titlescreen/titlescreen_bench",
    }
    reps = 2 if args.quick else 5
    runs = 1 if args.quick else 3
    idle_seconds = 3 if args.quick else 10
    data = make_data(args, tools)
    scratch = tempfile.mkdtemp(prefix="bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    r = {"runs": runs, "idle_seconds": idle_seconds, "reps": reps}
    offscreen = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        log("1. frame time")
        tf = google_benchmark(tools["bench_titleframe"], [f"{b}/demo", "--benchmark_min_time=0.3"], reps)
        r["titleframe"] = tf
        if os.path.exists(tools["d3drm_bench"]):
            d = google_benchmark(tools["d3drm_bench"], ["--benchmark_filter=BM_EmblemFrame",
                                                        "--benchmark_min_time=0.3"], reps)
            r["d3drm"] = {"nearest": d["BM_EmblemFrame/0"] if "BM_EmblemFrame/0" in d else min(d.values()),
                          "linear": d.get("BM_EmblemFrame/1", max(d.values()))}
        if os.path.exists(tools["titlescreen_bench"]):
            ts = google_benchmark(tools["titlescreen_bench"], ["--benchmark_filter=BM_TitleScreenFrame$",
                                                               "--benchmark_min_time=0.3"], reps)
            r["titlescreen"] = next(iter(ts.values()))
        log("  ", r["titleframe"], r.get("d3drm"), r.get("titlescreen"))

        log("2. bare frame timer")
        out = run([tools["bench_timer_idle"], str(idle_seconds)], capture_output=True, text=True,
                  env=offscreen).stdout
        r["timer_cpu"] = float(re.search(r"cpu per wall second ([\d.]+)", out).group(1))
        log("  ", out.strip().replace("\n", "; "))

        log("2-4. the real program under Xvfb")
        display = XDisplay(numbers=range(210, 260), width=1024, height=768, black_root=True)
        try:
            r["program"] = real_program_idle(args, tools, display, scratch, runs, idle_seconds)
            try:
                r["gui_install"] = real_program_install(args, tools, display, scratch,
                                                        os.path.join(data, "mixed", "release"))
            except Exception as error:  # the idle figures still stand
                log("  the driven installation failed:", error)
        finally:
            display.close()

        log("5. acex against gzip")
        r["extract"] = {name: extractor_vs_gzip(tools, data, scratch, name, reps) for name in ("mixed", "long")}

        log("6. GUI run against acex")
        out = run([tools["bench_installrun"], "compare", os.path.join(data, "mixed", "release"),
                   os.path.join(scratch, "compare-dest"), tools["acex"], "--reps", str(max(3, reps - 1))],
                  capture_output=True, text=True, env=offscreen)
        log(out.stderr.strip())
        r["compare"] = output_pairs(out.stdout)

        log("7. cancel latency")
        out = run([tools["bench_installrun"], "cancel", os.path.join(data, "long", "release"),
                   os.path.join(scratch, "cancel-dest"), "--reps", str(reps), "--after", "400"],
                  capture_output=True, text=True, env=offscreen)
        log(out.stderr.strip())
        r["cancel"] = output_pairs(out.stdout)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    text = table(r)
    with open(os.path.join(b, "bench-results.json"), "w") as handle:
        json.dump(r, handle, indent=1)
    if args.out:
        with open(args.out, "w") as handle:
            handle.write(text)
    print(text, end="")


if __name__ == "__main__":
    main()
