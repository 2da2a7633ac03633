#!/usr/bin/env python3
# Code in executable comments against a real MariaDB server.
#
# mysqldump and mariadb-dump write trigger, event and view code byte for byte inside executable
# comments (/*!50003 TRIGGER … BEGIN … END */;; under DELIMITER ;;). Inside them strings and
# ordinary comments are ordinary: only a */ outside every string and comment ends the executable
# comment, and the INSERT/DELETE/UPDATE statements of the code are never rows or changes.
#
# For every case this script writes a dump in mysqldump's layout (tables with rows, then
# triggers, events, routines and views whose code holds comments of every kind and strings
# with */, /*, --, #, quotes and backslashes, in either escape mode), loads it with the mariadb
# client into a private server, dumps the database again with mariadb-dump, and checks both
# dumps with korvane-dump against what the server made of the first: `objects` exits 0 and
# lists exactly the server's tables with their row counts and the routines written as plain
# statements; `export` of every table equals the server's rows, field by field; `notes` names
# every view, trigger, event and routine written in executable comments, nothing else, and
# holds the change and ON DUPLICATE KEY UPDATE notes only for top-level statements.
#
# The cases are a table: a control case without such code, one case per body piece (that piece
# and an INSERT in a trigger, an event, a procedure and a function), one per view item, then
# seeded random mixtures of the pieces.
#
# Nesting, as the server has it (MariaDB 10.11): an ordinary comment inside an executable one
# is an ordinary comment; ordinary comments do not nest (/* a /* b */ ends at the first */);
# a line comment (-- , #) runs to the line end even past a */ (-- needs a blank after it: in
# 5--1 it is two minus signs); an executable comment inside an executable one is refused
# (ERROR 1064 near the outer */) when its version is at most the server's, /*!50001 as well as
# /*M!100100; one of a later version (/*!99999 … */) loads and is dropped from the stored code
# like an ordinary comment. Only forms the server loads are made.
# Bodies hold no ";;": mariadb-dump 10.11 never returns when an event's code contains it (it
# looks for a delimiter the code does not hold).
#
# Usage: mariadb_versioned_code.py PATH-TO-korvane-dump   (KVRT_KEEP=1 keeps the work folder)
# Exit status: 0 every case passes; 1 a case fails (each failing case is named with what went
# wrong) or a step failed; 77 the MariaDB programs are not installed.
# Python 3.11 standard library only. Every wait is bounded; the server is always shut down.

import os, random, re, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mariadb_roundtrip as rt  # noqa: E402  (the server, the rows and the CSV rules)
from mariadb_roundtrip import Failure, run  # noqa: E402

DB = rt.DB
SEED = 20261207
RANDOM_CASES = 8
BOTH, BS, NBE = "both", "backslash", "nbe"  # the escape modes a piece is valid SQL in
SQL_MODE = {BS: "STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION",
            NBE: "NO_BACKSLASH_ESCAPES,STRICT_TRANS_TABLES,NO_ENGINE_SUBSTITUTION"}
