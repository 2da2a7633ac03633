// Deterministic generator of large dumps in the style mysqldump writes, for the benchmarks:
// `kv_dump_generate OUTPUT SIZE [SEED]` writes about SIZE bytes (suffixes K, M, G) to OUTPUT.
//
// The dump holds four tables: a small customer table, an order table, one large event table
// (about 85 % of the bytes) and a table of binary values. Rows go into extended INSERTs of
// about 1 MiB a statement and mix integers, decimals, dates, short and long text with quotes,
// backslash escapes and line breaks, NULLs, umlauts, 4-byte characters and binary bytes. About
// 1 % of the event rows carry the word "Zaunkoenigfeder" in their long text, so that a filter
// for it has a known selectivity. The same SIZE and SEED always give the same bytes; sizes from
// a few megabytes to tens of gigabytes are written through one 4 MiB buffer.
//
// `kv_dump_generate --rows list|plain OUTPUT SIZE [SEED]` writes the same rows a row per INSERT
// (mysqldump --skip-extended-insert), with the column list of --complete-insert or without it;
// the file is larger than SIZE by the statement heads.
// `kv_dump_generate --wide list|plain OUTPUT SIZE [SEED]` writes instead one table of 1,000
// columns, a row per INSERT, with or without the column list (see generate_wide).
// `kv_dump_generate --false-joins OUTPUT SIZE` writes one table whose first row holds a string
// of SIZE bytes with a false join "),(1(" once per MiB, then a short row (see
// generate_false_joins). `kv_dump_generate OUTPUT --objects N` instead writes a schema of N objects (at most 65,536,
// the most a dump may hold) for the tree: N / 2 databases, each with one table of one row, so
// that every database name is looked up once for itself and once for its table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/file.h"

namespace kv {
namespace {

constexpr std::size_t STATEMENT_TARGET = 1040000;  // bytes of tuples per INSERT
constexpr std::size_t OUT_BUFFER = 4u << 20;

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
};

// Output through one fixed buffer; the first write failure is kept.
struct Out {
    FileHandle file = INVALID_FILE;
    std::string buffer;
    std::uint64_t written = 0;
    bool ok = true;
    void flush() {
        if (ok && !buffer.empty() && !file_write_all(file, buffer.data(), buffer.size())) ok = false;
        written += buffer.size();
        buffer.clear();
    }
    void put(const char* s) { buffer.append(s); }
    void put(const std::string& s) { buffer.append(s); }
    void put(char c) { buffer.push_back(c); }
    void num(std::int64_t v) {
        char b[32];
        std::snprintf(b, sizeof b, "%lld", static_cast<long long>(v));
        buffer.append(b);
    }
    std::uint64_t size() const { return written + buffer.size(); }
};

bool create(Out& out, const char* path) {
    out.file = file_open(path, FILE_MODE_CREATE);
    if (out.file == INVALID_FILE) std::fprintf(stderr, "cannot create %s\n", path);
    return out.file != INVALID_FILE;
}

// Writes what is buffered, flushes and closes; prints the size. The exit code.
int finish(Out& out, const char* path) {
    out.flush();
    const bool ok = out.ok && file_flush(out.file);
    file_close(out.file);
    if (!ok) {
        std::fprintf(stderr, "write error on %s\n", path);
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(out.written));
    return 0;
}

const char* const WORDS[] = {
    "Auftrag", "Lieferung", "Straße", "Müller", "Größe", "Übergabe", "Köln", "Dübel", "Bär",
    "order", "shipment", "status", "pending", "done", "café", "naïve", "Ærøskøbing", "Łódź",
    "smile 😀", "rocket 🚀", "math 𝔸𝔹", "note", "it's", "say \"hi\"", "C:\\temp\\x", "a,b",
    "(paren)", "semi;colon", "dash -- not a comment", "slash /* not */ a comment", "#hash",
    "tab\there", "line\nbreak", "crlf\r\nline", "data", "value", "lorem", "ipsum", "dolor"};
constexpr std::uint32_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];

