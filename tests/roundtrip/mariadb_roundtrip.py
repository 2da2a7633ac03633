#!/usr/bin/env python3
"""Round trip of korvane-dump against a real MariaDB server.

Starts a private MariaDB server (datadir and socket in a temporary folder, no networking),
fills a database with tables that cover the column types and awkward values a real dump
holds (quotes, backslashes, line breaks, NUL bytes, 4-byte characters, arbitrary binary bytes,
numbers at their limits, every temporal type, BIT, ENUM/SET, JSON, generated columns, NULL in
every column, a table of a few thousand rows), dumps it with mariadb-dump under several option
sets, exports every table with `korvane-dump export` and compares each CSV field with the value
the server returns for it, mapped through the CSV rules of the browser.

Usage: mariadb_roundtrip.py PATH-TO-korvane-dump

Set KVRT_KEEP=1 to keep the temporary folder (dumps, CSV files, server log) for a look.

Exit status: 0 every value matches; 1 a mismatch or a failure (details on standard output);
77 the MariaDB programs are not installed (CTest reports the test as skipped).
Python 3.11 standard library only. Every wait is bounded; the server is always shut down.
"""

import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
DB = "kvrt"
STARTUP_SECONDS = 60
COMMAND_SECONDS = 180
SHUTDOWN_SECONDS = 30

# --------------------------------------------------------------------------------------------
# Locating the MariaDB programs


def find_program(*names):
    dirs = os.environ.get("PATH", "").split(os.pathsep)
    dirs += ["/usr/sbin", "/usr/local/sbin", "/usr/libexec", "/usr/local/bin", "/usr/bin"]
    for name in names:
        for d in dirs:
            path = os.path.join(d, name)
            if d and os.path.isfile(path) and os.access(path, os.X_OK):
                return path
    return None


class Failure(Exception):
    """A step of the round trip failed; the message says which."""


