// Message ids: the names of the catalogue's texts (foundation/messages.inc) and the lookup
// of a text by its id. The catalogue is the only home of a user-visible sentence; core,
// command line and window alike show texts through msg_text.
//
// The texts are static UTF-8 strings; the pointers stay valid for the life of the program, so
// they may be stored (progress labels) and handed between threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

enum class Msg : std::uint16_t {
#define KV_MESSAGE(id, text) id,
#include "foundation/messages.inc"
#undef KV_MESSAGE
};

inline constexpr const char* MESSAGE_TEXTS[] = {
#define KV_MESSAGE(id, text) text,
#include "foundation/messages.inc"
#undef KV_MESSAGE
};

inline constexpr const char* MESSAGE_IDS[] = {
#define KV_MESSAGE(id, text) #id,
#include "foundation/messages.inc"
#undef KV_MESSAGE
};

inline constexpr std::size_t MESSAGE_COUNT = sizeof MESSAGE_TEXTS / sizeof MESSAGE_TEXTS[0];

// The text of id: a fixed sentence or a printf format.
constexpr const char* msg_text(Msg id) { return MESSAGE_TEXTS[static_cast<std::size_t>(id)]; }

}  // namespace kv
