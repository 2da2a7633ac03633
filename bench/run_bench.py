#!/usr/bin/env python3
"""Benchmark of korvane-dump on one generated dump, beside the tools people would otherwise use.

Every figure is the median of --runs runs (warm page cache), measured in the same run as its
baselines: import (`korvane-dump --reindex open`) beside `grep -c` of an absent string, `wc -l`
and `dd bs=1M of=/dev/null`; reopen from the cache; page load at the first, middle and last
page of the large table (in-process, kv_page_bench); filter (contains, all columns, a text in
about 1 % of the rows) beside `grep -c` of the same text and `grep -o -F`, which finds every
occurrence and so reads every byte; CSV export into a new file beside `dd`
writing as many bytes into a new file on the same disk, flushing it (`conv=fdatasync`) and
renaming it into place, as the export does: the machine's limit for it; the SQL extract of the
same table (`korvane-dump extract`, tuples copied byte for byte) beside the same durable copy of
the script's size. CPU time (user + system,
10 ms resolution) and peak resident memory come from /usr/bin/time, wall time from a clock
around it. Then the tree of 65,536 schema objects (a second, generated dump of 32,768
databases with one table each): `korvane-dump tree` from the cache, and in-process
(kv_tree_bench) the tree build, the rebuild for each keystroke of a filter text and the
display order. Prints a table and writes JSON.

Usage: bench/run_bench.py [--build DIR] [--dump FILE] [--size 1G] [--runs 5] [--json FILE]
                          [--false-joins-size SIZE]
                          [--rows-size SIZE]
                          [--tree-only | --wide-only | --import-only | --false-joins-only |
                           --rows-only | --extract-only | --search-only]
The import is also measured with 1, 2 and (where the machine has them) 4, 8 or all threads
(`--threads N`), each beside `cat` and `grep -c` of an absent string, with its ratio to grep
and its speed-up over one thread; --import-only measures only that (for the 12 GB dump).
The same with 1 and 2 threads for a dump whose one long string holds a false join of tuples
once per MiB (`kv_dump_generate --false-joins`, --false-joins-size, by default --size): the
helper threads' walks from those joins must not cost more than a bounded multiple of the
scan; --false-joins-only measures only that.
The same with 1 and 2 threads for the generated dump written a row per INSERT
(`kv_dump_generate --rows plain|list`, --rows-size, by default --size), without and with the
column list on every statement; --rows-only measures only that.
The search of the whole dump for an absent text with 1 and 2 threads, beside the single-thread
filter of the large table for the same text (compared per tuple byte) and `grep -c`;
--search-only measures only that.
The dumps are generated with kv_dump_generate when their files do not exist (and kept).
This is a benchmark, not a test: nothing in the test suite times anything.
"""
import argparse
import array
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ABSENT = "Qx7Zv9KeinTreffer"
PRESENT = "Zaunkoenigfeder"  # in about 1 % of the rows of `events` (see dump_generate.cpp)
TABLE = "events"


