#!/usr/bin/env python3
# SQL extract against a real MariaDB server: a script of korvane-dump extract must give exactly
# the rows that loading the original dump gives.
#
# Starts a private server with the round trip's tables (mariadb_roundtrip.py: every column
# type, awkward strings, NULL everywhere, a value above 1 MiB, a table of 2500 rows), dumps the
# database with mariadb-dump under several option sets (without --databases, so every dump
# loads into a database of the test's choosing), and adds the hand-written dump
# tests/data/roundtrip/extract_modes.sql (NO_BACKSLASH_ESCAPES, ANSI_QUOTES, column lists that
# change between INSERTs, REPLACE and INSERT IGNORE, spatial values). For every dump:
#   - the original is loaded into a fresh database;
#   - one script of every table is loaded into another fresh database, and CHECKSUM TABLE of
#     each table must equal the original's;
#   - a --data-only script is loaded into tables made LIKE the original's: same checksums;
#   - filtered scripts (equals on a text column, IS NULL), each into a fresh database, must
#     match a table filled by the server's own WHERE of the same meaning.
# The server's time zone is not UTC while the dumps load, so that TIMESTAMP columns show
# whether a script keeps the dump's SET TIME_ZONE.
#
# Usage: mariadb_extract.py PATH-TO-korvane-dump     (KVRT_KEEP=1 keeps the temporary folder)
# Exit status: 0 every checksum matches; 1 a mismatch or a failure; 77 MariaDB is not installed.
# Python 3.11 standard library only. Every wait is bounded; the server is always shut down.

import os, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mariadb_roundtrip as rt  # noqa: E402  (the server and the round trip's rows)
from mariadb_roundtrip import Failure, run  # noqa: E402

MODES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../data/roundtrip/extract_modes.sql")
SETS = ["", "--skip-extended-insert --complete-insert", "--hex-blob --net-buffer-length=4096",
        "--replace", "--insert-ignore", "--default-character-set=latin1"]
# Filters whose meaning a WHERE has exactly: (table, column, korvane-dump filter, WHERE). The
# browser's "equals" compares the value's bytes, so the server compares HEX() (no collation, no
# PAD SPACE); IS NULL is NULL on both sides for a column every INSERT names. Tables whose
# REPLACE or INSERT IGNORE statements decide the rows are left out: a filter picks tuples, the
# WHERE rows that are left.
FILTERS = [("big", "note", ["--op", "equals", "--text", "row 7"], "HEX(`note`) = HEX('row 7')"),
           ("big", "note", ["--op", "equals", "--text", ""], "HEX(`note`) = ''"),
           ("big", "note", ["--op", "is-null"], "`note` IS NULL"),
           ("texts", "t", ["--op", "equals", "--text", "plain"], "HEX(`t`) = HEX('plain')"),
           ("texts", "t", ["--op", "is-null"], "`t` IS NULL"),
           ("nbe", "s", ["--op", "equals", "--text", "back\\slash"],
            "HEX(`s`) = HEX('back\\\\slash')")]


def sql(server, statement, database=rt.DB):
    return run(server.client("--batch", "--raw", "--skip-column-names", database, "-e",
                             statement)).stdout


def fresh(server, database):
    sql(server, "DROP DATABASE IF EXISTS `%s`; CREATE DATABASE `%s`" % (database, database))


def load(server, database, path):
    with open(path, "rb") as f:
        run(server.client(database), stdin=f.read(), timeout=300)


def checksum(server, database, table):
    return sql(server, "CHECKSUM TABLE `%s`.`%s`" % (database, table)).split(b"\t")[-1].strip()


def tables_of(program, work, path):
    # {table name: object number} of the tables with a CREATE text the browser lists.
    out = run([program, "--cache-root", work + "/cache", "objects", path]).stdout.decode()
    fields = [line.split("\t") for line in out.splitlines()]
    return {f[3]: f[0] for f in fields if len(f) == 6 and f[1] == "table"}


def extract(program, work, path, objects, out, *extra):
    run([program, "--cache-root", work + "/cache", "extract", path] + objects + [out] +
        list(extra))


def compare(server, where, names, reference, got):
    return ["%s: table %s: CHECKSUM %s, original %s" % (where, t, b, a) for t, a, b in (
        (t, checksum(server, reference, t), checksum(server, got, t)) for t in names) if a != b]


def check_dump(program, work, server, label, path):
    # Mismatch lines for one dump; the number of checksums compared.
    fresh(server, "orig")
    load(server, "orig", path)
    tables = tables_of(program, work, path)
    numbers = ["#" + n for n in tables.values()]
    mismatches, compared = [], 0
    script = "%s/%s-all.sql" % (work, label)
    extract(program, work, path, numbers, script)
    fresh(server, "ext")
    load(server, "ext", script)
    mismatches += compare(server, label, tables, "orig", "ext")
    script = "%s/%s-data.sql" % (work, label)
    extract(program, work, path, numbers, script, "--data-only")
    fresh(server, "ext")
    sql(server, ";".join("CREATE TABLE ext.`%s` LIKE orig.`%s`" % (t, t) for t in tables))
    load(server, "ext", script)
    mismatches += compare(server, label + " --data-only", tables, "orig", "ext")
    compared += 2 * len(tables)
    for table, column, options, where in FILTERS:
        if table not in tables:
            continue
        script = "%s/%s-%s-%d.sql" % (work, label, table, compared)
        extract(program, work, path, ["#" + tables[table]], script, "--column", column, *options)
        fresh(server, "ext")
        load(server, "ext", script)
        fresh(server, "want")
        sql(server, "CREATE TABLE want.`%s` LIKE orig.`%s`; INSERT INTO want.`%s` SELECT * FROM "
            "orig.`%s` WHERE %s" % (table, table, table, table, where))
        rows = sql(server, "SELECT COUNT(*) FROM want.`%s`" % table).strip()
        mismatches += compare(server, "%s filter %s (%s rows)" % (label, where, rows.decode()),
                              [table], "want", "ext")
        compared += 1
    return mismatches, compared


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print("usage: mariadb_extract.py PATH-TO-korvane-dump (an executable)")
        return 1
    tools = rt.find_tools()
    if rt.missing_tools(tools):
        return 77
    program, work = os.path.abspath(sys.argv[1]), rt.work_folder("kvex-")
    server, started = rt.Server(tools, work), time.monotonic()
    mismatches, compared = [], 0
    try:
        server.start()
        with open(rt.DATA, "rb") as f:
            run(server.client(), stdin=f.read() + "\n".join(rt.random_rows()).encode())
        dumps = [("modes", MODES)]
        for number, options in enumerate(SETS):
            path = "%s/dump%d.sql" % (work, number)
            server.dump(options.split(), path, database=False)
            dumps.append(("dump%d[%s]" % (number, options), path))
        # mariadb-dump writes TIMESTAMP values in UTC under SET TIME_ZONE='+00:00'; a server
        # in another zone reads them wrongly unless the script says so too.
        run(server.client("-e", "SET GLOBAL time_zone = '+02:00'"))
        for label, path in dumps:
            found, count = check_dump(program, work, server, label.split("[")[0], path)
            mismatches += ["[%s] %s" % (label, m) for m in found]
            compared += count
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        server.stop()
        rt.leave_work(work)
    print("%d checksums compared, %.1f s" % (compared, time.monotonic() - started))
    for line in mismatches[:60]:
        print("MISMATCH " + line)
    if mismatches or compared == 0:
        print("FAILED: %d mismatches" % len(mismatches))
        return 1
    print("OK: every extract loads the original's rows")
    return 0


if __name__ == "__main__":
    rt.run_program(main)