# Statements and comments of a BEGIN … END body, with the mode they are valid in. {t} is one of
# the case's tables, {id} an id no row has: a browser that indexes code shows an extra row.
BODY = [
    ("/* count */ INSERT INTO `{t}` VALUES ({id}, 'after a comment', 1);", BOTH),
    ("INSERT INTO `{t}` VALUES ({id}, 'a */ in a string', 2);", BOTH),
    ("INSERT INTO `{t}` VALUES ({id}, 'dup', 3) ON DUPLICATE KEY UPDATE n = n + 1;", BOTH),
    ("REPLACE INTO `{t}` VALUES ({id}, '/* opens', 4);", BOTH),
    ("INSERT INTO `ghost_rows` VALUES ({id}, '*/');", BOTH),
    ("DELETE FROM `{t}` WHERE txt = '*/';", BOTH),
    ("/* gone */ DELETE FROM `{t}` WHERE id = {id};", BOTH),
    ("UPDATE `{t}` SET txt = '-- no comment */' WHERE id = {id};", BOTH),
    ("SET @s = 'it''s */ doubled';", BOTH),
    ('SET @s = "double ""quoted"" */";', BOTH),
    ("SET @`name*/with` = '#', @`back\\` = '*/';", BOTH),
    ("SET @t = CONCAT('--', ' #', '/*'), @s = 'a;b */';", BOTH),
    ("/* it's a comment: ' \" ` -- # */", BOTH),
    ("/* outer /* inner */ INSERT INTO `{t}` VALUES ({id}, 'not nested', 6);", BOTH),
    ("-- a line comment */ it's\n", BOTH),
    ("SET @y = 5--1, @z = 'no comment\n*/';", BOTH),
    ("# a hash comment /* it's\n", BOTH),
    ("SET @g = 'CREATE TRIGGER ghost_t'; /* CREATE VIEW ghost_v AS SELECT 1 */", BOTH),
    ("/*!99999 INSERT INTO `{t}` VALUES ({id}, 'later version', 5); */", BOTH),
    ("SET @s = 'it\\'s */ escaped';", BS),
    ('SET @s = "say \\"*/";', BS),
    ("SET @s = 'C:\\'; /* it's */", NBE),
    ("SET @s = 'tab\\'; SET @t = '*/';", NBE),
]
# After each piece in the cases of one piece: a */ that ends the code early shows this row.
TAIL = "INSERT INTO `{t}` VALUES ({id}, 'after the piece', 0);"
# Code without comments or quoted */: what the browser reads right whatever it makes of them.
PLAIN = ["INSERT INTO `{t}` VALUES ({id}, 'plain', 0);", "DELETE FROM `{t}` WHERE id = {id};",
         "UPDATE `{t}` SET n = 1 WHERE id = {id};"]
# Items of a view's select list ({a} its alias, {t} a table), with the mode they are valid in.
VIEW = [
    ("'*/' AS `{a}`", BOTH),
    ("'/* opens' AS `{a}`", BOTH),
    ("'it''s */' AS `{a}`", BOTH),
    ("\"dq */\" AS `{a}`", BOTH),
    ("'a;b' AS `{a}`", BOTH),
    ("/* it's */ `id` AS `{a}`", BOTH),
    ("`id` AS `{a}` -- c */ it's\n", BOTH),
    ("`id` AS `{a}` # /* opens\n", BOTH),
    ("(SELECT COUNT(*) FROM `{t}` WHERE txt <> '*/' /* sub */) AS `{a}`", BOTH),
    ("'CREATE VIEW ghost' AS `{a}`", BOTH),
    ("'it\\'s */' AS `{a}`", BS),
    ("'C:\\' AS `{a}`", NBE),
]
# Bits of the rows' texts: what could end or open a comment or a string in the wrong lexer.
WORDS = ["*/", "/*", "-- ", "#", "'", '"', "\\", "\n", ";;", "`", "ab", "ü", " ", "/*!50003 ",
         "END */", "INSERT INTO"]
ESCAPED = str.maketrans({"\\": "\\\\", "'": "\\'", '"': '\\"', "\n": "\\n", "\r": "\\r",
                         "\0": "\\0", "\x1a": "\\Z"})
CODE_NOTE = re.compile(r"View-/Routinen-Code in einem Versionskommentar wurde nicht als "
                       r"Schemaobjekt übernommen(?: \((\S+) (.*)\))?\. Originaldatei")
CHANGE_NOTE, ODKU_NOTE = "SQL-Änderungsstatement wurde nicht ausgeführt.", \
    "ON DUPLICATE KEY UPDATE wurde nicht ausgeführt."
SHOWN = {"TRIGGER": "Trigger", "EVENT": "Event", "VIEW": "View", "PROCEDURE": "Prozedur",
         "FUNCTION": "Funktion"}


def quoted(text):  # a string literal as mysqldump writes it
    return "'" + text.translate(ESCAPED) + "'"