def run_once(cmd, env=None):
    """Runs cmd with stdout discarded under /usr/bin/time (a small parent, so that the peak
    resident memory is the command's own rather than this interpreter's); returns wall s,
    cpu s (user + system), peak RSS KiB, exit code and stderr."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as t:
        timed = ["/usr/bin/time", "-q", "-f", "%e %U %S %M %x", "-o", t.name] + cmd
        start = time.perf_counter()
        proc = subprocess.run(timed, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        elapsed = time.perf_counter() - start
        fields = t.read().split()
    wall, user, system, peak, code = (float(fields[0]), float(fields[1]), float(fields[2]),
                                      int(fields[3]), int(fields[4]))
    wall = elapsed  # finer than /usr/bin/time's 10 ms; includes its start-up (about 1 ms)
    if code == 0 and proc.returncode != 0:
        code = proc.returncode
    return wall, user + system, peak, code, proc.stderr.decode("utf-8", "replace")


def measure(cmd, runs, ok_codes=(0,), env=None, prepare=None):
    """Median wall and CPU time and the peak memory of runs runs of cmd; prepare, when given,
    is called before each run, outside the timing."""
    walls, cpus, rss = [], [], []
    for _ in range(runs):
        if prepare is not None:
            prepare()
        wall, cpu, peak, code, err = run_once(cmd, env)
        if code not in ok_codes:
            sys.exit("command failed (%d): %s\n%s" % (code, " ".join(cmd), err))
        walls.append(wall)
        cpus.append(cpu)
        rss.append(peak)
    return {"wall_s": statistics.median(walls), "cpu_s": statistics.median(cpus),
            "wall_min_s": min(walls), "peak_rss_kib": max(rss), "runs": runs}


def bench_extract(kvd, dump, cache, runs):
    """The SQL extract of the large table into a new file per run, and as many bytes written
    into a new file, flushed and renamed by dd in the same run: the machine's limit for it."""
    script = os.path.join(cache, "extract.sql")

    def no_script():
        if os.path.exists(script):
            os.remove(script)
        os.sync()
    r = {"extract": measure([kvd, "--cache-root", cache, "extract", dump, TABLE, script], runs,
                            prepare=no_script)}
    r["script_bytes"] = os.path.getsize(script)
    mib = (r["script_bytes"] + (1 << 20) - 1) >> 20
    r["dd_write_sync"] = measure(
        ["sh", "-c", 'dd if=/dev/zero of="$1.part" bs=1M count=%d conv=fdatasync '
         '2>/dev/null && mv "$1.part" "$1"' % mib, "sh", script], runs, prepare=no_script)
    for key, nbytes in (("extract", r["script_bytes"]), ("dd_write_sync", mib << 20)):
        m = r[key]
        m["mb_per_s_wall"] = nbytes / 1e6 / m["wall_s"]
        m["mb_per_s_cpu"] = nbytes / 1e6 / m["cpu_s"] if m["cpu_s"] > 0 else None
    r["ratio_to_dd"] = r["extract"]["wall_s"] / r["dd_write_sync"]["wall_s"]
    return r


def print_extract(r):
    for label, x in (("SQL extract (script MB)", r["extract"]),
                     ("dd+fdatasync+mv (script size)", r["dd_write_sync"])):
        print("%-34s %10.3f %10.3f %10.0f %10s %9.1f" % (
            label, x["wall_s"], x["cpu_s"], x["mb_per_s_wall"],
            "%.0f" % x["mb_per_s_cpu"] if x.get("mb_per_s_cpu") else "",
            x["peak_rss_kib"] / 1024))
    print("SQL extract: %.1f MB of script, %.2f x the durable copy (goal at most 1.5)"
          % (r["script_bytes"] / 1e6, r["ratio_to_dd"]))


def table_tuple_bytes(cache_root, name):
    """Sum of tuple lengths and the row count of the table's index file (largest .kvi)."""
    best = None
    for folder, _, files in os.walk(cache_root):
        for f in files:
            if f.endswith(".kvi") and f.startswith("t"):
                path = os.path.join(folder, f)
                if best is None or os.path.getsize(path) > os.path.getsize(best):
                    best = path
    words = array.array("I")
    with open(best, "rb") as f:
        words.frombytes(f.read())
    if sys.byteorder != "little":
        words.byteswap()
    lengths = words[2::4]
    return sum(lengths), len(lengths)


def all_tuple_bytes(cache_root):
    """Sum of tuple lengths over every index file of the cache (what a search reads)."""
    total = 0
    for folder, _, files in os.walk(cache_root):
        for f in files:
            if f.endswith(".kvi") and f.startswith("t"):
                words = array.array("I")
                with open(os.path.join(folder, f), "rb") as fh:
                    words.frombytes(fh.read())
                if sys.byteorder != "little":
                    words.byteswap()
                total += sum(words[2::4])
    return total