// A string literal of the words, escaped as mysqldump escapes (\0 \' \" \\ \n \r \Z).
void put_escaped(Out& out, const std::string& raw) {
    out.put('\'');
    for (unsigned char c : raw) {
        switch (c) {
            case 0: out.put("\\0"); break;
            case '\'': out.put("\\'"); break;
            case '"': out.put("\\\""); break;
            case '\\': out.put("\\\\"); break;
            case '\n': out.put("\\n"); break;
            case '\r': out.put("\\r"); break;
            case 26: out.put("\\Z"); break;
            default: out.put(static_cast<char>(c)); break;
        }
    }
    out.put('\'');
}

std::string words(Rng& rng, std::uint32_t count) {
    std::string s;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i != 0) s.push_back(' ');
        s.append(WORDS[rng.below(WORD_COUNT)]);
    }
    return s;
}

void put_decimal(Out& out, Rng& rng) {
    std::int64_t cents = static_cast<std::int64_t>(rng.below(100000000)) - 20000000;
    char b[40];
    std::snprintf(b, sizeof b, "%s%lld.%02lld", cents < 0 ? "-" : "",
                  static_cast<long long>((cents < 0 ? -cents : cents) / 100),
                  static_cast<long long>((cents < 0 ? -cents : cents) % 100));
    out.put(b);
}

void put_date(Out& out, Rng& rng, bool with_time) {
    char b[40];
    if (with_time) {
        std::snprintf(b, sizeof b, "'%04u-%02u-%02u %02u:%02u:%02u'", 2000 + rng.below(26),
                      1 + rng.below(12), 1 + rng.below(28), rng.below(24), rng.below(60),
                      rng.below(60));
    } else {
        std::snprintf(b, sizeof b, "'%04u-%02u-%02u'", 1950 + rng.below(70), 1 + rng.below(12),
                      1 + rng.below(28));
    }
    out.put(b);
}

void put_binary_string(Out& out, Rng& rng, std::uint32_t length) {
    std::string raw;
    for (std::uint32_t i = 0; i < length; ++i) raw.push_back(static_cast<char>(rng.below(256)));
    put_escaped(out, raw);
}

void put_hex(Out& out, Rng& rng, std::uint32_t length) {
    static const char HEX[] = "0123456789ABCDEF";
    out.put("0x");
    for (std::uint32_t i = 0; i < length; ++i) {
        unsigned b = rng.below(256);
        out.put(HEX[b >> 4]);
        out.put(HEX[b & 15]);
    }
}

// One row of the given table, with its parentheses.
void put_row(Out& out, Rng& rng, int table, std::uint64_t id) {
    out.put('(');
    out.num(static_cast<std::int64_t>(id));
    switch (table) {
        case 0:  // customers
            out.put(',');
            put_escaped(out, words(rng, 2));
            out.put(',');
            if (rng.chance(10)) out.put("NULL"); else put_escaped(out, words(rng, 1 + rng.below(3)));
            out.put(',');
            put_date(out, rng, false);
            out.put(',');
            put_decimal(out, rng);
            break;
        case 1:  // orders
            out.put(',');
            out.num(1 + rng.below(100000));
            out.put(',');
            put_date(out, rng, true);
            out.put(',');
            put_decimal(out, rng);
            out.put(',');
            if (rng.chance(5)) out.put("NULL"); else put_escaped(out, words(rng, 3 + rng.below(8)));
            break;
        case 2: {  // events (the large table)
            out.put(',');
            out.num(static_cast<std::int64_t>(rng.below(2000000000)) - 1000000000);
            out.put(',');
            put_date(out, rng, true);
            out.put(',');
            if (rng.chance(5)) out.put("NULL"); else put_decimal(out, rng);
            out.put(',');
            put_escaped(out, words(rng, 1 + rng.below(3)));
            out.put(',');
            if (rng.chance(8)) {
                out.put("NULL");
            } else {
                std::string text = words(rng, 10 + rng.below(60));
                if (rng.below(100) == 0) {
                    text.insert(text.size() / 2, " Zaunkoenigfeder ");
                }
                put_escaped(out, text);
            }
            out.put(',');
            out.num(rng.below(2));
            break;
        }
        default:  // blobs
            out.put(',');
            put_escaped(out, words(rng, 1));
            out.put(',');
            put_binary_string(out, rng, 16 + rng.below(48));
            out.put(',');
            if (rng.chance(10)) out.put("NULL"); else put_hex(out, rng, 8 + rng.below(120));
            break;
    }
    out.put(')');
}

