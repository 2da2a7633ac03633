// Contents of the tree of databases and objects, computed from a DumpState without any
// window: the dump file at the root, databases below it, groups "Tabellen", "Views",
// "Routinen / Trigger", and the objects (tables with their entry counts). A filter text keeps
// objects whose name or database name contains it (ASCII letters folded only).
//
// Bounded by 65,536 schema objects; a build costs time linear in the objects (databases are
// found by hashing their names), so it can run on every keystroke of the filter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "records/display_text.h"

namespace kv {

inline constexpr std::int64_t TREE_VALUE_ROOT = -1;
inline constexpr std::int64_t TREE_VALUE_GROUP = -2;  // databases and groups

struct TreeItem {
    std::int32_t parent = -1;  // index into TreeModel::items; -1 for the root
    std::int32_t level = 0;    // 0 root, 1 database, 2 group, 3 object
    std::string text;          // UTF-8
    std::int32_t image = 0;    // 0 file, 1 database, 2 table/"Tabellen", 3 view/routine/groups
    std::int64_t value = TREE_VALUE_ROOT;  // object number + 1 for object items
};

struct TreeModel {
    std::vector<TreeItem> items;  // in insertion order: a parent always before its children
    std::int32_t selected_item = -1;   // item to select after the rebuild, -1 for none
    std::int32_t select_object = -1;   // object to select directly (hidden by the filter)
};

// selected_object of tree_build: the root (the dump itself) was selected.
inline constexpr std::int32_t TREE_SELECT_ROOT = -2;

// Builds the tree for the dump (an empty model without one). selected_object is the object
// selected before the rebuild (-1 for none: the first table is chosen; TREE_SELECT_ROOT).
TreeModel tree_build(const DumpState* state, Charset charset, const std::string& filter_text,
                     std::int32_t selected_object);

// Item indices in display order (depth first: every item followed by its children, children
// in insertion order), as the tree control shows them.
std::vector<std::int32_t> tree_display_order(const TreeModel& model);

// Plain substring test in which only 'A'..'Z' fold to 'a'..'z'.
bool tree_filter_match(const std::string& haystack, const std::string& needle);

}  // namespace kv
