#!/usr/bin/env python3
# Round trip of korvane-dump against a real MariaDB server.
#
# Starts a private MariaDB server (datadir and socket in a temporary folder, no networking),
# fills a database from tests/data/roundtrip/tables.sql plus random rows (every column type;
# quotes, backslashes, line breaks, NUL bytes, 4-byte characters, arbitrary binary bytes,
# numbers at their limits, temporal types, BIT, ENUM/SET, JSON, generated columns, NULL in every
# column, a value above the browser's 1 MiB read window, a table of 2500 rows), dumps it with
# mariadb-dump under several option sets, and for every table checks what `korvane-dump objects`
# lists, the first `page`, and every field of `export` (the CSV read strictly) against the value
# the server returns, mapped through the browser's CSV rules.
#
# Usage: mariadb_roundtrip.py PATH-TO-korvane-dump     (KVRT_KEEP=1 keeps the temporary folder)
# Exit status: 0 every value matches; 1 a mismatch or a failure (details on standard output);
# 77 the MariaDB programs are not installed (CTest reports the test as skipped).
# Python 3.11 standard library only. Every wait is bounded; the server is always shut down.

import codecs, itertools, os, random, re, shutil, signal, subprocess, sys, tempfile, time

DB = "kvrt"  # created by DATA
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../data/roundtrip/tables.sql")
# (mariadb-dump options, browser charset); "nodb" dumps without --databases (no USE statement).
SETS = [("", "utf-8"), ("--skip-extended-insert --complete-insert", "utf-8"),
        ("--hex-blob --net-buffer-length=4096", "utf-8"), ("--no-create-info", "utf-8"),
        ("--default-character-set=latin1", "windows-1252"), ("nodb", "utf-8"),
        ("--replace --compact --routines", "utf-8"),
        ("--no-create-info --complete-insert --hex-blob", "utf-8"), ("", "latin-1")]
# Well-formed UTF-8 sequences; any other byte (group 1) becomes U+FFFD on its own.
UTF8 = re.compile(rb"[\x00-\x7f]|[\xc2-\xdf][\x80-\xbf]|\xe0[\xa0-\xbf][\x80-\xbf]|"
                  rb"[\xe1-\xec\xee\xef][\x80-\xbf]{2}|\xed[\x80-\x9f][\x80-\xbf]|"
                  rb"\xf0[\x90-\xbf][\x80-\xbf]{2}|[\xf1-\xf3][\x80-\xbf]{3}|"
                  rb"\xf4[\x80-\x8f][\x80-\xbf]{2}|(.)", re.S)
FIELD = re.compile(rb'"([^"]*(?:""[^"]*)*)"(;|\r\n)')
# Windows-1252 keeps its five unassigned bytes as the code points of the same number.
codecs.register_error("kvrt", lambda e: ("".join(map(chr, e.object[e.start:e.end])), e.end))


class Failure(Exception):  # a step of the round trip failed; the message says which
    pass