const char* const TABLE_NAMES[] = {"customers", "orders", "events", "blobs"};
const char* const TABLE_DEFINITIONS[] = {
    "  `id` int NOT NULL,\n  `name` varchar(100) NOT NULL,\n  `city` varchar(100) DEFAULT NULL,\n"
    "  `born` date NOT NULL,\n  `balance` decimal(12,2) NOT NULL,\n  PRIMARY KEY (`id`)\n",
    "  `id` bigint NOT NULL,\n  `customer` int NOT NULL,\n  `placed` datetime NOT NULL,\n"
    "  `total` decimal(12,2) NOT NULL,\n  `note` varchar(500) DEFAULT NULL,\n  PRIMARY KEY (`id`)\n",
    "  `id` bigint NOT NULL,\n  `code` int NOT NULL,\n  `at` datetime NOT NULL,\n"
    "  `amount` decimal(12,2) DEFAULT NULL,\n  `title` varchar(200) NOT NULL,\n"
    "  `body` text,\n  `flag` tinyint NOT NULL,\n  PRIMARY KEY (`id`)\n",
    "  `id` int NOT NULL,\n  `label` varchar(50) NOT NULL,\n  `raw` varbinary(255) NOT NULL,\n"
    "  `data` blob,\n  PRIMARY KEY (`id`)\n"};
// Share of the dump's bytes per table, in percent.
const std::uint32_t TABLE_SHARE[] = {3, 7, 85, 5};

// How the rows go into statements: extended INSERTs of about 1 MiB (mysqldump's default), or
// one row per INSERT (--skip-extended-insert), with the column list of --complete-insert or
// without one. All three hold the same rows for the same SIZE and SEED: a table's rows are
// counted as the extended form counts its bytes.
enum class RowStyle { extended, one_plain, one_list };

// The column list of each table, as --complete-insert writes it.
const char* const TABLE_COLUMNS[] = {
    "(`id`, `name`, `city`, `born`, `balance`)",
    "(`id`, `customer`, `placed`, `total`, `note`)",
    "(`id`, `code`, `at`, `amount`, `title`, `body`, `flag`)",
    "(`id`, `label`, `raw`, `data`)"};

// The rows of about one extended INSERT (STATEMENT_TARGET bytes of tuples), in style; returns
// the bytes the extended form of them holds.
std::uint64_t put_statement(Out& out, Rng& rng, int table, std::uint64_t& id, RowStyle style,
                            const std::string& head) {
    if (style == RowStyle::extended) out.put(head);
    std::size_t tuples = 0;
    for (bool first = true; tuples < STATEMENT_TARGET; first = false) {
        if (!first) {
            ++tuples;
            if (style == RowStyle::extended) out.put(',');
        }
        if (style != RowStyle::extended) out.put(head);
        const std::uint64_t before = out.size();
        put_row(out, rng, table, id++);
        tuples += static_cast<std::size_t>(out.size() - before);
        if (style != RowStyle::extended) out.put(";\n");
        if (out.buffer.size() >= OUT_BUFFER) out.flush();
    }
    if (style == RowStyle::extended) out.put(";\n");
    return head.size() + tuples + 2;
}

void put_table(Out& out, Rng& rng, int table, std::uint64_t bytes, RowStyle style) {
    const char* name = TABLE_NAMES[table];
    out.put("\n--\n-- Table structure for table `");
    out.put(name);
    out.put("`\n--\n\nDROP TABLE IF EXISTS `");
    out.put(name);
    out.put("`;\n/*!40101 SET @saved_cs_client     = @@character_set_client */;\n"
            "/*!50503 SET character_set_client = utf8mb4 */;\nCREATE TABLE `");
    out.put(name);
    out.put("` (\n");
    out.put(TABLE_DEFINITIONS[table]);
    out.put(") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_0900_ai_ci;\n"
            "/*!40101 SET character_set_client = @saved_cs_client */;\n\n--\n-- Dumping data "
            "for table `");
    out.put(name);
    out.put("`\n--\n\nLOCK TABLES `");
    out.put(name);
    out.put("` WRITE;\n/*!40000 ALTER TABLE `");
    out.put(name);
    out.put("` DISABLE KEYS */;\n");
    const std::string head = std::string("INSERT INTO `") + name + "` " +
                             (style == RowStyle::one_list ? std::string(TABLE_COLUMNS[table]) + " " : "") +
                             "VALUES ";
    std::uint64_t counted = out.size();  // as the extended form counts
    const std::uint64_t end = counted + bytes;
    std::uint64_t id = 1;
    while (counted < end && out.ok) {
        counted += put_statement(out, rng, table, id, style, head);
        if (out.buffer.size() >= OUT_BUFFER - STATEMENT_TARGET - 65536) out.flush();
    }
    out.put("/*!40000 ALTER TABLE `");
    out.put(name);
    out.put("` ENABLE KEYS */;\nUNLOCK TABLES;\n");
}

