// Status: the outcome of a core operation as a value. Success is the default Status; a
// failure carries its kind (for callers that act on it: a cancelled job shows no error box)
// and the catalogue id of the German sentence with its arguments. Operations return a Status
// instead of a flag and a message buffer; it crosses module and thread boundaries by value.
//
// Building a failure never throws: when the arguments cannot be copied for lack of memory, the
// status keeps its kind and id and drops them. A Status holds at most a few short arguments
// (names, paths), never row data.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/messages.h"

namespace kv {

enum class StatusKind : std::uint8_t {
    ok,
    cancelled,      // the user asked to stop
    out_of_memory,
    input_output,   // the dump, the cache or a target file could not be read or written
    damaged_cache,  // a cache file is short, stale or inconsistent
    limit,          // the dump exceeds a limit of the format (columns, objects, tuple size)
    syntax,         // the dump's SQL cannot be read
    refused,        // the request or the file is not one the operation takes
};

inline constexpr std::uint64_t STATUS_NO_BYTE = ~std::uint64_t{0};

struct [[nodiscard]] Status {
    StatusKind kind = StatusKind::ok;
    Msg message = Msg::none;
    std::vector<std::string> args;        // fill the message's %s in order
    std::uint64_t byte = STATUS_NO_BYTE;  // dump position of a syntax failure, if known

    bool ok() const { return kind == StatusKind::ok; }
};

// A failure of kind with the catalogue sentence message and its arguments.
Status status_fail(StatusKind kind, Msg message,
                   std::initializer_list<std::string_view> args = {}) noexcept;
// Shorthands for the two failures every long operation knows.
inline Status status_cancelled() { return status_fail(StatusKind::cancelled, Msg::cancelled); }
inline Status status_out_of_memory() {
    return status_fail(StatusKind::out_of_memory, Msg::out_of_memory);
}

// The German text shown to the user: the sentence with its arguments, then " (Byte N)" when
// the status names a dump position. "" for success. Throws std::bad_alloc.
std::string status_text(const Status& status);

}  // namespace kv