def mode_lines(mode, sep):
    # mysqldump's frame of a trigger, event or routine: the object's own sql_mode around it.
    return ("/*!50003 SET @saved_sql_mode       = @@sql_mode */ %s\n"
            "/*!50003 SET sql_mode              = '%s' */ %s\n" % (sep, SQL_MODE[mode], sep),
            "/*!50003 SET sql_mode              = @saved_sql_mode */ %s\n" % sep)


class Case:
    # One dump: its tables and rows, its code objects and the top-level extras.
    def __init__(self, label, rng, tables=2):
        self.label, self.rng, self.ids = label, rng, iter(range(9000, 10000))
        self.tables = {"t%d" % k: self.rows(rng) for k in range(1, tables + 1)}
        self.code = {t: [] for t in self.tables}  # triggers, written after their table's rows
        self.events, self.routines, self.views, self.extras = [], [], [], {t: [] for t in
                                                                          self.tables}
        self.plain, self.commented = set(), set()  # routine names; (kind, name) in comments
        self.change = self.odku = self.marks = False

    def marker(self, default):
        # MariaDB's own executable comment in place of mysqldump's, in some mixtures.
        return "/*M!100100" if self.marks and self.rng.random() < 0.3 else default

    @staticmethod
    def rows(rng):
        return [(i, None if rng.random() < 0.15 else "".join(
            rng.choice(WORDS) for _ in range(rng.randrange(9))),
            None if rng.random() < 0.2 else rng.randrange(-999, 1000))
            for i in range(1, rng.randrange(2, 8))]

    def body(self, pieces):
        t = self.rng.choice(list(self.tables))
        return "BEGIN\n%s\nEND" % "\n".join(p.format(t=t, id=next(self.ids)) for p in pieces)

    def trigger(self, pieces, mode):
        name, table = "tr%d" % sum(map(len, self.code.values())), self.rng.choice(
            list(self.tables))
        timing = self.rng.choice(["BEFORE", "AFTER"]) + " " + self.rng.choice(
            ["INSERT", "UPDATE", "DELETE"])
        before, after = mode_lines(mode, ";")
        self.code[table].append(
            before + "DELIMITER ;;\n/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ "
            "%s TRIGGER `%s` %s ON `%s` FOR EACH ROW %s */;;\nDELIMITER ;\n%s" % (
                self.marker("/*!50003"), name, timing, table, self.body(pieces), after))
        self.commented.add(("Trigger", name))

    def event(self, pieces, mode):
        name = "ev%d" % len(self.events)
        before, after = mode_lines(mode, ";;")
        self.events.append(
            "DELIMITER ;;\n" + before + "/*!50106 CREATE*/ /*!50117 DEFINER=`root`@`localhost`*/"
            " /*!50106 EVENT `%s` ON SCHEDULE EVERY 1 DAY STARTS '2030-01-01 00:00:00' ON "
            "COMPLETION PRESERVE DISABLE DO %s */ ;;\n%sDELIMITER ;\n" % (
                name, self.body(pieces), after))
        self.commented.add(("Event", name))

    def routine(self, kind, pieces, mode, commented):
        # mysqldump writes routines as plain statements; mysqldump 5.0 wrote them in comments.
        name = "%s%d" % (kind[0].lower(), len(self.routines))
        head = "%s `%s`()%s" % (kind, name, " RETURNS int DETERMINISTIC" if kind == "FUNCTION"
                                else "")
        code = self.body(pieces + (["RETURN 1;"] if kind == "FUNCTION" else []))
        text = ("/*!50003 CREATE*/ /*!50020 DEFINER=`root`@`localhost`*/ /*!50003 %s %s */;;"
                if commented else "CREATE DEFINER=`root`@`localhost` %s\n%s ;;") % (head, code)
        before, after = mode_lines(mode, ";")
        self.routines.append(before + "DELIMITER ;;\n" + text + "\nDELIMITER ;\n" + after)
        (self.commented.add((SHOWN[kind], name)) if commented else self.plain.add(name))

    def view(self, items, mode):
        name, t = "v%d" % len(self.views), self.rng.choice(list(self.tables))
        select = ",\n".join(["`id` AS `c0`"] + [item.format(a="c%d" % k, t=t)
                                                   for k, item in enumerate(items, 1)])
        before, after = mode_lines(mode, ";") if mode == NBE else ("", "")
        self.views.append(before + "/*!50001 CREATE ALGORITHM=UNDEFINED */\n/*!50013 DEFINER="
                          "`root`@`localhost` SQL SECURITY DEFINER */\n%s VIEW `%s` AS "
                          "SELECT %s\nFROM `%s` */;\n%s" % (self.marker("/*!50001"), name,
                                                             select, t, after))
        self.commented.add(("View", name))

    def top_level(self):
        # A change that changes nothing and an upsert of a new row: both noted, rows unchanged.
        t = self.rng.choice(list(self.tables))
        self.extras[t].append("UPDATE `%s` SET n = n WHERE id < 0;\n" % t)
        self.change = True
        row = (len(self.tables[t]) + 1, "*/ upsert /*", 7)
        self.extras[t].append("INSERT INTO `%s` VALUES (%d,%s,%d) ON DUPLICATE KEY UPDATE "
                              "n = VALUES(n);\n" % (t, row[0], quoted(row[1]), row[2]))
        self.odku = True

    def text(self):
        out = ["/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
               "/*!40101 SET NAMES utf8mb4 */;\n/*!40103 SET TIME_ZONE='+00:00' */;\n"
               "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n"
               "-- a top-level comment with it's */ and /* in it\n"
               "CREATE DATABASE /*!32312 IF NOT EXISTS*/ `%s` /*!40100 DEFAULT CHARACTER SET "
               "utf8mb4 COLLATE utf8mb4_bin */;\n\nUSE `%s`;\n" % (DB, DB)]
        for t, rows in self.tables.items():
            out.append(
                "\nDROP TABLE IF EXISTS `%s`;\nCREATE TABLE `%s` (\n  `id` int(11) NOT NULL,\n"
                "  `txt` varchar(200) DEFAULT NULL,\n  `n` int(11) DEFAULT NULL,\n  PRIMARY KEY "
                "(`id`)\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;\n"
                "LOCK TABLES `%s` WRITE;\n/*!40000 ALTER TABLE `%s` DISABLE KEYS */;\n"
                "INSERT INTO `%s` VALUES %s;\n/*!40000 ALTER TABLE `%s` ENABLE KEYS */;\n"
                "UNLOCK TABLES;\n" % (t, t, t, t, t, ",".join(
                    "(%d,%s,%s)" % (i, "NULL" if s is None else quoted(s),
                                    "NULL" if n is None else n) for i, s, n in rows), t))
            out += self.extras[t] + self.code[t]
        out += self.events + self.routines + self.views
        out.append("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n-- Dump completed\n")
        return "".join(out)