def run(args, timeout=180, stdin=None, check=True):
    try:
        proc = subprocess.run(args, input=stdin, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure("timed out after %d s: %s" % (timeout, " ".join(args)[:300]))
    if check and proc.returncode != 0:
        raise Failure("%s exited with %d: %s" % (os.path.basename(args[0]), proc.returncode,
                      (proc.stdout + proc.stderr).decode("utf-8", "replace").strip()[-3000:]))
    return proc


class Server:
    def __init__(self, tools, folder):
        self.tools, self.folder, self.proc = tools, folder, None
        self.common = ["--no-defaults", "--datadir=%s/data" % folder, "--skip-name-resolve",
                       "--innodb-buffer-pool-size=32M", "--innodb-log-file-size=16M"] + (
                           ["--user=root"] if os.geteuid() == 0 else [])

    def start(self):
        run([self.tools["install-db"]] + self.common +
            ["--auth-root-authentication-method=normal", "--skip-test-db"], timeout=60)
        self.proc = subprocess.Popen([self.tools["server"]] + self.common + [
            "--socket=%s/mysqld.sock" % self.folder, "--skip-networking",
            "--pid-file=%s/mysqld.pid" % self.folder, "--log-error=%s/mysqld.err" % self.folder,
            "--character-set-server=utf8mb4", "--collation-server=utf8mb4_bin",
            "--max-allowed-packet=64M"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(300):  # bounded: 60 s and more
            if self.proc.poll() is not None:
                break
            if run(self.client("-e", "SELECT 1"), timeout=10, check=False).returncode == 0:
                return
            time.sleep(0.2)
        with open("%s/mysqld.err" % self.folder, errors="replace") as f:
            raise Failure("the server did not start:\n" + f.read()[-3000:])

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()  # SIGTERM: a clean shutdown
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()

    def client(self, *args):
        return [self.tools["client"], "--no-defaults", "--socket=%s/mysqld.sock" % self.folder,
                "-uroot", "--default-character-set=utf8mb4"] + list(args)

    def query(self, sql):  # rows as lists of byte fields; callers select only tab-free text
        out = run(self.client("--batch", "--raw", "--skip-column-names", DB, "-e", sql)).stdout
        return [line.split(b"\t") for line in out.split(b"\n") if line]

    def dump(self, options, path, database=True):
        run([self.tools["dump"], "--no-defaults", "--socket=%s/mysqld.sock" % self.folder,
             "-uroot", "--result-file=" + path] + options + (["--databases", DB] if database
                                                              else [DB]))


def lit(v):
    text = isinstance(v, str) and "CONVERT(X'%s' USING utf8mb4)" % v.encode().hex()
    return "NULL" if v is None else "X'%s'" % v.hex() if isinstance(v, bytes) else text or str(v)


def random_rows():
    # SQL for the random part: nums rows 8-39, the longblobs of bins (row 23 above 1 MiB) and
    # the rows of big, so that mariadb-dump writes several extended INSERT statements.
    rng = random.Random(20261206)
    r, u = rng.randint, rng.uniform
    nums = [(i, r(-128, 127), r(0, 255), r(-32768, 32767), r(0, 65535), r(-2**23, 2**23 - 1),
             r(-2**31, 2**31 - 1), r(0, 2**32 - 1), r(0, 99999999), r(-2**63, 2**63 - 1),
             r(0, 2**64 - 1), "%d.%030d" % (r(-10**20, 10**20), r(0, 10**30 - 1)),
             "%d.%02d" % (r(-10**7, 10**7), r(0, 99)), "%.6e" % (u(-1, 1) * 10 ** r(-30, 30)),
             repr(u(-1, 1) * 10 ** r(-300, 300)), r(1901, 2155)) for i in range(8, 40)]
    alphabet = "abcXYZ 019'\"\\;\n\r\täöüß😀€=-+@,()"
    big = [(i, "".join(rng.choice(alphabet) for _ in range(rng.randrange(60))),
            rng.randbytes(rng.randrange(120)), r(-2**63, 2**63 - 1),
            None if i % 7 == 0 else rng.choice(["row %d" % i, "=row%d" % i, "", "-%d" % i]))
           for i in range(1, 2501)]
    inserts = [("nums", nums), ("big", big), ("bins (id, b4, vb, bl, tb, mb, lb)",
               [(23, b"\xff\x00\xff\x00", b"big", b"", b"", b"\x00" * 10,
                 rng.randbytes(1_300_000))])]
    return ["INSERT INTO %s VALUES %s;" % (t, ",".join("(%s)" % ", ".join(map(lit, row))
                                                        for row in rows)) for t, rows in inserts
            ] + ["UPDATE bins SET lb = %s WHERE id = %d;" % (lit(rng.randbytes(r(0, 1999))), i)
                 for i in range(1, 23)]


def kind_of(data_type):
    for kind, pattern in [("text", "(var)?char|.*text|enum|set|json"),
                          ("binary", "(var)?binary|.*blob"), ("bit", "bit"),
                          ("temporal", "date|datetime|time|timestamp")]:
        if re.fullmatch(pattern, data_type):
            return kind
    return "number"  # integers, decimals, FLOAT/DOUBLE, YEAR: the server's text, unquoted


def server_tables(server):
    # Per base table: its columns as (name, kind, bits) and its rows, each value None (NULL)
    # or (bytes, the bytes in latin1 for text).
    tables = {}
    for t, c, data_type, bits in server.query(
            "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, NUMERIC_PRECISION FROM "
            "information_schema.COLUMNS JOIN information_schema.TABLES USING (TABLE_SCHEMA, "
            "TABLE_NAME) WHERE TABLE_SCHEMA = '%s' AND TABLE_TYPE = 'BASE TABLE' "
            "ORDER BY TABLE_NAME, ORDINAL_POSITION" % DB):
        tables.setdefault(t.decode(), ([], []))[0].append(
            (c.decode(), kind_of(data_type.decode()), int(bits) if bits != b"NULL" else 0))
    for name, (cols, rows) in tables.items():
        exprs = {"text": "HEX(CONVERT(`%s` USING utf8mb4)), HEX(CONVERT(`%s` USING latin1))",
                 "binary": "HEX(`%s`), ''", "bit": "`%s` + 0, ''"}
        select = ", ".join("`%s` IS NULL, " % c + exprs.get(k, "`%s`, ''").replace("%s", c)
                           for c, k, _ in cols)
        for f in server.query("SET time_zone = '+00:00'; SELECT %s FROM `%s` ORDER BY id" % (
                select, name)):
            rows.append([None if f[3 * k] == b"1" else
                         (int(f[3 * k + 1]).to_bytes((bits + 7) // 8, "big") if kind == "bit"
                          else bytes.fromhex(f[3 * k + 1].decode()) if kind in ("text", "binary")
                          else f[3 * k + 1], bytes.fromhex(f[3 * k + 2].decode()))
                         for k, (_, kind, bits) in enumerate(cols)])
    return tables


def to_utf8(b, charset):
    if charset == "windows-1252":
        return b.decode("cp1252", "kvrt").encode()
    if charset == "latin-1":
        return b.decode("latin-1").encode()
    return UTF8.sub(lambda m: "\ufffd".encode() if m.group(1) is not None else m.group(0), b)


def protected(text):
    # Field content for a text or SQL value (UTF-8 bytes): formula protection and NUL marks.
    guard = re.match(rb"[\t\r\n]|[ \t\r\n]*[-=+@]", text)
    return (b"'" if guard else b"") + text.replace(b"\x00", b"\\0")


def expected(col, value, options, charset):
    if value is None:
        return b"\\N"
    (_, kind, _), (data, latin1), hex_blob = col, value, "--hex-blob" in options
    if kind == "number":
        return data  # exact: a float printed differently would be a real fault
    if kind == "text" and "latin1" in options:
        data = latin1
    if kind in ("text", "temporal"):  # a quoted TIME is text, so a negative one is guarded
        return protected(to_utf8(data, charset))
    if hex_blob and (data or kind == "bit") or kind == "binary" and "no-create" not in options:
        return b"0x" + data.hex().upper().encode()  # a BIT column is no binary type
    return protected(to_utf8(data, charset))  # no column type: plain text


def parse_csv(data):
    # Rows of fields (doubled quotes undone). Raises Failure on any deviation from the format:
    # byte-order mark, every field quoted, ';' between fields, CR LF after every row.
    if not data.startswith(b"\xef\xbb\xbf"):
        raise Failure("CSV does not start with the UTF-8 byte-order mark")
    pos, rows, row = 3, [], []
    while pos < len(data):
        m = FIELD.match(data, pos)
        if not m:
            raise Failure("CSV field at byte %d: not quoted, or no ';' or CR LF after it" % pos)
        row.append(m.group(1).replace(b'""', b'"'))
        pos = m.end()
        if m.group(2) == b"\r\n":
            rows.append(row)
            row = []
    if row or not rows:
        raise Failure("CSV: the last row does not end with CR LF" if row else "CSV is empty")
    return rows


def csv_columns(options, cols, dump, name):
    # (CSV header, index of the column or None when the INSERT leaves it out). With CREATE the
    # browser knows every column; without it only those the INSERT names, or, without a column
    # list, as many generically named columns as a tuple has values.
    m = re.search(rb"INSERT INTO `%s` \(([^)]*)\) VALUES" % name.encode(), dump)
    listed = m and [x.strip().strip(b"`").decode() for x in m.group(1).split(b",")]
    names = [c[0] for c in cols]
    if "no-create" not in options:
        return [(n, k if not listed or n in listed else None) for k, n in enumerate(names)]
    if listed:
        return [(n, names.index(n)) for n in listed]
    return [("Spalte_%d" % (k + 1), k) for k in range(len(cols))]


def report_mismatches(options, dump, notes):
    # The report at the top of the notes names the dump's writer as its header does, calls a
    # dump with its closing line whole, and gives the charset of its SET NAMES. --compact
    # leaves out header, closing line and SET NAMES.
    text = notes.stdout.decode("utf-8", "replace")
    tool = "mariadb-dump" if b"-- MariaDB dump" in dump[:300] else "mysqldump"
    if "--compact" in options:
        want = ["Erstellt mit: unbekannt", "Vollständigkeit: Ohne bekanntes Werkzeug"]
    else:
        want = ["Erstellt mit: " + tool, "Vollständig: Der Dump endet mit der Abschlusszeile von " + tool]
        names = re.findall(rb"SET NAMES (\w+)", dump[:4096])
        if names and names[-1] == b"latin1":
            want.append("Der Dump deklariert latin1; für Umlaute die Anzeige auf Windows-1252 stellen.")
        elif names:
            want.append("Zeichensatz: %s – die Anzeige UTF-8 passt." % names[-1].decode())
    return ["[%s]: the notes lack %r" % (options, w) for w in want if w not in text] + (
        ["[%s]: notes exit %d" % (options, notes.returncode)] if notes.returncode != 0 else [])


def roundtrip(program, work, server, tables):
    mismatches, compared, sets = [], 0, list(SETS)
    server.dump(["--no-data"], work + "/probe.sql")
    with open(work + "/probe.sql", "rb") as f:
        if re.search(rb"SET NAMES (\w+)", f.read()).group(1) != b"utf8mb4":
            sets.append(("--default-character-set=utf8mb4", "utf-8"))
    for number, (options, charset) in enumerate(sets):
        path, database = "%s/dump%d.sql" % (work, number), "dump" if options == "nodb" else DB
        server.dump(options.replace("nodb", "").split(), path, database == DB)
        with open(path, "rb") as f:
            dump = f.read()

        def browse(*args):
            return run([program, "--cache-root", work + "/cache", "--charset", charset] +
                       list(args), check=False)
        proc = browse("objects", path)
        if proc.returncode != 0:
            raise Failure("[%s] objects failed: %s" % (options, proc.stderr.decode()))
        objects = {tuple(f[1:4]): (int(f[4]), int(f[5])) for f in
                   (line.split("\t") for line in proc.stdout.decode().splitlines())
                   if len(f) == 6 and f[1] in ("table", "routine")}
        if "--routines" in options and ("routine", database, "p_demo") not in objects:
            mismatches.append("[%s]: the procedure p_demo is not listed" % options)
        mismatches += report_mismatches(options, dump, browse("notes", path))
        for name, (cols, rows) in tables.items():
            target = "%s.%s" % (database, name)
            where = "[%s, %s] %s" % (options or "default", charset, target)
            inserts = dump.count(b"INSERT INTO `%s`" % name.encode())
            if ("--skip-extended-insert" in options and inserts != len(rows) or
                    "net-buffer" in options and name == "big" and inserts < 2):
                raise Failure("%s: %d INSERT statements do not fit the options" % (where, inserts))
            columns = csv_columns(options, cols, dump, name)
            header = [h for h, _ in columns]
            found = objects.get(("table", database, name))
            # Without CREATE and INSERT the dump never names the table.
            listed = None if "no-create" in options and not rows else (len(rows), len(header))
            if found != listed:
                mismatches.append("%s: objects lists %s, expected (entries, columns) %s" % (
                    where, found, listed))
            if found != listed or listed is None:
                continue
            csv_path = "%s/dump%d-%s.csv" % (work, number, name)
            proc = browse("export", path, target, csv_path)
            try:
                if proc.returncode != 0:
                    raise Failure("export failed (%d): %s" % (proc.returncode, proc.stderr))
                with open(csv_path, "rb") as f:
                    got = parse_csv(f.read())
            except Failure as e:
                mismatches.append("%s: %s" % (where, e))
                continue
            want = [[protected(h.encode()) for h in header]] + [
                [expected(cols[k], row[k], options, charset) if k is not None
                 else b"[nicht im INSERT]" for _, k in columns] for row in rows]
            for r, (g, w) in enumerate(itertools.zip_longest(got, want, fillvalue=[])):
                compared += len(w)
                if len(g) != len(w):
                    mismatches.append("%s row %d: got %.300r, expected %.300r" % (where, r, g, w))
                mismatches += ["%s row %d column %s: expected %.200r, got %.200r" % (
                    where, r, h, y, x) for h, x, y in zip(header, g, w) if x != y]
            page = browse("page", path, target)
            lines = page.stdout.decode("utf-8").removesuffix("\n").split("\n")
            if (page.returncode, lines[0], len(lines) - 1) != (
                    0, "\t".join(["#"] + header), min(100, len(rows))):
                mismatches.append("%s: page exits %d with %d rows under %r" % (
                    where, page.returncode, len(lines) - 1, lines[0]))
    return len(sets), compared, mismatches


def find_tools():
    # The MariaDB programs by role; None for each one that is not installed.
    search = os.environ.get("PATH", "") + ":/usr/sbin:/usr/local/sbin:/usr/libexec"
    return {key: next(filter(None, (shutil.which(n, path=search) for n in names)), None)
            for key, names in [("server", ["mariadbd", "mysqld"]),
                               ("install-db", ["mariadb-install-db", "mysql_install_db"]),
                               ("client", ["mariadb", "mysql"]),
                               ("dump", ["mariadb-dump", "mysqldump"])]}


def missing_tools(tools):
    # True (after saying so) when a program is missing: the caller exits with 77.
    if None not in tools.values():
        return False
    print("SKIPPED: MariaDB programs not found (%s); install the Debian packages "
          "mariadb-server and mariadb-client to run this test." %
          ", ".join(k for k, v in tools.items() if v is None))
    return True


def work_folder(prefix):
    base = tempfile.gettempdir()  # a socket path must stay below about 100 bytes
    return tempfile.mkdtemp(prefix=prefix, dir=base if len(base) <= 60 else "/tmp")


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print("usage: mariadb_roundtrip.py PATH-TO-korvane-dump (an executable)")
        return 1
    tools = find_tools()
    if missing_tools(tools):
        return 77
    work = work_folder("kvrt-")
    server, started = Server(tools, work), time.monotonic()
    try:
        server.start()
        with open(DATA, "rb") as f:
            run(server.client(), stdin=f.read() + "\n".join(random_rows()).encode())
        tables = server_tables(server)
        dumps, compared, mismatches = roundtrip(os.path.abspath(sys.argv[1]), work, server,
                                                tables)
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        server.stop()
        leave_work(work)
    print("%d dumps x %d tables, %d values compared, %.1f s" % (
        dumps, len(tables), compared, time.monotonic() - started))
    for line in mismatches[:60]:
        print("MISMATCH " + line)
    if mismatches or compared == 0:
        print("FAILED: %d mismatches%s" % (len(mismatches), "" if compared else ", no value"))
        return 1
    print("OK: every value matches")
    return 0


def run_program(main):
    """Exits with main()'s status; a signal ends it through SystemExit, so that main's finally
    blocks run and the server stops."""
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda number, _: sys.exit(128 + number))
    sys.exit(main())


def leave_work(work):  # removes the work folder, unless KVRT_KEEP asks to keep it
    print("work folder kept: " + work) if os.environ.get("KVRT_KEEP") else \
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    run_program(main)
