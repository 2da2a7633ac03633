// The case file tests/data/records/cases.txt run against the records layer: value
// classification, binary column types, hex, character sets, display lines, count and size
// texts, CSV fields and fast CSV rows, the filter's raw test, filters over an imported dump,
// tuples read from a dump file, and whole CSV exports compared with their expected files.
#include <gtest/gtest.h>

#include <memory>
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
    for (char c : s) {
        if (c == separator) out.emplace_back();
        else out.back().push_back(c);
    }
    return out;
}

std::string shown(const Value& value) { return test::kind_letter(value.kind) + value.text; }

ValueKind kind(const std::string& letter) {
    return static_cast<ValueKind>(std::string("NT#BS-").find(letter));
}

TEST(Cases, FromTheCaseFile) {
    test::ImportedDump mixed;
    ASSERT_TRUE(mixed.import(test::read_file(test::data_file("records/mixed.sql"))));
    const std::string mixed_index = test::read_file(mixed.index(0));
    test::OpenedDump dump;
    DecodedRecord record;
    std::string out, scratch;
    for (const auto& f : test::case_lines("cases.txt")) {
        SCOPED_TRACE(f[0] + " " + f[1] + " " + f[2]);
        const auto number = [&](std::size_t i) { return std::stoull(f[i]); };
        if (f[0] == "decode") {
            Value v{"stale", VALUE_NOT_IN_INSERT};
            ASSERT_TRUE(value_decode(f[2], f[1] == "1", v));
            EXPECT_EQ(shown(v), f[3] + f[4]);
        } else if (f[0] == "binary") {
            EXPECT_EQ(binary_type_test(f[1]), f[2] == "1");
        } else if (f[0] == "hex") {
            out = "old content";
            ASSERT_TRUE(hex_encode(f[1], out));
            EXPECT_EQ(out, f[2]);
        } else if (f[0] == "utf8") {
            out = "stale";
            ASSERT_TRUE(text_to_utf8(f[2], static_cast<Charset>(number(1)), out));
            EXPECT_EQ(out, f[3]);
        } else if (f[0] == "display") {
            ASSERT_TRUE(value_display_text(Value{f[4], kind(f[1])}, static_cast<Charset>(number(3)),
                                           number(2), out));
            EXPECT_EQ(out, f[5]);
        } else if (f[0] == "count") {
            EXPECT_EQ(count_text(number(1)), f[2]);
        } else if (f[0] == "size") {
            EXPECT_EQ(size_text(number(1)), f[2]);
        } else if (f[0] == "csv") {
            out = "x;";
            ASSERT_TRUE(csv_value_append(out, Value{f[4], kind(f[1])},
                                         static_cast<Charset>(number(3)), f[2] == "1", scratch));
            EXPECT_EQ(out, "x;" + f[5]);
        } else if (f[0] == "csvrow") {
            const ref::Table table({0, 0, 1});
            EXPECT_EQ(ref::fast_row(table, f[2], 0, static_cast<Charset>(number(1)), true), f[3]);
        } else if (f[0] == "raw") {
            RawFilter raw;
            raw_filter_init(raw, static_cast<std::uint32_t>(number(1)), f[3],
                            static_cast<Charset>(number(2)));
            EXPECT_EQ(raw.active, f[4] == "1");
            EXPECT_EQ(raw.active ? raw.bytes : "", f[5]);
        } else if (f[0] == "filter") {
            FilterRequest request;
            request.column = std::stoi(f[1]);
            request.op = static_cast<std::uint32_t>(number(2));
            request.charset = static_cast<std::uint32_t>(number(3));
            request.text = f[4];
            std::uint64_t hits = 99;
            const std::string result = mixed.dir.file("query-new.kvi");
            ASSERT_TRUE(filter_run(mixed.state, 0, request, result, hits, nullptr));
            std::string expected;
            for (const auto& row : split(f[5], ',')) {
                if (!row.empty()) expected += mixed_index.substr(std::stoul(row) * 16, 16);
            }
            EXPECT_EQ(hits, expected.size() / 16);
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
            IndexEntry e{dump.bytes.find(f[2]), static_cast<std::uint32_t>(f[2].size()), 0};
            if (f[2][0] == '@') {
                e.offset = std::stoull(f[2].substr(1));
                e.length = std::stoul(f[2].substr(f[2].find(',') + 1));
            }
            e.layout_word = std::stoul(f[3]) | (f[3].back() == 'n' ? LAYOUT_NO_BACKSLASH : 0);
            std::string values = "!";
            if (record_decode(dump.state, static_cast<std::uint32_t>(number(1)), e, record)) {
                values.clear();
                for (const Value& v : record.values) values += (values.empty() ? "" : "|") + shown(v);
                EXPECT_EQ(record.tuple, dump.bytes.substr(e.offset, e.length));
            } else {
                values += dump.state.message;
                EXPECT_TRUE(record.values.empty() && record.tuple.empty());
            }
            EXPECT_EQ(values, f[4]);
        } else if (f[0] == "export") {
            test::ImportedDump d;
            ASSERT_TRUE(d.import(test::read_file(test::data_file("records/" + f[1]))));
            const std::string csv = d.dir.file("out.csv");
            test::RecordingSink recorder;
            const ProgressSink sink = recorder.sink();
            const std::uint64_t rows = d.state.objects[0].entry_count;
            ASSERT_TRUE(csv_export(d.state, 0, d.index(0), rows, csv,
                                   static_cast<Charset>(number(2)), f[3] == "1", &sink));
            EXPECT_EQ(test::read_file(csv), test::read_file(test::data_file("records/" + f[4])));
            if (rows > 0) EXPECT_EQ(recorder.reports.at(0), "0/" + std::to_string(rows) + "/0 CSV exportieren");
        } else {
            ADD_FAILURE() << "unknown case";
        }
    }
}

}  // namespace
}  // namespace kv