def valid(table, mode):
    return [text for text, m in table if m in (BOTH, mode)]


def control_case():
    # Every kind of code and both top-level notes, without anything the lexer could misread.
    case = Case("control (no comments, no quoted */)", random.Random(SEED - 1))
    case.trigger(PLAIN, BS)
    case.event(PLAIN, NBE)
    case.routine("PROCEDURE", PLAIN, BS, False)
    case.routine("FUNCTION", PLAIN, NBE, True)
    case.view(["'plain' AS `{a}`"], BS)
    case.top_level()
    return case


def piece_case(k):
    # Body piece k, then TAIL, in each kind of code: trigger and event (in executable comments),
    # a procedure as mysqldump writes it and a function as mysqldump 5.0 wrote it (in comments).
    text, mode = BODY[k]
    case = Case("piece %d %r" % (k, text.strip()[:60]), random.Random(SEED + k))
    mode = BS if mode == BOTH else mode
    case.trigger([text, TAIL], mode)
    case.event([text, TAIL], mode)
    case.routine("PROCEDURE", [text, TAIL], mode, False)
    case.routine("FUNCTION", [text, TAIL], mode, True)
    return case


def view_case(k):
    text, mode = VIEW[k]
    case = Case("view item %d %r" % (k, text.strip()[:60]), random.Random(SEED + 100 + k))
    case.view([text], BS if mode == BOTH else mode)
    return case


