// The case file tests/data/records/cases.txt run against the records layer: value
// classification, binary column types, hex, character sets, display lines, count and size
// texts, CSV fields and fast CSV rows, the filter's raw test, filters over an imported dump,
// tuples read from a dump file, and whole CSV exports compared with their expected files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/csv_export.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "tests/records/records_test_support.h"
#include "tests/records/reference.h"

namespace kv {
namespace {

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> out(1);
    for (char c : s) c == separator ? void(out.emplace_back()) : out.back().push_back(c);
    return out;
}

std::string shown(const std::vector<Value>& values) {
    std::string out;
    for (const Value& v : values) out += (out.empty() ? "" : "|") + test::kind_letter(v.kind) + v.text;
    return out;
}

TEST(Cases, FromTheCaseFile) {
    test::ImportedDump mixed;
    ASSERT_TRUE(mixed.import(test::read_file(test::data_file("records/mixed.sql"))));
    const std::string mixed_index = test::read_file(mixed.index(0)), result = mixed.dir.file("q.kvi");
    test::OpenedDump dump;
    DecodedRecord record;
    std::string out, scratch;
    for (const auto& f : test::case_lines("cases.txt")) {
        SCOPED_TRACE(f[0] + " " + f[1] + " " + f[2]);
        const auto number = [&](std::size_t i) { return std::stoull(f[i]); };
        const auto cs = [&](std::size_t i) { return static_cast<Charset>(number(i)); };
        const auto value = [&](std::size_t kind, std::size_t text) {
            return Value{f[text], static_cast<ValueKind>(std::string("NT#BS-").find(f[kind]))};
        };
        if (f[0] == "decode") {
            Value v{"stale", VALUE_NOT_IN_INSERT};
            EXPECT_EQ(value_decode(f[2], f[1] == "1", v) ? shown({v}) : "failed", f[3] + f[4]);
        } else if (f[0] == "binary") {
            EXPECT_EQ(binary_type_test(f[1]), f[2] == "1");
        } else if (f[0] == "hex") {
            EXPECT_EQ(hex_encode(f[1], out = "old") ? out : "failed", f[2]);
        } else if (f[0] == "utf8") {
            EXPECT_EQ(text_to_utf8(f[2], cs(1), out = "stale") ? out : "failed", f[3]);
        } else if (f[0] == "display") {
            EXPECT_EQ(value_display_text(value(1, 4), cs(3), number(2), out) ? out : "failed", f[5]);
        } else if (f[0] == "count" || f[0] == "size") {
            EXPECT_EQ(f[0] == "count" ? count_text(number(1)) : size_text(number(1)), f[2]);
        } else if (f[0] == "csv") {
            EXPECT_EQ(csv_value_append(out = "x;", value(1, 4), cs(3), f[2] == "1", scratch) ? out : "", "x;" + f[5]);
        } else if (f[0] == "csvrow") {
            EXPECT_EQ(ref::fast_row(ref::Table({0, 0, 1}), f[2], 0, cs(1), true), f[3]);
        } else if (f[0] == "raw") {
            RawFilter raw;
            raw_filter_init(raw, static_cast<std::uint32_t>(number(1)), f[3], cs(2));
            EXPECT_EQ(raw.active ? "1" + raw.bytes : "0", f[4] + f[5]);
        } else if (f[0] == "filter") {
            FilterRequest request{std::stoi(f[1]), static_cast<std::uint32_t>(number(2)), f[4],
                                  static_cast<std::uint32_t>(number(3))};
            std::uint64_t hits = 99;
            ASSERT_TRUE(filter_run(mixed.state, 0, request, result, hits, nullptr));
            std::string expected;
            for (const auto& row : split(f[5], ',')) expected += row.empty() ? "" : mixed_index.substr(std::stoul(row) * 16, 16);
            EXPECT_EQ(hits * 16, expected.size());
            EXPECT_EQ(test::read_file(result), expected);
            EXPECT_STREQ(mixed.state.message, "");
        } else if (f[0] == "dump") {
            dump.open(f[1]);
            SchemaObject object;
            for (const auto& type : split(f[2], ';')) object.columns.push_back(Column{"c", type});
            for (const auto& layout : split(f[3], '/')) {
                object.layouts.emplace_back();
                for (const auto& c : split(layout, ',')) {
                    if (!c.empty()) object.layouts.back().columns.push_back(std::stoul(c));
                }
            }
            dump.state.objects.assign(1, object);
        } else if (f[0] == "record") {
            const bool at = f[2][0] == '@';
            IndexEntry e{at ? std::stoull(f[2].substr(1)) : dump.bytes.find(f[2]),
                         static_cast<std::uint32_t>(at ? std::stoul(f[2].substr(f[2].find(',') + 1)) : f[2].size()),
                         std::stoul(f[3]) | (f[3].back() == 'n' ? LAYOUT_NO_BACKSLASH : 0)};
            const bool ok = record_decode(dump.state, static_cast<std::uint32_t>(number(1)), e, record);
            EXPECT_EQ(ok ? shown(record.values) : "!" + std::string(dump.state.message), f[4]);
            EXPECT_EQ(record.tuple, ok ? dump.bytes.substr(e.offset, e.length) : "");
            EXPECT_EQ(record.values.empty(), !ok);  // a failure leaves nothing behind
        } else if (f[0] == "export") {
            test::ImportedDump d;
            ASSERT_TRUE(d.import(test::read_file(test::data_file("records/" + f[1]))));
            test::RecordingSink recorder;
            const ProgressSink sink = recorder.sink();
            const std::uint64_t rows = d.state.objects[0].entry_count;
            ASSERT_TRUE(csv_export(d.state, 0, d.index(0), rows, d.dir.file("out.csv"), cs(2), f[3] == "1", &sink));
            EXPECT_EQ(test::read_file(d.dir.file("out.csv")), test::read_file(test::data_file("records/" + f[4])));
            EXPECT_EQ(recorder.reports.empty() ? "" : recorder.reports[0],
                      rows ? "0/" + std::to_string(rows) + "/0 CSV exportieren" : "");
        } else {
            ADD_FAILURE() << "unknown case";
        }
    }
}

}  // namespace
}  // namespace kv