int generate(const char* path, std::uint64_t size, std::uint64_t seed, RowStyle style) {
    Out out;
    out.buffer.reserve(OUT_BUFFER + STATEMENT_TARGET);
    if (!create(out, path)) return 1;
    Rng rng{seed};
    out.put("-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)\n--\n-- Host: localhost    "
            "Database: benchdb\n-- ------------------------------------------------------\n"
            "-- Server version\t8.0.36\n\n"
            "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
            "/*!50503 SET NAMES utf8mb4 */;\n/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;\n"
            "/*!40103 SET TIME_ZONE='+00:00' */;\n"
            "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\n"
            "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n"
            "/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;\n\n"
            "CREATE DATABASE /*!32312 IF NOT EXISTS*/ `benchdb` /*!40100 DEFAULT CHARACTER SET "
            "utf8mb4 */;\n\nUSE `benchdb`;\n");
    for (int table = 0; table < 4; ++table) {
        put_table(out, rng, table, size / 100 * TABLE_SHARE[table], style);
    }
    out.put("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n\n-- Dump completed\n");
    return finish(out, path);
}

// A table of WIDE_COLUMNS columns dumped a row per INSERT (mysqldump --skip-extended-insert),
// with the column list of --complete-insert or without one: the shape whose header costs as
// much as its row. Both forms hold the same rows for the same SIZE and SEED.
constexpr int WIDE_COLUMNS = 1000;

int generate_wide(const char* path, std::uint64_t size, std::uint64_t seed, bool with_list) {
    Out out;
    out.buffer.reserve(OUT_BUFFER + 65536);
    if (!create(out, path)) return 1;
    Rng rng{seed};
    char name[24];
    out.put("-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)\n"
            "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n"
            "USE `benchdb`;\nCREATE TABLE `wide` (\n");
    for (int c = 1; c <= WIDE_COLUMNS; ++c) {
        std::snprintf(name, sizeof name, "`spalte_%04d`", c);
        out.put("  ");
        out.put(name);
        out.put(c % 3 == 0 ? " varchar(20) DEFAULT NULL,\n" : " int DEFAULT NULL,\n");
    }
    out.put("  PRIMARY KEY (`spalte_0001`)\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;\n");
    std::string header = "INSERT INTO `wide` ";
    if (with_list) {
        header += "(";
        for (int c = 1; c <= WIDE_COLUMNS; ++c) {
            std::snprintf(name, sizeof name, "`spalte_%04d`", c);
            header += c > 1 ? ", " : "";
            header += name;
        }
        header += ") ";
    }
    header += "VALUES (";
    for (std::uint64_t id = 1; out.size() < size && out.ok; ++id) {
        out.put(header);
        out.num(static_cast<std::int64_t>(id));
        for (int c = 2; c <= WIDE_COLUMNS; ++c) {
            out.put(',');
            if (rng.chance(5)) {
                out.put("NULL");
            } else if (c % 3 == 0) {
                put_escaped(out, WORDS[rng.below(WORD_COUNT)]);
            } else {
                out.num(rng.below(100000));
            }
        }
        out.put(");\n");
        if (out.buffer.size() >= OUT_BUFFER) out.flush();
    }
    out.put("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n");
    return finish(out, path);
}