def random_case(k):
    # A mixture: objects of every kind, 1 to 5 pieces each; every third case all in
    # NO_BACKSLASH_ESCAPES, every third in the default mode, the rest mixed object by object;
    # some triggers and views with /*M!100100 in place of /*!50003 and /*!50001.
    rng = random.Random(SEED + 1000 + k)
    run_mode = [BS, NBE, None][k % 3]
    case = Case("random %d (seed %d, %s)" % (k, SEED + 1000 + k, run_mode or "mixed"), rng,
                rng.randrange(2, 4))
    case.marks = True
    for kind in ["TRIGGER"] * rng.randrange(1, 4) + ["EVENT"] * rng.randrange(1, 3) + [
            "PROCEDURE", "FUNCTION", "VIEW"] * rng.randrange(1, 3):
        mode = run_mode or rng.choice([BS, NBE])
        if kind == "VIEW":
            case.view(rng.sample(valid(VIEW, mode), rng.randrange(1, 4)), mode)
            continue
        pieces = [rng.choice(valid(BODY, mode)) for _ in range(rng.randrange(1, 6))]
        if kind == "TRIGGER":
            case.trigger(pieces, mode)
        elif kind == "EVENT":
            case.event(pieces, mode)
        else:
            case.routine(kind, pieces, mode, rng.random() < 0.3)
    if rng.random() < 0.5:
        case.top_level()
    return case


def server_code(server):
    # (shown kind, name) of every view, trigger, event and routine the server holds.
    return {(SHOWN[kind.decode()], name.decode()) for kind, name in server.query(
        "SELECT 'TRIGGER', TRIGGER_NAME FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA "
        "= DATABASE() UNION ALL SELECT 'EVENT', EVENT_NAME FROM information_schema.EVENTS "
        "WHERE EVENT_SCHEMA = DATABASE() UNION ALL SELECT 'VIEW', TABLE_NAME FROM "
        "information_schema.VIEWS WHERE TABLE_SCHEMA = DATABASE() UNION ALL SELECT "
        "ROUTINE_TYPE, ROUTINE_NAME FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = "
        "DATABASE()")}


def check_dump(program, work, path, tables, routines, commented, change, odku):
    # What korvane-dump makes of one dump, against the server: the list of faults.
    def browse(*args):
        return run([program, "--cache-root", work + "/cache", "--charset", "utf-8"] +
                   list(args), check=False)

    faults = []
    proc = browse("objects", path)
    if proc.returncode != 0:
        return ["objects exits %d: %s" % (proc.returncode, proc.stderr.decode().strip())]
    listed = {}
    for line in proc.stdout.decode().splitlines():
        f = line.split("\t")
        if f[1] != "database":
            listed[(f[1], f[2], f[3])] = (int(f[4]), int(f[5]))
    want = {("table", DB, t): (len(rows), len(cols)) for t, (cols, rows) in tables.items()}
    want.update({("routine", DB, name): (0, 0) for name in routines})
    faults += ["objects lists %s %s.%s with %s (entries, columns), expected %s" % (
        *key, listed.get(key), want.get(key)) for key in sorted(set(listed) | set(want))
        if listed.get(key) != want.get(key)]
    for t, (cols, rows) in tables.items():
        if listed.get(("table", DB, t)) != want[("table", DB, t)]:
            continue
        csv_path = "%s/%s-%s.csv" % (work, os.path.basename(path), t)
        proc = browse("export", path, "%s.%s" % (DB, t), csv_path)
        try:
            if proc.returncode != 0:
                raise Failure("export exits %d: %s" % (proc.returncode, proc.stderr.decode()))
            with open(csv_path, "rb") as f:
                got = rt.parse_csv(f.read())
        except Failure as e:
            faults.append("%s: %s" % (t, e))
            continue
        expected = [[rt.protected(c[0].encode()) for c in cols]] + [
            [rt.expected(c, v, "", "utf-8") for c, v in zip(cols, row)] for row in rows]
        faults += ["%s row %d: got %.200r, expected %.200r" % (t, r, g, w) for r, (g, w) in
                   enumerate(zip(got, expected)) if g != w]
        if len(got) != len(expected):
            faults.append("%s: %d CSV rows, expected %d" % (t, len(got), len(expected)))
    proc = browse("notes", path)
    notes = proc.stdout.decode().splitlines()
    if proc.returncode != 0:
        faults.append("notes exits %d" % proc.returncode)
    noted = {m.groups() for m in map(CODE_NOTE.match, notes) if m}
    commented = {(kind, "`%s`.`%s`" % (DB, name)) for kind, name in commented}  # with its database
    faults += ["note for %s %s, which the dump does not hold in executable comments" % k
               for k in sorted(noted - commented, key=str)]
    faults += ["no note for %s %s" % k for k in sorted(commented - noted)]
    for text, wanted in [(CHANGE_NOTE, change), (ODKU_NOTE, odku)]:
        if any(n.startswith(text) for n in notes) != wanted:
            faults.append("%s note %s" % (text.split()[0], "missing" if wanted else
                                          "without such a top-level statement"))
    return faults


