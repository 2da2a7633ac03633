// Page arithmetic of the grid (see page_number.h).
#include "ui/logic/page_number.h"

#include "jobs/job.h"
#include "jobs/page_job.h"

namespace kv {

std::uint64_t page_count(std::uint64_t total) {
    return total == 0 ? 1 : (total - 1) / PAGE_ROWS + 1;
}

bool page_first_entry(std::string_view text, std::uint64_t total, std::uint64_t& first_entry) {
    if (text.empty()) return false;
    std::uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (n > (UINT64_MAX - digit) / 10) return false;
        n = n * 10 + digit;
    }
    if (n < 1 || n > page_count(total)) return false;
    first_entry = (n - 1) * PAGE_ROWS;
    return true;
}

std::uint64_t page_number_at(std::uint64_t offset) { return offset / PAGE_ROWS + 1; }

std::uint64_t page_end(std::uint64_t offset, std::uint64_t total) {
    return offset >= total || total - offset <= PAGE_ROWS ? total : offset + PAGE_ROWS;
}

std::uint64_t page_previous(std::uint64_t offset) {
    return offset < PAGE_ROWS ? 0 : offset - PAGE_ROWS;
}

bool page_has_next(std::uint64_t offset, std::uint64_t total) {
    return total > PAGE_ROWS && offset < total - PAGE_ROWS;
}

std::uint64_t page_next(std::uint64_t offset) { return offset + PAGE_ROWS; }

std::uint64_t page_last(std::uint64_t total) { return page_first_row(total, total); }

}  // namespace kv