def run(args, timeout=COMMAND_SECONDS, stdin_bytes=None, check=True):
    try:
        proc = subprocess.run(args, input=stdin_bytes, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure("timed out after %d s: %s" % (timeout, " ".join(args[:4])))
    if check and proc.returncode != 0:
        raise Failure("%s exited with %d: %s" % (
            os.path.basename(args[0]), proc.returncode,
            proc.stderr.decode("utf-8", "replace").strip()[-2000:]))
    return proc


# --------------------------------------------------------------------------------------------
# The private server


class Server:
    def __init__(self, tools, folder):
        self.tools = tools
        self.folder = folder
        self.datadir = os.path.join(folder, "data")
        self.socket = os.path.join(folder, "mysqld.sock")
        self.errlog = os.path.join(folder, "mysqld.err")
        self.proc = None

    def _common(self):
        opts = ["--no-defaults", "--datadir=" + self.datadir,
                "--innodb-buffer-pool-size=32M", "--innodb-log-file-size=16M"]
        if os.geteuid() == 0:
            opts.append("--user=root")
        return opts

    def start(self):
        install = [self.tools["install-db"]] + self._common() + [
            "--auth-root-authentication-method=normal", "--skip-test-db",
            "--skip-name-resolve"]
        proc = run(install, timeout=STARTUP_SECONDS, check=False)
        if proc.returncode != 0:
            raise Failure("mariadb-install-db failed (%d):\n%s" % (
                proc.returncode, (proc.stdout + proc.stderr).decode("utf-8", "replace")[-3000:]))
        args = [self.tools["server"]] + self._common() + [
            "--socket=" + self.socket, "--skip-networking",
            "--pid-file=" + os.path.join(self.folder, "mysqld.pid"),
            "--log-error=" + self.errlog, "--skip-name-resolve",
            "--character-set-server=utf8mb4", "--collation-server=utf8mb4_bin",
            "--max-allowed-packet=64M"]
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + STARTUP_SECONDS
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise Failure("the server ended at start-up (%d):\n%s" % (
                    self.proc.returncode, self.log_tail()))
            if os.path.exists(self.socket):
                probe = run(self.client() + ["-e", "SELECT 1"], timeout=10, check=False)
                if probe.returncode == 0:
                    return
            time.sleep(0.2)
        raise Failure("the server did not answer within %d s:\n%s" % (
            STARTUP_SECONDS, self.log_tail()))

    def log_tail(self):
        try:
            with open(self.errlog, "rb") as f:
                return f.read()[-3000:].decode("utf-8", "replace")
        except OSError:
            return "(no server log)"

    def stop(self):
        if self.proc is None or self.proc.poll() is not None:
            return
        self.proc.terminate()  # SIGTERM: a clean shutdown
        try:
            self.proc.wait(SHUTDOWN_SECONDS)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(SHUTDOWN_SECONDS)

    def client(self):
        return [self.tools["client"], "--no-defaults", "--socket=" + self.socket, "-uroot",
                "--default-character-set=utf8mb4"]

    def execute(self, sql_bytes, database=DB):
        run(self.client() + [database], stdin_bytes=sql_bytes)

    def query(self, sql):
        """Rows of a query as lists of byte fields (the caller selects only tab-free text)."""
        out = run(self.client() + ["--batch", "--raw", "--skip-column-names", DB,
                                   "-e", sql]).stdout
        return [line.split(b"\t") for line in out.split(b"\n") if line != b""]

    def dump(self, options, path, use_database=True):
        """With use_database the dump creates and selects the database (CREATE DATABASE, USE);
        without it the tables stand in the dump without any database name."""
        run([self.tools["dump"], "--no-defaults", "--socket=" + self.socket, "-uroot",
             "--result-file=" + path] + options + (["--databases", DB] if use_database else [DB]))


# --------------------------------------------------------------------------------------------
# Schema and data. Column categories decide how the server value is fetched and mapped:
#   text     character data (char/varchar/text/enum/set/json), fetched as hex of its bytes
#   binary   binary/varbinary/*blob, fetched as hex of its bytes
#   bit      BIT(M), fetched as its integer value
#   number   integers, decimals, float/double, YEAR: fetched as the server's text
#   temporal DATE/DATETIME/TIME/TIMESTAMP: fetched as the server's text (written quoted)


class Col:
    def __init__(self, name, sqltype, cat, bits=0):
        self.name, self.sqltype, self.cat, self.bits = name, sqltype, cat, bits


def q(name):
    return "`" + name.replace("`", "``") + "`"


def text_lit(s):
    return "CONVERT(X'%s' USING utf8mb4)" % s.encode("utf-8").hex()


def bin_lit(b):
    return "X'%s'" % b.hex()


def lit(v, cat):
    if v is None:
        return "NULL"
    if cat == "binary":
        return bin_lit(v)
    if cat in ("text", "temporal"):
        return text_lit(v)
    return str(v)


TEXT_CASES = [
    "plain", "it's", 'say "hi"', "back\\slash \\0 \\n \\\\", "line1\nline2", "cr\ronly",
    "crlf\r\nend", "tab\there", "nul\x00inside", "\x00lead", "trail\x00", "Grüße äöü ÄÖÜ ß",
    "emoji 😀🎉 𝄞", "mix 'é' \"😀\" \\ ;", "=SUM(A1:A3)", "-5", "+1", "@cmd", "  =after spaces",
    "\t tab first", "\nnewline first", "\r", "\r\n=x", "   ", "", "[nicht im INSERT]", "NULL",
    "\\N", "semi;colon", 'a""b', "ctrl-z \x1a end", "50\\% and _x_", "€ ‚ƒ„ Œ š", "'", '"',
    "\\", "x" * 3000 + "\x00" + "ü" * 500, "-", "=", " -x", "a\tb\nc\rd",
]
ENUMS = ["alpha", "=beta", "-gamma", "with'quote", "ü😀"]
SETS = ["", "x", "x,y", "=z", "y,=z"]


def latin_safe(s):
    return "".join(ch if _cp1252_ok(ch) else "?" for ch in s)


def _cp1252_ok(ch):
    try:
        ch.encode("cp1252")
        return True
    except UnicodeEncodeError:
        return False


BIN_CASES = [
    b"", b"\x00", b"'", b"\\", b"\xff", b"\x00\x27\x5c\xff", bytes(range(256)),
    "é😀".encode("utf-8"), b"=1+2", b"-x", b"\tab", b"\xc3", b"\xed\xa0\x80",
    b"\xf4\x90\x80\x80", b"\xc0\x80", b"\xe2\x82A", b"\x80\xbf", b'"quoted"', b"\r\n\x1a",
    b"  @x", b"\xf0\x9f\x98", b"plain ascii",
]


def build_tables():
    rng = random.Random(20261206)
    tables = []

    # Character data.
    cols = [Col("id", "int NOT NULL", "number"),
            Col("t", "varchar(4000) CHARACTER SET utf8mb4", "text"),
            Col("tx", "mediumtext CHARACTER SET utf8mb4", "text"),
            Col("lt", "varchar(4000) CHARACTER SET latin1", "text"),
            Col("ch", "char(20) CHARACTER SET utf8mb4", "text"),
            Col("e", "enum(%s)" % ",".join("'%s'" % x.replace("'", "''") for x in ENUMS),
                "text"),
            Col("s", "set(%s)" % ",".join("'%s'" % x for x in ["x", "y", "=z"]), "text"),
            Col("j", "json", "text"),
            Col("=calc", "varchar(20)", "text")]
    rows = []
    for i, case in enumerate(TEXT_CASES):
        rows.append([i + 1, case, TEXT_CASES[(i + 7) % len(TEXT_CASES)], latin_safe(case),
                     case[:20], ENUMS[i % len(ENUMS)], SETS[i % len(SETS)],
                     json.dumps({"v": case, "n": i}, ensure_ascii=False),
                     ["=1+1", "ok", "-", "@"][i % 4]])
    rows.append([len(rows) + 1] + [None] * (len(cols) - 1))
    tables.append(("texts", cols, rows))

    # Binary data.
    cols = [Col("id", "int NOT NULL", "number"), Col("b4", "binary(4)", "binary"),
            Col("vb", "varbinary(300)", "binary"), Col("bl", "blob", "binary"),
            Col("tb", "tinyblob", "binary"), Col("mb", "mediumblob", "binary"),
            Col("lb", "longblob", "binary")]
    rows = []
    for i, case in enumerate(BIN_CASES):
        other = BIN_CASES[(i + 5) % len(BIN_CASES)]
        rows.append([i + 1, case[:4], case, case + other, other[:255], other + case,
                     bytes(rng.randrange(256) for _ in range(rng.randrange(2000)))])
    # One tuple above the 1 MiB read window of the browser.
    rows.append([len(rows) + 1, b"\xff\x00\xff\x00", b"big", b"", b"", b"\x00" * 10,
                 bytes(rng.randrange(256) for _ in range(1_300_000))])
    rows.append([len(rows) + 1] + [None] * (len(cols) - 1))
    tables.append(("bins", cols, rows))

    # Numbers at their limits.
    cols = [Col("id", "int NOT NULL", "number"), Col("ti", "tinyint", "number"),
            Col("tu", "tinyint unsigned", "number"), Col("si", "smallint", "number"),
            Col("su", "smallint unsigned", "number"), Col("mi", "mediumint", "number"),
            Col("i", "int", "number"), Col("iu", "int unsigned", "number"),
            Col("iz", "int(8) unsigned zerofill", "number"), Col("bi", "bigint", "number"),
            Col("bu", "bigint unsigned", "number"), Col("d", "decimal(65,30)", "number"),
            Col("d2", "decimal(10,2)", "number"), Col("f", "float", "number"),
            Col("db", "double", "number"), Col("y", "year", "number")]
    big_dec = "9" * 35 + "." + "9" * 30
    rows = [
        [1, -128, 0, -32768, 0, -8388608, -2147483648, 0, 0, -9223372036854775808, 0,
         "-" + big_dec, "-99999999.99", -3.40282e38, -1.7976931348623157e308, 1901],
        [2, 127, 255, 32767, 65535, 8388607, 2147483647, 4294967295, 99999999,
         9223372036854775807, 18446744073709551615, big_dec, "99999999.99", 3.40282e38,
         1.7976931348623157e308, 2155],
        [3, 0, 0, 0, 0, 0, 0, 0, 42, 0, 0, "0", "0", 0, 0, 0],
        [4, -1, 1, -1, 1, -1, -1, 1, 1, -1, 1, "0.000000000000000000000000000001", "-0.01",
         1.17549e-38, 2.2250738585072014e-308, 2000],
        [5, 5, 5, -5, 5, -5, -5, 5, 5, -5, 5, "-0.000000000000000000000000000001", "0.5",
         -1.5e-7, 1e-300, 1999],
        [6, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, "123.456", "1.5", 123.456, 1 / 3, 2024],
        [7, None, None, None, None, None, None, None, None, None, None, None, None, None,
         None, None],
    ]
    for i in range(8, 40):
        rows.append([i, rng.randint(-128, 127), rng.randint(0, 255),
                     rng.randint(-32768, 32767), rng.randint(0, 65535),
                     rng.randint(-8388608, 8388607), rng.randint(-2**31, 2**31 - 1),
                     rng.randint(0, 2**32 - 1), rng.randint(0, 99999999),
                     rng.randint(-2**63, 2**63 - 1), rng.randint(0, 2**64 - 1),
                     "%d.%030d" % (rng.randint(-10**20, 10**20), rng.randint(0, 10**30 - 1)),
                     "%d.%02d" % (rng.randint(-10**7, 10**7), rng.randint(0, 99)),
                     "%.6e" % (rng.uniform(-1, 1) * 10 ** rng.randint(-30, 30)),
                     repr(rng.uniform(-1, 1) * 10 ** rng.randint(-300, 300)),
                     rng.randint(1901, 2155)])
    tables.append(("nums", cols, rows))

    # Dates and times (timestamps inserted and read with time_zone = '+00:00').
    cols = [Col("id", "int NOT NULL", "number"), Col("d", "date", "temporal"),
            Col("dt", "datetime(6)", "temporal"), Col("dt0", "datetime", "temporal"),
            Col("t", "time", "temporal"), Col("t3", "time(3)", "temporal"),
            Col("ts", "timestamp(6) NULL DEFAULT NULL", "temporal"), Col("y", "year", "number")]
    rows = [
        [1, "1000-01-01", "1000-01-01 00:00:00.000000", "1000-01-01 00:00:00", "-838:59:59",
         "-12:34:56.789", "1970-01-01 00:00:01.000000", 1901],
        [2, "9999-12-31", "9999-12-31 23:59:59.999999", "9999-12-31 23:59:59", "838:59:59",
         "838:59:59.000", "2038-01-19 03:14:07.999999", 2155],
        [3, "0000-00-00", "0000-00-00 00:00:00", "0000-00-00 00:00:00", "00:00:00",
         "-00:00:00.001", "2024-02-29 12:00:00.5", 0],
        [4, "2024-02-29", "2024-02-29 23:59:59.000001", "2024-02-29 01:02:03", "-00:00:01",
         "00:00:00.5", "2000-01-01 00:00:00", 2024],
        [5, None, None, None, None, None, None, None],
    ]
    tables.append(("dates", cols, rows))

    # BIT columns: mariadb-dump writes their bytes as a quoted string, or hex with --hex-blob.
    cols = [Col("id", "int NOT NULL", "number"), Col("b1", "bit(1)", "bit", 1),
            Col("b5", "bit(5)", "bit", 5), Col("b8", "bit(8)", "bit", 8),
            Col("b64", "bit(64)", "bit", 64)]
    rows = []
    b8_cases = [0x00, 0x01, 0x27, 0x5C, 0x22, 0x2D, 0x3D, 0x09, 0x0A, 0x0D, 0x40, 0x2B, 0xFF,
                0x80, 0x41, 0x1A]
    b64_cases = [0, 1, 2**64 - 1, 0x3D3D3D3D3D3D3D3D, 0x2D00000000000000, 0x0900000000000041,
                 0xC3A4C3A4C3A4C3A4, 0xF09F9880F09F9880, 0x00FF00FF00FF00FF, 0x275C275C275C275C]
    for i, b8 in enumerate(b8_cases):
        rows.append([i + 1, i % 2, i % 32, b8, b64_cases[i % len(b64_cases)]])
    rows.append([len(rows) + 1, None, None, None, None])
    tables.append(("bits", cols, rows))

    # Generated columns: mariadb-dump writes their values like any other column.
    cols = [Col("id", "int NOT NULL", "number"), Col("a", "int", "number"),
            Col("twice", "int AS (a * 2) VIRTUAL", "number"),
            Col("label", "varchar(30) AS (concat('=', a, ' ''x''')) PERSISTENT", "text")]
    rows = [[1, 5, None, None], [2, -7, None, None], [3, None, None, None]]
    tables.append(("gen", cols, rows))

    # No rows at all: with CREATE the CSV is the header alone.
    cols = [Col("id", "int NOT NULL", "number"), Col("v", "varchar(10)", "text")]
    tables.append(("empty_t", cols, []))

    # A few thousand rows, so that mariadb-dump writes several extended INSERT statements.
    cols = [Col("id", "int NOT NULL", "number"), Col("name", "varchar(200)", "text"),
            Col("payload", "varbinary(120)", "binary"), Col("n", "bigint", "number"),
            Col("note", "text", "text")]
    alphabet = "abcXYZ 019'\"\\;\n\r\täöüß😀€=-+@,()"
    rows = []
    for i in range(1, 2501):
        name = "".join(rng.choice(alphabet) for _ in range(rng.randrange(60)))
        payload = bytes(rng.randrange(256) for _ in range(rng.randrange(120)))
        note = None if i % 7 == 0 else rng.choice(["row %d" % i, "=row%d" % i, "", "-%d" % i])
        rows.append([i, name, payload, rng.randint(-2**63, 2**63 - 1), note])
    tables.append(("big", cols, rows))
    return tables


def create_and_fill(server, tables):
    sql = ["SET time_zone = '+00:00';"]
    for name, cols, rows in tables:
        sql.append("CREATE TABLE %s (%s, PRIMARY KEY (id)) ENGINE=InnoDB "
                   "DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;" % (
                       q(name), ", ".join("%s %s" % (q(c.name), c.sqltype) for c in cols)))
        stored = [c for c in cols if " AS (" not in c.sqltype]
        for start in range(0, len(rows), 200):
            chunk = rows[start:start + 200]
            values = []
            for row in chunk:
                values.append("(" + ", ".join(lit(v, c.cat) for v, c in zip(row, cols)
                                              if c in stored) + ")")
            sql.append("INSERT INTO %s (%s) VALUES %s;" % (
                q(name), ", ".join(q(c.name) for c in stored), ",\n".join(values)))
    # Objects around the tables that a real dump carries too: mariadb-dump writes the trigger and
    # the procedure inside DELIMITER ;; blocks with semicolons and quotes in their bodies, and the
    # view as a placeholder first and its definition at the end.
    sql += [
        "CREATE VIEW v_texts AS SELECT id, t AS `semi;colon`, 'x'';y' AS lit FROM texts;",
        "DELIMITER ;;",
        "CREATE TRIGGER trg_gen BEFORE INSERT ON gen FOR EACH ROW BEGIN "
        "IF NEW.a = 0 THEN SET NEW.a = 1; END IF; SET @note = 'it''s; \\ \"ok\"'; END;;",
        "CREATE PROCEDURE p_demo(IN x INT) BEGIN SELECT 'a;b', \"c;d\", x; "
        "/* ; */ SELECT 1; END;;",
        "DELIMITER ;",
    ]
    server.execute("\n".join(sql).encode("utf-8"))


# --------------------------------------------------------------------------------------------
# What the server holds, per table: a list of rows, each a list of ServerValue.


class ServerValue:
    __slots__ = ("null", "data", "latin1")

    def __init__(self, null, data, latin1=None):
        self.null, self.data, self.latin1 = null, data, latin1


def unhex(null, field):
    return b"" if null else bytes.fromhex(field.decode())


def fetch_table(server, name, cols):
    exprs = []
    for c in cols:
        exprs.append("(%s IS NULL)" % q(c.name))
        if c.cat == "text":
            exprs.append("HEX(CONVERT(%s USING utf8mb4))" % q(c.name))
            exprs.append("HEX(CONVERT(%s USING latin1))" % q(c.name))
        elif c.cat == "binary":
            exprs.append("HEX(%s)" % q(c.name))
        elif c.cat == "bit":
            exprs.append("(%s + 0)" % q(c.name))
        else:
            exprs.append(q(c.name))
    rows = server.query("SET time_zone = '+00:00'; SELECT %s FROM %s ORDER BY id" % (
        ", ".join(exprs), q(name)))
    result = []
    for r in rows:
        values, k = [], 0
        for c in cols:
            null = r[k] == b"1"
            k += 1
            if c.cat == "text":
                values.append(ServerValue(null, unhex(null, r[k]), unhex(null, r[k + 1])))
                k += 2
            elif c.cat == "binary":
                values.append(ServerValue(null, unhex(null, r[k])))
                k += 1
            elif c.cat == "bit":
                data = b"" if null else int(r[k]).to_bytes((c.bits + 7) // 8, "big")
                values.append(ServerValue(null, data))
                k += 1
            else:
                values.append(ServerValue(null, r[k]))
                k += 1
        result.append(values)
    return result


# --------------------------------------------------------------------------------------------
# The CSV rules of the browser, applied to a server value.

REPLACEMENT = "\ufffd".encode("utf-8")


def utf8_clean(b):
    """Dump bytes read as UTF-8: well-formed sequences stay, every byte that does not start a
    well-formed sequence becomes U+FFFD and scanning resumes at the very next byte."""
    out, i, n = bytearray(), 0, len(b)
    while i < n:
        c = b[i]
        if c < 0x80:
            out.append(c)
            i += 1
            continue
        if 0xC2 <= c <= 0xDF:
            length, cp, low = 2, c & 0x1F, 0x80
        elif 0xE0 <= c <= 0xEF:
            length, cp, low = 3, c & 0x0F, 0x800
        elif 0xF0 <= c <= 0xF4:
            length, cp, low = 4, c & 0x07, 0x10000
        else:
            out += REPLACEMENT
            i += 1
            continue
        ok = i + length <= n
        if ok:
            for k in range(1, length):
                d = b[i + k]
                if d & 0xC0 != 0x80:
                    ok = False
                    break
                cp = (cp << 6) | (d & 0x3F)
        if ok and (cp >= 0x110000 or 0xD800 <= cp <= 0xDFFF or cp < low):
            ok = False
        if ok:
            out += b[i:i + length]
            i += length
        else:
            out += REPLACEMENT
            i += 1
    return bytes(out)


def cp1252_to_utf8(b):
    """Windows-1252 with its five unassigned bytes kept as the code points of the same number."""
    chars = []
    for byte in b:
        if 0x80 <= byte <= 0x9F:
            try:
                chars.append(bytes([byte]).decode("cp1252"))
            except UnicodeDecodeError:
                chars.append(chr(byte))
        else:
            chars.append(chr(byte))
    return "".join(chars).encode("utf-8")


def to_utf8(b, charset):
    if charset == "utf-8":
        return utf8_clean(b)
    if charset == "windows-1252":
        return cp1252_to_utf8(b)
    return b.decode("latin-1").encode("utf-8")  # every byte its own code point


def protected(text):
    """Field content for a text or SQL value (UTF-8 bytes): formula protection and NUL marks."""
    body = text.replace(b"\x00", b"\\0")
    if text[:1] in (b"\t", b"\r", b"\n") or text.lstrip(b" \t\r\n")[:1] in (
            b"=", b"+", b"-", b"@"):
        return b"'" + body
    return body


def expected_field(col, value, dumpset):
    if value.null:
        return b"\\N"
    charset = dumpset["charset"]
    if col.cat == "number":
        # Integers, decimals, YEAR, FLOAT and DOUBLE are written unquoted by mariadb-dump with
        # exactly the characters the server's text protocol gives for them, and the browser keeps
        # a number literal as written. The client reads the same text protocol, so even for
        # FLOAT/DOUBLE the comparison is exact: a float printed differently (rounded, another
        # exponent form) would be a real fault, which a numeric tolerance would hide.
        return value.data
    if col.cat == "temporal":
        return protected(value.data)  # quoted in the dump, so text: a negative TIME is guarded
    if col.cat == "text":
        raw = value.latin1 if dumpset["encoding"] == "latin1" else value.data
        return protected(to_utf8(raw, charset))
    if col.cat == "binary":
        if dumpset["hex_blob"] and value.data:
            # The 0x literal as mariadb-dump writes it (upper-case digits), kept unchanged.
            return b"0x" + value.data.hex().upper().encode()
        if dumpset["has_create"]:
            return b"0x" + value.data.hex().upper().encode()  # string in a binary column
        return protected(to_utf8(value.data, charset))  # no column type: plain text
    if col.cat == "bit":
        if dumpset["hex_blob"]:
            return b"0x" + value.data.hex().upper().encode()
        return protected(to_utf8(value.data, charset))  # BIT is no binary type: text
    raise AssertionError(col.cat)


# --------------------------------------------------------------------------------------------
# Reading the CSV exactly as written.


def parse_csv(data):
    """Rows of fields (bytes, doubled quotes undone). Raises Failure on any deviation from the
    format: byte-order mark, every field quoted, ';' between fields, CR LF after every row."""
    if not data.startswith(b"\xef\xbb\xbf"):
        raise Failure("CSV does not start with the UTF-8 byte-order mark")
    pos, n, rows, row = 3, len(data), [], []
    while pos < n:
        if data[pos:pos + 1] != b'"':
            raise Failure("CSV field without opening quote at byte %d" % pos)
        pos += 1
        field = bytearray()
        while True:
            j = data.find(b'"', pos)
            if j < 0:
                raise Failure("CSV field opened before byte %d is never closed" % pos)
            field += data[pos:j]
            if data[j + 1:j + 2] == b'"':
                field += b'"'
                pos = j + 2
                continue
            pos = j + 1
            break
        row.append(bytes(field))
        if data[pos:pos + 1] == b";":
            pos += 1
            if pos == n:
                raise Failure("CSV ends after a ';'")
        elif data[pos:pos + 2] == b"\r\n":
            rows.append(row)
            row = []
            pos += 2
        else:
            raise Failure("CSV: after a field at byte %d neither ';' nor CR LF follows" % pos)
    if row:
        raise Failure("CSV: the last row does not end with CR LF")
    if not rows:
        raise Failure("CSV has no header row")
    return rows


# --------------------------------------------------------------------------------------------
# The round trip


def show(b, limit=160):
    text = repr(b)
    return text if len(text) <= limit else text[:limit] + "... (%d bytes)" % len(b)


def dump_sets(server, work):
    """The mariadb-dump option sets, each with how the browser sees its dump."""
    sets = [
        dict(name="default", options=[]),
        dict(name="--skip-extended-insert --complete-insert",
             options=["--skip-extended-insert", "--complete-insert"], one_row_per_insert=True),
        dict(name="--hex-blob --net-buffer-length=4096",
             options=["--hex-blob", "--net-buffer-length=4096"], hex_blob=True,
             split_big=True),
        dict(name="--no-create-info", options=["--no-create-info"], has_create=False),
        dict(name="--default-character-set=latin1 (browser: windows-1252)",
             options=["--default-character-set=latin1"], encoding="latin1",
             charset="windows-1252"),
        dict(name="without --databases (no USE statement)", options=[], use_database=False),
        dict(name="--replace --compact --routines",
             options=["--replace", "--compact", "--routines"]),
        dict(name="--no-create-info --complete-insert --hex-blob",
             options=["--no-create-info", "--complete-insert", "--hex-blob"], has_create=False,
             hex_blob=True),
        dict(name="default, browser charset latin-1", options=[], charset="latin-1"),
    ]
    probe = os.path.join(work, "probe.sql")
    server.dump(["--no-data"], probe)
    with open(probe, "rb") as f:
        names = re.search(rb"SET NAMES (\w+)", f.read())
    if names is None or names.group(1) != b"utf8mb4":
        sets.append(dict(name="--default-character-set=utf8mb4",
                         options=["--default-character-set=utf8mb4"]))
    for s in sets:
        s.setdefault("hex_blob", False)
        s.setdefault("has_create", True)
        s.setdefault("encoding", "utf8mb4")
        s.setdefault("charset", "utf-8")
        s.setdefault("one_row_per_insert", False)
        s.setdefault("split_big", False)
        s.setdefault("use_database", True)
    return sets


def check_dump_shape(dumpset, dump_bytes, tables):
    """Preconditions of the test itself: the option sets produce what they are meant to."""
    for name, cols, rows in tables:
        inserts = dump_bytes.count(b"INSERT INTO `%s`" % name.encode())
        if dumpset["one_row_per_insert"] and inserts != len(rows):
            raise Failure("%s: expected %d INSERT statements for %s, found %d" % (
                dumpset["name"], len(rows), name, inserts))
        if dumpset["split_big"] and name == "big" and inserts < 2:
            raise Failure("%s: the big table was not split into several INSERT statements" %
                          dumpset["name"])


class Browser:
    def __init__(self, program, cache_root):
        self.program, self.cache_root = program, cache_root

    def __call__(self, charset, *args):
        return run([self.program, "--cache-root", self.cache_root, "--charset", charset] +
                   list(args), check=False)


def objects_of(browser, dumpset, dump_path):
    proc = browser(dumpset["charset"], "objects", dump_path)
    if proc.returncode != 0:
        raise Failure("objects failed (%d): %s" % (
            proc.returncode, proc.stderr.decode("utf-8", "replace")))
    result = {}
    for line in proc.stdout.decode("utf-8").splitlines():
        fields = line.split("\t")
        if len(fields) == 6 and fields[1] == "table":
            result[(fields[2], fields[3])] = (int(fields[4]), int(fields[5]))
        elif len(fields) == 6 and fields[1] == "routine":
            result[("routine", fields[2], fields[3])] = (int(fields[4]), int(fields[5]))
    return result


def csv_columns(dumpset, cols, dump_bytes, name):
    """The CSV columns as (header name, column, named by the INSERT). With CREATE the browser
    knows every column; without it only those the INSERT column list names, or, without a
    list, as many generically named columns as a tuple has values."""
    m = re.search(rb"INSERT INTO `%s` \(([^)]*)\) VALUES" % re.escape(name.encode()), dump_bytes)
    listed = None
    if m:
        listed = [x.strip().strip(b"`").decode() for x in m.group(1).split(b",")]
    if dumpset["has_create"]:
        return [(c.name, c, listed is None or c.name in listed) for c in cols]
    if listed is not None:
        by_name = {c.name: c for c in cols}
        return [(n, by_name[n], True) for n in listed]
    return [("Spalte_%d" % (k + 1), c, True) for k, c in enumerate(cols)]


def roundtrip(program, work, server, tables):
    browser = Browser(program, os.path.join(work, "cache"))
    server_rows = {name: fetch_table(server, name, cols) for name, cols, _ in tables}
    mismatches, compared, checked_tables = [], 0, 0
    sets = dump_sets(server, work)
    for number, dumpset in enumerate(sets):
        dump_path = os.path.join(work, "dump%d.sql" % number)
        server.dump(dumpset["options"], dump_path, dumpset["use_database"])
        # Tables that no USE statement precedes belong to the browser's database "dump".
        database = DB if dumpset["use_database"] else "dump"
        with open(dump_path, "rb") as f:
            dump_bytes = f.read()
        check_dump_shape(dumpset, dump_bytes, tables)
        objects = objects_of(browser, dumpset, dump_path)
        if "--routines" in dumpset["options"] and ("routine", database, "p_demo") not in objects:
            mismatches.append("[%s]: the procedure p_demo is not listed as a routine" %
                              dumpset["name"])
        for name, cols, _ in tables:
            rows = server_rows[name]
            key = (database, name)
            target = "%s.%s" % (database, name)
            where = "[%s] %s" % (dumpset["name"], target)
            if not dumpset["has_create"] and not rows:
                # Neither CREATE nor INSERT: the browser cannot know the table.
                if key in objects:
                    mismatches.append("%s: listed although the dump never names it" % where)
                continue
            columns = csv_columns(dumpset, cols, dump_bytes, name)
            header = [h for h, _, _ in columns]
            if objects.get(key) != (len(rows), len(header)):
                mismatches.append("%s: objects lists %s, expected %d entries and %d columns" % (
                    where, objects.get(key), len(rows), len(header)))
                continue
            csv_path = os.path.join(work, "dump%d-%s.csv" % (number, name))
            proc = browser(dumpset["charset"], "export", dump_path, target, csv_path)
            if proc.returncode != 0:
                mismatches.append("%s: export failed (%d): %s" % (
                    where, proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))
                continue
            with open(csv_path, "rb") as f:
                try:
                    csv_rows = parse_csv(f.read())
                except Failure as e:
                    mismatches.append("%s: %s" % (where, e))
                    continue
            checked_tables += 1
            want_header = [protected(h.encode("utf-8")) for h in header]
            if csv_rows[0] != want_header:
                mismatches.append("%s: header %r, expected %r" % (where, csv_rows[0],
                                                                  want_header))
            if len(csv_rows) - 1 != len(rows):
                mismatches.append("%s: %d data rows, expected %d" % (
                    where, len(csv_rows) - 1, len(rows)))
            position = {c.name: k for k, c in enumerate(cols)}
            for r, (got_row, values) in enumerate(zip(csv_rows[1:], rows), start=1):
                if len(got_row) != len(columns):
                    mismatches.append("%s row %d: %d fields, expected %d" % (
                        where, r, len(got_row), len(columns)))
                    continue
                for got, (head, col, in_insert) in zip(got_row, columns):
                    compared += 1
                    if in_insert:
                        want = expected_field(col, values[position[col.name]], dumpset)
                    else:
                        want = b"[nicht im INSERT]"
                    if got != want:
                        mismatches.append("%s row %d column %s (%s): expected %s, got %s" % (
                            where, r, head, col.sqltype, show(want), show(got)))
            check_page(browser, dumpset, dump_path, target, header, len(rows), mismatches,
                       where)
    return sets, checked_tables, compared, mismatches


def check_page(browser, dumpset, dump_path, target, header, row_count, mismatches, where):
    """The first grid page: the column names and one line per row, up to 100."""
    proc = browser(dumpset["charset"], "page", dump_path, target)
    if proc.returncode != 0:
        mismatches.append("%s: page failed (%d): %s" % (
            where, proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))
        return
    lines = proc.stdout.decode("utf-8").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines or lines[0] != "\t".join(["#"] + header):
        mismatches.append("%s: page header %r" % (where, lines[:1]))
    elif len(lines) - 1 != min(100, row_count):
        mismatches.append("%s: page shows %d rows, expected %d" % (
            where, len(lines) - 1, min(100, row_count)))


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print("usage: mariadb_roundtrip.py PATH-TO-korvane-dump (an executable)")
        return 1
    program = os.path.abspath(sys.argv[1])
    tools = {
        "server": find_program("mariadbd", "mysqld"),
        "install-db": find_program("mariadb-install-db", "mysql_install_db"),
        "client": find_program("mariadb", "mysql"),
        "dump": find_program("mariadb-dump", "mysqldump"),
    }
    missing = [k for k, v in tools.items() if v is None]
    if missing:
        print("SKIPPED: MariaDB programs not found (%s); install the Debian packages "
              "mariadb-server and mariadb-client to run this test." % ", ".join(missing))
        return SKIP

    # A socket path must stay below about 100 bytes.
    base = tempfile.gettempdir()
    if len(base) > 60:
        base = "/tmp"
    work = tempfile.mkdtemp(prefix="kvrt-", dir=base)
    server = Server(tools, work)
    started = time.monotonic()
    try:
        server.start()
        run(server.client() + ["-e", "CREATE DATABASE %s CHARACTER SET utf8mb4" % DB])
        tables = build_tables()
        create_and_fill(server, tables)
        sets, checked_tables, compared, mismatches = roundtrip(program, work, server, tables)
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        server.stop()
        if os.environ.get("KVRT_KEEP"):
            print("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)

    print("mariadb-dump option sets: %s" % "; ".join(s["name"] for s in sets))
    print("%d dumps x %d tables: %d table exports checked, %d values compared, %.1f s" % (
        len(sets), len(tables), checked_tables, compared, time.monotonic() - started))
    if compared == 0 and not mismatches:
        mismatches.append("no value was compared at all")
    if mismatches:
        for line in mismatches[:60]:
            print("MISMATCH " + line)
        if len(mismatches) > 60:
            print("... and %d more mismatches" % (len(mismatches) - 60))
        print("FAILED: %d mismatches" % len(mismatches))
        return 1
    print("OK: every value matches")
    return 0


def _terminate(signum, frame):
    raise SystemExit(128 + signum)  # runs the finally blocks, so the server is shut down


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, _terminate)
    signal.signal(signal.SIGINT, _terminate)
    sys.exit(main())