// One row whose string of about size bytes holds "),(1(" once per MiB: to a helper thread of
// the import each looks like the join of two tuples, and the walk from any of them opens one
// parenthesis more at every later one, so that it never sees its tuple close. A short row
// follows, so that the statement loop asks for the helpers' results after the string.
int generate_false_joins(const char* path, std::uint64_t size) {
    constexpr std::size_t MIB = 1048576;
    Out out;
    out.buffer.reserve(OUT_BUFFER + MIB);
    if (!create(out, path)) return 1;
    out.put("CREATE TABLE `t` (\n  `id` int NOT NULL,\n  `body` longtext\n);\n"
            "INSERT INTO `t` VALUES (1,'");
    const std::string join = "),(1(";
    const std::string block = std::string(MIB - join.size(), 'x') + join;
    for (std::uint64_t done = 0; done + MIB <= size && out.ok; done += MIB) {
        out.put(block);
        if (out.buffer.size() >= OUT_BUFFER) out.flush();
    }
    out.put("'),(2,'short');\n");
    return finish(out, path);
}

int generate_objects(const char* path, std::uint32_t objects) {
    Out out;
    if (!create(out, path)) return 1;
    char statement[256];
    for (std::uint32_t d = 0; d < objects / 2; ++d) {
        std::snprintf(statement, sizeof statement,
                      "CREATE DATABASE /*!32312 IF NOT EXISTS*/ `db_%05u`;\n\nUSE `db_%05u`;\n"
                      "CREATE TABLE `kunden` (\n  `id` int NOT NULL,\n  `name` varchar(40)\n);\n"
                      "INSERT INTO `kunden` VALUES (%u,'Kunde %u');\n",
                      d, d, d + 1, d + 1);
        out.put(statement);
        if (out.buffer.size() >= OUT_BUFFER) out.flush();
    }
    return finish(out, path);
}

bool parse_size(const char* text, std::uint64_t& size) {
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text) return false;
    std::uint64_t unit = 1;
    if (*end == 'K' || *end == 'k') unit = 1000, ++end;
    else if (*end == 'M' || *end == 'm') unit = 1000000, ++end;
    else if (*end == 'G' || *end == 'g') unit = 1000000000, ++end;
    if (*end == 'B' || *end == 'b') ++end;
    if (*end != '\0') return false;
    size = v * unit;
    return size > 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[2], "--objects") == 0) {
        unsigned long objects = std::strtoul(argv[3], nullptr, 10);
        if (objects < 2 || objects > 65536) {
            std::fprintf(stderr, "--objects: 2 to 65536\n");
            return 2;
        }
        return kv::generate_objects(argv[1], static_cast<std::uint32_t>(objects));
    }
    std::uint64_t size = 0;
    if (argc == 4 && std::strcmp(argv[1], "--false-joins") == 0 && kv::parse_size(argv[3], size)) {
        return kv::generate_false_joins(argv[2], size);
    }
    if (argc >= 5 && argc <= 6 && std::strcmp(argv[1], "--wide") == 0 &&
        (std::strcmp(argv[2], "list") == 0 || std::strcmp(argv[2], "plain") == 0) &&
        kv::parse_size(argv[4], size)) {
        std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 20261206;
        return kv::generate_wide(argv[3], size, seed, std::strcmp(argv[2], "list") == 0);
    }
    if (argc >= 5 && argc <= 6 && std::strcmp(argv[1], "--rows") == 0 &&
        (std::strcmp(argv[2], "list") == 0 || std::strcmp(argv[2], "plain") == 0) &&
        kv::parse_size(argv[4], size)) {
        std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 20261206;
        return kv::generate(argv[3], size, seed,
                            std::strcmp(argv[2], "list") == 0 ? kv::RowStyle::one_list
                                                              : kv::RowStyle::one_plain);
    }
    if (argc < 3 || argc > 4 || !kv::parse_size(argv[2], size)) {
        std::fprintf(stderr,
                     "usage: kv_dump_generate OUTPUT SIZE[K|M|G] [SEED]\n"
                     "       kv_dump_generate --rows list|plain OUTPUT SIZE[K|M|G] [SEED]\n"
                     "       kv_dump_generate --wide list|plain OUTPUT SIZE[K|M|G] [SEED]\n"
                     "       kv_dump_generate --false-joins OUTPUT SIZE[K|M|G]\n"
                     "       kv_dump_generate OUTPUT --objects N\n");
        return 2;
    }
    std::uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 20261206;
    return kv::generate(argv[1], size, seed, kv::RowStyle::extended);
}
