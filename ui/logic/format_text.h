// Catalogue formats filled into a string of any length: the texts of foundation/messages.inc
// whose arguments have no bound (paths, names and options as the user typed them). The
// arguments follow printf, as for msg_format; GCC checks each call against the catalogue text
// it names, since msg_text is a constant expression.
#pragma once

#include <string>

#include "foundation/message.h"
#include "foundation/messages.h"

namespace kv {

// The format filled with the arguments, however long. Throws std::bad_alloc.
std::string format_text(const char* format, ...) KV_PRINTF_FORMAT(1, 2);

}  // namespace kv
