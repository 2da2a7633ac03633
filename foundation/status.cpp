// Status values and their text (see status.h).
#include "foundation/status.h"

#include <new>

namespace kv {

Status status_fail(StatusKind kind, Msg message,
                   std::initializer_list<std::string_view> args) noexcept {
    Status status;
    status.kind = kind;
    status.message = message;
    try {
        status.args.reserve(args.size());
        for (std::string_view arg : args) status.args.emplace_back(arg);
    } catch (const std::bad_alloc&) {
        status.args.clear();
    }
    return status;
}

namespace {

// Replaces each "%s" of format by the next argument; "%%" stands for '%'. An argument's own
// '%' is copied as it is.
std::string fill(const char* format, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next < args.size()) out += args[next];
            ++next;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace

std::string status_text(const Status& status) {
    if (status.ok()) return {};
    std::string text = fill(msg_text(status.message), status.args);
    if (status.byte != STATUS_NO_BYTE) {
        text += fill(msg_text(Msg::at_byte), {std::to_string(status.byte)});
    }
    return text;
}

}  // namespace kv
