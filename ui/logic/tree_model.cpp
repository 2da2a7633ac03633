// Tree contents (see tree_model.h).
#include "ui/logic/tree_model.h"

#include <string_view>
#include <unordered_map>

#include "foundation/messages.h"
#include "ui/logic/format_text.h"
#include "ui/logic/view_text.h"

namespace kv {

namespace {

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

struct DatabaseEntry {
    std::int32_t item;
    std::int32_t groups[3];
};

constexpr Msg GROUP_TEXT[3] = {Msg::kind_tables, Msg::kind_views, Msg::group_routines};

}  // namespace

bool tree_filter_match(const std::string& haystack, const std::string& needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() &&
               fold(static_cast<unsigned char>(haystack[i + k])) ==
                   fold(static_cast<unsigned char>(needle[k]))) {
            ++k;
        }
        if (k == needle.size()) return true;
    }
    return false;
}

std::vector<std::int32_t> tree_display_order(const TreeModel& model) {
    const auto count = static_cast<std::int32_t>(model.items.size());
    std::vector<std::vector<std::int32_t>> children(model.items.size());
    std::vector<std::int32_t> roots;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t parent = model.items[static_cast<std::size_t>(i)].parent;
        (parent < 0 ? roots : children[static_cast<std::size_t>(parent)]).push_back(i);
    }
    std::vector<std::int32_t> order;
    order.reserve(model.items.size());
    std::vector<std::int32_t> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        std::int32_t item = stack.back();
        stack.pop_back();
        order.push_back(item);
        const auto& kids = children[static_cast<std::size_t>(item)];
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return order;
}

TreeModel tree_build(const DumpState* state, Charset charset, const std::string& filter_text,
                     std::int32_t selected_object) {
    TreeModel model;
    if (state == nullptr) return model;
    auto add = [&](std::int32_t parent, std::int32_t level, std::string text, std::int32_t image,
                   std::int64_t value) {
        model.items.push_back({parent, level, std::move(text), image, value});
        return static_cast<std::int32_t>(model.items.size() - 1);
    };
    std::int32_t root = add(-1, 0, path_file_name(state->dump_path), 0, TREE_VALUE_ROOT);
    std::vector<DatabaseEntry> databases;
    // Raw database name -> index in databases; the names live in state->objects.
    std::unordered_map<std::string_view, std::size_t> database_index;
    std::int32_t first_table_item = -1;
    std::int32_t selected_item = -1;
    bool selected_hidden = false;

    for (std::size_t n = 0; n < state->objects.size(); ++n) {
        const SchemaObject& object = state->objects[n];
        std::string name, database, name_filter, database_filter;
        if (text_to_utf8(object.object_name, charset, name)) {
            name_filter = name;
        } else {
            name = object.object_name;
        }
        if (text_to_utf8(object.database_name, charset, database)) {
            database_filter = database;
        } else {
            database = object.database_name;
        }
        if (!filter_text.empty() && !tree_filter_match(name_filter, filter_text) &&
            !tree_filter_match(database_filter, filter_text)) {
            if (static_cast<std::int32_t>(n) == selected_object) selected_hidden = true;
            continue;
        }
        auto [found, added] =
            database_index.try_emplace(std::string_view(object.database_name), databases.size());
        if (added) {
            databases.push_back({add(root, 1, database, 1, TREE_VALUE_GROUP), {-1, -1, -1}});
        }
        DatabaseEntry* entry = &databases[found->second];
        if (object.kind < OBJECT_TABLE || object.kind > OBJECT_ROUTINE) continue;
        std::int32_t& group = entry->groups[object.kind];
        if (group < 0) {
            group = add(entry->item, 2, msg_text(GROUP_TEXT[object.kind]),
                        object.kind == OBJECT_TABLE ? 2 : 3, TREE_VALUE_GROUP);
        }
        std::string text =
            object.kind == OBJECT_TABLE
                ? format_text(msg_text(Msg::tree_table), name.c_str(),
                              count_text(object.entry_count).c_str())
                : name;
        std::int32_t item = add(group, 3, std::move(text), object.kind == OBJECT_TABLE ? 2 : 3,
                                static_cast<std::int64_t>(n) + 1);
        if (object.kind == OBJECT_TABLE && first_table_item < 0) first_table_item = item;
        if (static_cast<std::int32_t>(n) == selected_object) selected_item = item;
    }

    if (selected_item >= 0) {
        model.selected_item = selected_item;
    } else if (selected_object == TREE_SELECT_ROOT) {
        model.selected_item = 0;  // the dump itself: the search over it stays shown
    } else if (selected_object >= 0 && selected_hidden) {
        // Hidden by the filter: nothing is selected.
    } else if (selected_object < 0) {
        if (first_table_item >= 0) {
            model.selected_item = first_table_item;
        } else {
            for (std::size_t n = 0; n < state->objects.size(); ++n) {
                if (state->objects[n].kind <= OBJECT_ROUTINE) {
                    model.select_object = static_cast<std::int32_t>(n);
                    break;
                }
            }
        }
    }
    return model;
}

}  // namespace kv