def check_case(program, work, server, number, case):
    # Loads the case's dump, dumps the database again; the faults of both dumps by name.
    own, again = "%s/case%02d.sql" % (work, number), "%s/case%02d-mariadb-dump.sql" % (
        work, number)
    with open(own, "w", encoding="utf-8") as f:
        f.write(case.text())
    run(server.client("-e", "DROP DATABASE IF EXISTS `%s`" % DB))
    with open(own, "rb") as f:
        run(server.client("--comments"), stdin=f.read())
    tables, code = rt.server_tables(server), server_code(server)
    written = case.commented | {(k, n) for k, n in code if n in case.plain}
    if code != written or set(tables) != set(case.tables) or any(
            int(row[0][0]) >= 9000 for _, rows in tables.values() for row in rows):
        raise Failure("%s: the server holds %s, the tables %s, not what the dump wrote" % (
            case.label, sorted(code), sorted(tables)))
    server.dump(["--routines", "--events", "--triggers"], again)
    routines = {n for k, n in code if k in ("Prozedur", "Funktion")}
    return [("own dump", check_dump(program, work, own, tables, case.plain, case.commented,
                                     case.change, case.odku)),
            ("mariadb-dump", check_dump(program, work, again, tables, routines,
                                        {c for c in code if c[0] in ("Trigger", "Event",
                                                                     "View")}, False, False))]


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print("usage: mariadb_versioned_code.py PATH-TO-korvane-dump (an executable)")
        return 1
    tools = rt.find_tools()
    if rt.missing_tools(tools):
        return 77
    work = rt.work_folder("kvvc-")
    server, started, failed = rt.Server(tools, work), time.monotonic(), []
    cases = ([control_case()] + [piece_case(k) for k in range(len(BODY))] + [view_case(k) for k in range(len(VIEW))]
             + [random_case(k) for k in range(RANDOM_CASES)])
    try:
        server.start()
        for number, case in enumerate(cases):
            faults = [(which, f) for which, fs in check_case(
                os.path.abspath(sys.argv[1]), work, server, number, case) for f in fs]
            if faults:
                failed.append(case.label)
                print("FAIL case %d, %s:" % (number, case.label))
                for which, fault in faults[:8]:
                    print("    [%s] %s" % (which, fault[:400]))
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        server.stop()
        rt.leave_work(work)
    print("%d cases, %d failed, %.1f s" % (len(cases), len(failed), time.monotonic() - started))
    if failed:
        print("FAILED: %s" % "; ".join(failed))
        return 1
    print("OK: every case passes")
    return 0


if __name__ == "__main__":
    rt.run_program(main)