def bench_search(kvd, dump, cache, runs, c_env):
    """The search of the whole dump for an absent text with 1 and 2 threads, beside the
    single-thread filter of the large table for the same text and `grep -c`; the figures per
    tuple byte make the filter (one table) and the search (every table) comparable."""
    base = [kvd, "--cache-root", cache]
    r = {"grep_absent": measure(["grep", "-c", ABSENT, dump], runs, (1,), c_env),
         "filter_1": measure(base + ["--threads", "1", "filter", dump, TABLE, "--text", ABSENT],
                             runs),
         "search_1": measure(base + ["--threads", "1", "search", dump, ABSENT], runs),
         "search_2": measure(base + ["--threads", "2", "search", dump, ABSENT], runs)}
    r["table_tuple_bytes"], _ = table_tuple_bytes(cache, TABLE)
    r["all_tuple_bytes"] = all_tuple_bytes(cache)
    per_byte_filter = r["filter_1"]["wall_s"] / r["table_tuple_bytes"]
    for key in ("search_1", "search_2"):
        r[key]["x_filter_per_byte"] = r[key]["wall_s"] / r["all_tuple_bytes"] / per_byte_filter
    r["speedup_2"] = r["search_1"]["wall_s"] / r["search_2"]["wall_s"]
    return r


def print_search(r, size):
    print("%-34s %10s %10s %10s %9s %8s" % ("search", "wall s", "cpu s", "MB/s wall",
                                           "peak MiB", "x filter"))
    rows = (("grep -c (absent string, dump)", r["grep_absent"], size),
            ("filter --threads 1 (table tuples)", r["filter_1"], r["table_tuple_bytes"]),
            ("search --threads 1 (all tuples)", r["search_1"], r["all_tuple_bytes"]),
            ("search --threads 2 (all tuples)", r["search_2"], r["all_tuple_bytes"]))
    for label, x, nbytes in rows:
        print("%-34s %10.3f %10.3f %10.0f %9.1f %8s" % (
            label, x["wall_s"], x["cpu_s"], nbytes / 1e6 / x["wall_s"], x["peak_rss_kib"] / 1024,
            "%.2f" % x["x_filter_per_byte"] if "x_filter_per_byte" in x else ""))
    print("search: 2 threads %.2f x the single-thread filter per byte (goal at most 0.65), "
          "%.2f x faster than 1 thread (goal at least 1.6)"
          % (r["search_2"]["x_filter_per_byte"], r["speedup_2"]))


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return {"nproc": os.cpu_count(), "cpu": model, "loadavg": os.getloadavg(),
            "kernel": platform.release()}


TREE_OBJECTS = 65536


