// Search of the whole dump (see search.h).
#include "records/search.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/file.h"
#include "records/row_scan.h"

namespace kv {

namespace {

void put_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put_u64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t get_u32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint64_t get_u64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

Status files_failed() { return status_fail(StatusKind::input_output, Msg::search_files_failed); }

}  // namespace

void search_hit_encode(const SearchHit& hit, unsigned char* out) {
    put_u32(out, hit.object);
    put_u32(out + 4, hit.column);
    put_u64(out + 8, hit.row);
}

SearchHit search_hit_decode(const unsigned char* in) {
    return SearchHit{get_u32(in), get_u32(in + 4), get_u64(in + 8)};
}

bool search_covers(const SchemaObject& object) {
    return object.kind == OBJECT_TABLE && !object.columns.empty() && object.entry_count != 0;
}

Status search_run(DumpState& state, const SearchRequest& request, const std::string& result_path,
                  std::uint64_t& hits, std::uint32_t& tables, const ProgressSink* sink,
                  std::uint64_t* huge_skipped) {
    hits = 0;
    tables = 0;
    std::uint64_t uncounted = 0;
    if (huge_skipped == nullptr) huge_skipped = &uncounted;
    *huge_skipped = 0;
    Status status;
    if (request.op != FilterOp::contains && request.op != FilterOp::equals) {
        status = status_fail(StatusKind::refused, Msg::search_bad_operator);
    } else if (request.text.size() > FILTER_TEXT_MAX) {
        status = status_fail(StatusKind::limit, Msg::filter_text_too_long);
    } else {
        RowScanRequest scan;
        scan.op = request.op;
        scan.text = request.text;
        scan.charset = request.charset;
        scan.threads = request.threads;
        scan.hits = ScanHits::search;
        scan.label = Msg::progress_search;
        scan.files_failed = Msg::search_files_failed;
        scan.write_failed = Msg::search_write_failed;
        scan.not_saved = Msg::search_write_failed;
        scan.huge_skipped = huge_skipped;  // written by a scan that succeeds
        try {
            std::vector<std::uint32_t> covered;
            for (std::uint32_t i = 0; i < state.objects.size(); ++i) {
                if (search_covers(state.objects[i])) covered.push_back(i);
            }
            return row_scan_run(state, covered, scan, result_path, hits, tables, sink);
        } catch (const std::bad_alloc&) {
            status = status_out_of_memory();
        }
    }
    file_remove(result_path);
    return status;
}

bool search_hit_count(const std::string& path, std::uint64_t& count) {
    std::uint64_t size = 0;
    if (!path_regular_file_size(path, size) || size % SEARCH_HIT_SIZE != 0) return false;
    count = size / SEARCH_HIT_SIZE;
    return true;
}

Status search_read_hits(const std::string& path, std::uint64_t first, std::uint32_t count,
                        std::vector<SearchHit>& out) {
    out.clear();
    std::uint64_t total = 0;
    if (!search_hit_count(path, total)) return files_failed();
    if (first >= total) return {};
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, total - first));
    FileGuard file(file_open(path, FILE_MODE_READ));
    try {
        std::vector<unsigned char> bytes(std::size_t{n} * SEARCH_HIT_SIZE);
        if (!file.valid() || !file_seek_to(file.get(), first * SEARCH_HIT_SIZE) ||
            file_read_full(file.get(), bytes.data(), bytes.size()) != bytes.size()) {
            return files_failed();
        }
        out.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            out.push_back(search_hit_decode(&bytes[std::size_t{i} * SEARCH_HIT_SIZE]));
        }
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return {};
}

}  // namespace kv
