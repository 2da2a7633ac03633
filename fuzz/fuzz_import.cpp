// Fuzz target: a whole import of arbitrary dump bytes, then every indexed tuple read back.
//
// Every input is imported through the window scans. A failure must leave its German sentence.
// A success must load again from its manifest unchanged, and every tuple must decode and
// render as display text under each character set. Imports of more than MAX_TUPLES tuples
// skip the read-back, so one input (64 KiB at most in run-fuzz.sh) costs milliseconds.
//
// One input in COMPARE_EVERY is also imported through the reader's byte path and with helper
// threads in small chunks (THREADED_WAYS); all must leave the same outcome
// (tests/importer/import_outcome.h, shared with the differential test). Those five imports
// cost ten times the first one (the helpers' slots and buffers are megabytes, each poisoned
// and unpoisoned by ASan), so comparing every input ran the target at a tenth of its rate.
// The sample is taken by a hash of the input bytes, so a finding reproduces from its input
// alone. With KV_FUZZ_EVERY_WAY set (to anything) every input is compared: for replaying a
// corpus, or for minimising a finding whose mutations would mostly fall outside the sample.
#include <cstdio>
#include <cstdlib>

#include "cache/dump_open.h"
#include "cache/manifest.h"
#include "fuzz/fuzz_support.h"
#include "records/display_text.h"
#include "records/record_decode.h"
#include "tests/importer/import_outcome.h"

namespace {

constexpr std::uint64_t MAX_TUPLES = 2000;
constexpr std::uint64_t COMPARE_EVERY = 16;

// FNV-1a 64 of the input picks the sample: the same inputs in every run and on every host.
// Not instrumented: the loop's hit counts would make every new input length a new feature.
__attribute__((no_sanitize("coverage"))) bool compared(const std::uint8_t* data,
                                                       std::size_t size) {
    static const bool every = std::getenv("KV_FUZZ_EVERY_WAY") != nullptr;
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ULL;
    return every || h % COMPARE_EVERY == 0;
}

// detail: the import's outcome (its first line is the failure, if any) or a decode's message.
[[noreturn]] void finding(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_import: %s (\"%s\")\n", what,
                 detail.substr(0, detail.find('\n')).c_str());
    kv::fuzz::finding_abort();
}

// Reads back every tuple of one table in dump order; aborts on any disagreement. A table
// without rows has no index file.
void check_table(kv::DumpState& state, std::uint32_t number) {
    if (state.objects[number].entry_count == 0) return;
    kv::DecodedRecord record;
    std::string line;
    std::uint64_t previous_end = 0, i = 0, bytes = 0;
    const std::vector<kv::IndexEntry> entries = kv::test::index_entries(state, number);
    if (entries.size() != state.objects[number].entry_count) finding("index size differs", "");
    for (const kv::IndexEntry& entry : entries) {
        bytes += entry.length;
        if (entry.offset < previous_end) finding("tuples overlap or leave dump order", "");
        previous_end = entry.offset + entry.length;
        if (const kv::Status decoded = kv::record_decode(state, number, entry, record); !decoded.ok()) {
            finding("an indexed tuple does not decode", kv::status_text(decoded));
        }
        for (std::size_t v = 0; v < record.values.size(); ++v) {
            const auto charset = static_cast<kv::Charset>((v + i) % kv::CHARSET_COUNT);
            if (!kv::value_display_text(record.values[v], charset, 256, line)) {
                finding("value_display_text", "");
            }
        }
        ++i;
    }
    if (bytes != state.objects[number].tuple_bytes) finding("tuple bytes differ", "");
}

// The schema a second open loads from the manifest, described as the import's; empty when the
// manifest does not load. This is reload_described without the open sequence's last step, which
// maps the 1 MiB read buffer for the records to come: that alone cost a fifth of an input, and
// the reload reads no record.
std::string reloaded(const std::string& dump, const std::string& root, const std::string& bytes) {
    kv::DumpState state;
    kv::FileHandle handle = kv::INVALID_FILE;
    if (!kv::dump_open(state, dump, root).ok() || !kv::cache_lock(state, handle).ok()) return {};
    const kv::FileGuard lock(handle);
    return kv::manifest_load(state) ? kv::test::describe(state, kv::Status{}, bytes) : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dump = kv::fuzz::scratch_folder() + "/dump.sql";
    static const std::string root = kv::fuzz::scratch_folder() + "/cache";
    static const std::string reference_root = kv::fuzz::scratch_folder() + "/reference";
    kv::fuzz::file_put(dump, data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        kv::DumpState state;
        std::string text;
        const bool ok = kv::test::import_described(state, text, dump, root, bytes, false);
        if (compared(data, size)) {
            kv::DumpState reference;
            std::string reference_text;
            kv::test::import_described(reference, reference_text, dump, reference_root, bytes,
                                       true);
            if (text != reference_text) finding("the window scan and the byte path disagree", text);
            for (const kv::test::ThreadedWay& way : kv::test::THREADED_WAYS) {
                if (kv::test::import_threaded(dump, reference_root, bytes, 0, way) != text) {
                    finding("an import with helper threads differs", text);
                }
            }
        }
        // describe writes "Fehler: " and the status's text.
        if (!ok && (text.size() < 9 || text[8] == '\n' || text[8] == ' ')) {
            finding("failure without a message", text);
        }
        if (ok) {
            std::uint64_t sum = 0;
            for (std::uint32_t i = 0; i < state.objects.size(); ++i) {
                sum += state.objects[i].entry_count;
                if (state.total_entries <= MAX_TUPLES) check_table(state, i);
            }
            if (sum != state.total_entries) finding("entry counts do not add up", text);
            if (reloaded(dump, root, bytes) != text) {
                finding("the manifest loads a different schema than the import had", text);
            }
        }
    }
    kv::fuzz::folder_clear(root);
    kv::fuzz::folder_clear(reference_root);
    return 0;
}