def bench_wide(bindir, kvd, runs, size, c_env):
    """A 1,000-column table dumped a row per INSERT, with the column list of --complete-insert
    and without it, each beside grep: the list must cost no more than its bytes. Each shape
    is imported into a cache of its own, so that the row count is the table's."""
    wide = {}
    for shape in ("list", "plain"):
        path = os.path.join(tempfile.gettempdir(), "kv-bench-wide-%s-%s.sql" % (shape, size))
        if not os.path.exists(path):
            subprocess.run([os.path.join(bindir, "kv_dump_generate"), "--wide", shape, path,
                            size], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
        cache = tempfile.mkdtemp(prefix="kv-bench-wide-")
        try:
            w = {"bytes": os.path.getsize(path)}
            w["grep_absent"] = measure(["grep", "-c", ABSENT, path], runs, (1,), c_env)
            w["import"] = measure([kvd, "--cache-root", cache, "--reindex", "open", path], runs)
            _, w["rows"] = table_tuple_bytes(cache, "wide")
        finally:
            shutil.rmtree(cache, ignore_errors=True)
        wide[shape] = w
    return wide


def print_wide(wide):
    for shape, label in (("list", "with column lists"), ("plain", "without column lists")):
        w = wide[shape]
        for key, what in (("grep_absent", "grep -c (absent string)"), ("import", "import")):
            x = w[key]
            print("1,000 columns %-21s %-24s %7.3f s wall %7.3f s cpu %6.0f MB/s %8.0f rows/s"
                  % (label, what, x["wall_s"], x["cpu_s"], w["bytes"] / 1e6 / x["wall_s"],
                     w["rows"] / x["wall_s"]))


def bench_tree(bindir, kvd, runs):
    """The tree of TREE_OBJECTS objects: korvane-dump tree as a process, and the in-process
    timings of kv_tree_bench."""
    dump = os.path.join(tempfile.gettempdir(), "kv-bench-tree-%d.sql" % TREE_OBJECTS)
    if not os.path.exists(dump):
        subprocess.run([os.path.join(bindir, "kv_dump_generate"), dump, "--objects",
                        str(TREE_OBJECTS)], check=True, stdout=subprocess.DEVNULL)
    cache = tempfile.mkdtemp(prefix="kv-bench-tree-cache-")
    try:
        base = [kvd, "--cache-root", cache]
        subprocess.run(base + ["open", dump], check=True, stdout=subprocess.DEVNULL)
        out = {"dump": dump, "objects": TREE_OBJECTS}
        out["korvane_dump_tree"] = measure(base + ["tree", dump], runs)
        out["korvane_dump_open"] = measure(base + ["open", dump], runs)
        inproc = subprocess.run([os.path.join(bindir, "kv_tree_bench"), dump, cache,
                                 str(max(runs, 5))], check=True, capture_output=True, text=True)
        out["in_process"] = json.loads(inproc.stdout)
    finally:
        shutil.rmtree(cache, ignore_errors=True)
    return out


def print_tree(t):
    p = t["in_process"]
    print("%-34s %10.3f %10.3f %10s %10s %9.1f" % (
        "korvane-dump tree (%d objects)" % t["objects"], t["korvane_dump_tree"]["wall_s"],
        t["korvane_dump_tree"]["cpu_s"], "", "", t["korvane_dump_tree"]["peak_rss_kib"] / 1024))
    print("%-34s %10.3f %10.3f %10s %10s %9.1f" % (
        "  of it: open from cache", t["korvane_dump_open"]["wall_s"],
        t["korvane_dump_open"]["cpu_s"], "", "", t["korvane_dump_open"]["peak_rss_kib"] / 1024))
    print("tree of %d objects (%d items), in-process ms (median / max): build %.2f / %.2f, "
          "filter keystroke %.2f / %.2f, display order %.2f / %.2f"
          % (p["objects"], p["items"], p["tree_build_median_ms"], p["tree_build_max_ms"],
             p["tree_filter_keystroke_median_ms"], p["tree_filter_keystroke_max_ms"],
             p["tree_display_order_median_ms"], p["tree_display_order_max_ms"]))


def import_threads(nproc):
    """The thread counts the import is measured with: 1, 2 and, where present, more."""
    counts = [1, 2]
    for n in (4, 8):
        if nproc >= n:
            counts.append(n)
    if 2 < nproc < 8 and nproc not in counts:
        counts.append(nproc)
    return sorted(counts)


def bench_import(kvd, dump, runs, c_env, counts=None):
    """The import with each thread count (by default import_threads) beside `cat` and
    `grep -c` of an absent string, all on the warm page cache, each import into a cache folder
    of its own."""
    subprocess.run(["cat", dump], stdout=subprocess.DEVNULL, check=True)  # warm the cache
    r = {"cat": measure(["cat", dump], runs),
         "grep_absent": measure(["grep", "-c", ABSENT, dump], runs, (1,), c_env),
         "threads": {}}
    for n in counts or import_threads(os.cpu_count() or 1):
        cache = tempfile.mkdtemp(prefix="kv-bench-import-")
        try:
            r["threads"][str(n)] = measure([kvd, "--cache-root", cache, "--threads", str(n),
                                            "--reindex", "open", dump], runs)
        finally:
            shutil.rmtree(cache, ignore_errors=True)
    return r


def bench_false_joins(bindir, kvd, runs, size, c_env):
    """The import with 1 and 2 threads of a dump of one long string with a false join once per
    MiB (kv_dump_generate --false-joins), beside cat and grep; the dump is kept."""
    dump = os.path.join(tempfile.gettempdir(), "kv-bench-false-joins-%s.sql" % size)
    if not os.path.exists(dump):
        print("generating %s ..." % dump, flush=True)
        subprocess.run([os.path.join(bindir, "kv_dump_generate"), "--false-joins", dump, size],
                       check=True, stdout=subprocess.DEVNULL)
    r = bench_import(kvd, dump, runs, c_env, counts=[1, 2])
    r["dump"] = dump
    r["dump_bytes"] = os.path.getsize(dump)
    return r


def bench_rows(bindir, kvd, runs, size, c_env):
    """The import with 1 and 2 threads of the generated dump written a row per INSERT, without
    and with column lists (kv_dump_generate --rows), beside cat and grep; the dumps are kept."""
    rows = {}
    for shape in ("plain", "list"):
        dump = os.path.join(tempfile.gettempdir(), "kv-bench-rows-%s-%s.sql" % (shape, size))
        if not os.path.exists(dump):
            print("generating %s ..." % dump, flush=True)
            subprocess.run([os.path.join(bindir, "kv_dump_generate"), "--rows", shape, dump,
                            size], check=True, stdout=subprocess.DEVNULL)
        r = bench_import(kvd, dump, runs, c_env, counts=[1, 2])
        r["dump"] = dump
        r["dump_bytes"] = os.path.getsize(dump)
        rows[shape] = r
    return rows


def print_rows(rows):
    for shape in ("plain", "list"):
        r = rows[shape]
        print_import(r, r["dump_bytes"], "row per INSERT, %s" % shape)


def print_import(r, size, what="import"):
    """Rows of bench_import: wall and CPU, MB/s, peak memory, the ratio to grep and the
    speed-up over one thread."""
    grep = r["grep_absent"]["wall_s"]
    one = r["threads"]["1"]["wall_s"]
    print("%-34s %10s %10s %10s %9s %8s %8s" % ("%s of %.0f MB" % (what, size / 1e6), "wall s",
                                                 "cpu s", "MB/s wall", "peak MiB", "x grep",
                                                 "speedup"))
    rows = [("cat > /dev/null", r["cat"], False),
            ("grep -c (absent string)", r["grep_absent"], False)]
    rows += [("import --threads %s" % n, x, True) for n, x in
             sorted(r["threads"].items(), key=lambda kv: int(kv[0]))]
    for label, x, is_import in rows:
        print("%-34s %10.3f %10.3f %10.0f %9.1f %8s %8s" % (
            label, x["wall_s"], x["cpu_s"], size / 1e6 / x["wall_s"], x["peak_rss_kib"] / 1024,
            "%.2f" % (x["wall_s"] / grep) if is_import else "",
            "%.2f" % (one / x["wall_s"]) if is_import else ""))


def ensure_dump(bindir, dump, size):
    # The generated dump of the given size, made with kv_dump_generate unless it exists (kept).
    if not os.path.exists(dump):
        print("generating %s (%s) ..." % (dump, size), flush=True)
        subprocess.run([os.path.join(bindir, "kv_dump_generate"), dump, size], check=True,
                       stdout=subprocess.DEVNULL)


def in_opened_cache(kvd, dump, work):
    # work(cache) after the dump is imported into a scratch cache root (removed afterwards) and
    # read once, so that its bytes are in the page cache.
    cache = tempfile.mkdtemp(prefix="kv-bench-cache-")
    try:
        subprocess.run([kvd, "--cache-root", cache, "open", dump], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cat", dump], stdout=subprocess.DEVNULL, check=True)
        return work(cache)
    finally:
        shutil.rmtree(cache, ignore_errors=True)


def save_and_describe(t, a, what):
    # Writes the results as JSON and prints the machine line (what: the dump, if any).
    t["machine"]["loadavg_after"] = os.getloadavg()
    with open(a.json, "w") as f:
        json.dump(t, f, indent=2)
    m = t["machine"]
    print("machine: %s, nproc %d, load %.2f (before) / %.2f (after); %smedian of %d runs, "
          "warm page cache" % (m["cpu"], m["nproc"], m["loadavg"][0], m["loadavg_after"][0],
                               what, a.runs))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(here, "..", "build", "native"))
    ap.add_argument("--dump", default=os.path.join(tempfile.gettempdir(), "kv-bench-1G.sql"))
    ap.add_argument("--size", default="1G")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--pages", type=int, default=50)
    ap.add_argument("--json", default="bench-results.json")
    ap.add_argument("--wide-size", default="256M",
                    help="size of the two 1,000-column dumps (a row per INSERT, with and "
                         "without column lists)")
    ap.add_argument("--tree-only", action="store_true",
                    help="only the tree of 65,536 objects, without the large dump")
    ap.add_argument("--wide-only", action="store_true",
                    help="only the 1,000-column dumps, without the large dump")
    ap.add_argument("--import-only", action="store_true",
                    help="only the import of --dump with 1, 2 and more threads, beside cat "
                         "and grep")
    ap.add_argument("--false-joins-size", default=None,
                    help="size of the dump of one string with a false join once per MiB "
                         "(default: --size)")
    ap.add_argument("--false-joins-only", action="store_true",
                    help="only the import of that dump with 1 and 2 threads, beside cat and "
                         "grep")
    ap.add_argument("--rows-size", default=None,
                    help="size of the generated dump written a row per INSERT (default: --size)")
    ap.add_argument("--rows-only", action="store_true",
                    help="only the imports of that dump, without and with column lists, with 1 "
                         "and 2 threads beside cat and grep")
    ap.add_argument("--search-only", action="store_true",
                    help="only the search of the whole dump with 1 and 2 threads beside the "
                         "single-thread filter of the large table and grep")
    ap.add_argument("--extract-only", action="store_true",
                    help="only the SQL extract of the large table beside a durable dd copy")
    a = ap.parse_args()
    false_joins_size = a.false_joins_size or a.size
    rows_size = a.rows_size or a.size

    bindir = os.path.join(a.build, "bin")
    kvd = os.path.join(bindir, "korvane-dump")
    if a.wide_only:
        c_env = dict(os.environ, LC_ALL="C")
        t = {"machine": machine(), "runs": a.runs,
             "wide": bench_wide(bindir, kvd, a.runs, a.wide_size, c_env)}
        with open(a.json, "w") as f:
            json.dump(t, f, indent=2)
        print_wide(t["wide"])
        return
    if a.import_only:
        ensure_dump(bindir, a.dump, a.size)
        size = os.path.getsize(a.dump)
        t = {"machine": machine(), "dump": a.dump, "dump_bytes": size, "runs": a.runs,
             "import": bench_import(kvd, a.dump, a.runs, dict(os.environ, LC_ALL="C"))}
        save_and_describe(t, a, "dump %s, %.1f MB; " % (a.dump, size / 1e6))
        print_import(t["import"], size)
        print("JSON: %s" % a.json)
        return
    if a.extract_only:
        ensure_dump(bindir, a.dump, a.size)
        t = {"machine": machine(), "dump": a.dump, "runs": a.runs,
             "extract": in_opened_cache(kvd, a.dump,
                                        lambda cache: bench_extract(kvd, a.dump, cache, a.runs))}
        save_and_describe(t, a, "dump %s; " % a.dump)
        print("%-34s %10s %10s %10s %10s %9s" % ("what", "wall s", "cpu s", "MB/s wall",
                                                "MB/s cpu", "peak MiB"))
        print_extract(t["extract"])
        print("JSON: %s" % a.json)
        return
    if a.search_only:
        ensure_dump(bindir, a.dump, a.size)
        c_env = dict(os.environ, LC_ALL="C")
        t = {"machine": machine(), "dump": a.dump, "runs": a.runs,
             "search": in_opened_cache(kvd, a.dump,
                                       lambda cache: bench_search(kvd, a.dump, cache, a.runs, c_env))}
        save_and_describe(t, a, "dump %s; " % a.dump)
        print_search(t["search"], os.path.getsize(a.dump))
        print("JSON: %s" % a.json)
        return
    if a.false_joins_only:
        c_env = dict(os.environ, LC_ALL="C")
        t = {"machine": machine(), "runs": a.runs,
             "false_joins": bench_false_joins(bindir, kvd, a.runs, false_joins_size, c_env)}
        save_and_describe(t, a, "")
        print_import(t["false_joins"], t["false_joins"]["dump_bytes"], "false joins")
        print("JSON: %s" % a.json)
        return
    if a.rows_only:
        c_env = dict(os.environ, LC_ALL="C")
        t = {"machine": machine(), "runs": a.runs,
             "rows": bench_rows(bindir, kvd, a.runs, rows_size, c_env)}
        save_and_describe(t, a, "")
        print_rows(t["rows"])
        print("JSON: %s" % a.json)
        return
    if a.tree_only:
        t = {"machine": machine(), "runs": a.runs, "tree": bench_tree(bindir, kvd, a.runs)}
        with open(a.json, "w") as f:
            json.dump(t, f, indent=2)
        print("%-34s %10s %10s %10s %10s %9s" % ("what", "wall s", "cpu s", "MB/s wall",
                                                "MB/s cpu", "peak MiB"))
        print_tree(t["tree"])
        print("JSON: %s" % a.json)
        return
    ensure_dump(bindir, a.dump, a.size)
    size = os.path.getsize(a.dump)
    mb = size / 1e6
    cache = tempfile.mkdtemp(prefix="kv-bench-cache-")
    csv = os.path.join(cache, "export.csv")
    c_env = dict(os.environ, LC_ALL="C")
    results = {"machine": machine(), "dump": a.dump, "dump_bytes": size, "runs": a.runs,
               "grep_locale": "C"}
    try:
        subprocess.run(["cat", a.dump], stdout=subprocess.DEVNULL, check=True)  # warm the cache
        base = ["--cache-root", cache]
        r = results
        r["dd"] = measure(["dd", "if=" + a.dump, "of=/dev/null", "bs=1M"], a.runs)
        r["wc_l"] = measure(["wc", "-l", a.dump], a.runs)
        r["grep_absent"] = measure(["grep", "-c", ABSENT, a.dump], a.runs, (1,), c_env)
        r["import"] = measure([kvd] + base + ["--reindex", "open", a.dump], a.runs)
        r["reopen"] = measure([kvd] + base + ["open", a.dump], a.runs)
        tuple_bytes, rows = table_tuple_bytes(cache, TABLE)
        r["table"] = {"name": TABLE, "rows": rows, "tuple_bytes": tuple_bytes}
        pages = subprocess.run([os.path.join(bindir, "kv_page_bench"), a.dump, cache, TABLE,
                                str(a.pages)], check=True, capture_output=True, text=True)
        r["page"] = json.loads(pages.stdout)
        r["grep_present"] = measure(["grep", "-c", PRESENT, a.dump], a.runs, (0,), c_env)
        # Every occurrence, so that grep reads every byte of every line as the filter does;
        # through a pipe, since grep stops at the first match when its output is /dev/null.
        r["grep_every"] = measure(["sh", "-c", 'grep -o -F "$1" "$2" | wc -l', "sh", PRESENT,
                                   a.dump], a.runs, (0,), c_env)
        r["filter"] = measure([kvd] + base + ["filter", a.dump, TABLE, "--op", "contains",
                                              "--text", PRESENT], a.runs)
        # Into a new file each time: replacing the last export would add the file system's
        # deletion of that file (a quarter of a second for 850 MB here) to the figure.
        # The deletion's own disk work is done before the timing starts (sync).
        def no_csv():
            if os.path.exists(csv):
                os.remove(csv)
            os.sync()
        r["export"] = measure([kvd] + base + ["export", a.dump, TABLE, csv], a.runs,
                              prepare=no_csv)
        r["export_csv_bytes"] = os.path.getsize(csv)
        # The same pattern as the export: a new file, flushed, then renamed into place.
        mib = (r["export_csv_bytes"] + (1 << 20) - 1) >> 20
        r["dd_write_sync"] = measure(
            ["sh", "-c", 'dd if=/dev/zero of="$1.part" bs=1M count=%d conv=fdatasync '
             '2>/dev/null && mv "$1.part" "$1"' % mib, "sh", csv], a.runs, prepare=no_csv)
        r["extract"] = bench_extract(kvd, a.dump, cache, a.runs)
        r["search"] = bench_search(kvd, a.dump, cache, a.runs, c_env)
        r["import_threads"] = bench_import(kvd, a.dump, a.runs, c_env)
        r["false_joins"] = bench_false_joins(bindir, kvd, a.runs, false_joins_size, c_env)
        r["rows"] = bench_rows(bindir, kvd, a.runs, rows_size, c_env)
        r["wide"] = bench_wide(bindir, kvd, a.runs, a.wide_size, c_env)
        r["tree"] = bench_tree(bindir, kvd, a.runs)
    finally:
        shutil.rmtree(cache, ignore_errors=True)

    def rate(key, nbytes):
        m = r[key]
        m["mb_per_s_wall"] = nbytes / 1e6 / m["wall_s"]
        m["mb_per_s_cpu"] = nbytes / 1e6 / m["cpu_s"] if m["cpu_s"] > 0 else None
    for key in ("dd", "wc_l", "grep_absent", "import", "grep_present", "grep_every"):
        rate(key, size)
    for key in ("filter", "export"):
        rate(key, r["table"]["tuple_bytes"])
    r["export"]["csv_mb_per_s_wall"] = r["export_csv_bytes"] / 1e6 / r["export"]["wall_s"]
    rate("dd_write_sync", mib << 20)
    p = r["page"]
    r["machine"]["loadavg_after"] = os.getloadavg()

    with open(a.json, "w") as f:
        json.dump(r, f, indent=2)

    m = r["machine"]
    print("machine: %s, nproc %d, load %.2f %.2f %.2f (before) / %.2f (after); shared with "
          "other workers" % (m["cpu"], m["nproc"], *m["loadavg"], m["loadavg_after"][0]))
    print("dump: %s, %.1f MB; table %s: %d rows, %.1f MB of tuples; median of %d runs, "
          "warm page cache" % (a.dump, mb, TABLE, r["table"]["rows"],
                               r["table"]["tuple_bytes"] / 1e6, a.runs))
    print("%-34s %10s %10s %10s %10s %9s" % ("what", "wall s", "cpu s", "MB/s wall",
                                            "MB/s cpu", "peak MiB"))

    def row(label, key):
        x = r[key]
        print("%-34s %10.3f %10.3f %10s %10s %9.1f" % (
            label, x["wall_s"], x["cpu_s"],
            "%.0f" % x["mb_per_s_wall"] if "mb_per_s_wall" in x else "",
            "%.0f" % x["mb_per_s_cpu"] if x.get("mb_per_s_cpu") else "",
            x["peak_rss_kib"] / 1024))
    row("dd bs=1M of=/dev/null", "dd")
    row("wc -l", "wc_l")
    row("grep -c (absent string)", "grep_absent")
    row("import (--reindex open)", "import")
    row("reopen from cache (process)", "reopen")
    row("grep -c '%s'" % PRESENT, "grep_present")
    row("grep -o -F (every occurrence)", "grep_every")
    row("filter contains (tuple MB)", "filter")
    row("CSV export (tuple MB)", "export")
    row("dd+fdatasync+mv (CSV size)", "dd_write_sync")
    print_extract(r["extract"])
    print_search(r["search"], size)
    print_tree(r["tree"])
    print_import(r["import_threads"], size)
    print_import(r["false_joins"], r["false_joins"]["dump_bytes"], "false joins")
    print_rows(r["rows"])
    print("CSV export: %.1f MB of CSV, %.0f MB/s of CSV written (wall)"
          % (r["export_csv_bytes"] / 1e6, r["export"]["csv_mb_per_s_wall"]))
    print("reopen in-process: %.2f ms" % p["reopen_ms"])
    print("page load ms (median / max of %d): first %.3f / %.3f, middle %.3f / %.3f, "
          "last %.3f / %.3f" % (a.pages, p["page_first_median_ms"], p["page_first_max_ms"],
                                p["page_middle_median_ms"], p["page_middle_max_ms"],
                                p["page_last_median_ms"], p["page_last_max_ms"]))
    print_wide(r["wide"])
    print("JSON: %s" % a.json)


if __name__ == "__main__":
    main()
