// Tree nodes for the control (see tree_layout.h).
#include "ui/logic/tree_layout.h"

#include <algorithm>

#include "foundation/messages.h"
#include "records/display_text.h"
#include "ui/logic/format_text.h"

namespace kv {

namespace {

// The children of every model item in insertion order: items[start[i] .. start[i + 1]).
struct ChildLists {
    std::vector<std::uint32_t> start;
    std::vector<std::int32_t> items;
};

ChildLists child_lists(const TreeModel& model) {
    const std::size_t n = model.items.size();
    ChildLists lists;
    lists.start.assign(n + 1, 0);
    for (const TreeItem& item : model.items) {
        if (item.parent >= 0) ++lists.start[static_cast<std::size_t>(item.parent) + 1];
    }
    for (std::size_t i = 0; i < n; ++i) lists.start[i + 1] += lists.start[i];
    lists.items.resize(lists.start[n]);
    std::vector<std::uint32_t> next(lists.start.begin(), lists.start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t parent = model.items[i].parent;
        if (parent >= 0) lists.items[next[static_cast<std::size_t>(parent)]++] = static_cast<std::int32_t>(i);
    }
    return lists;
}

// What a node lays out below itself: lists.items[begin .. end).
struct Slice {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

// Appends the children of node (ranges of its slice when it is long, else its items).
void add_children(TreeLayout& layout, std::vector<Slice>& slices, const ChildLists& lists,
                  std::int32_t node) {
    const Slice slice = slices[static_cast<std::size_t>(node)];
    const auto first = static_cast<std::int32_t>(layout.nodes.size());
    const std::uint32_t count = slice.end - slice.begin;
    if (count > TREE_RANGE_SIZE) {
        for (std::uint32_t at = slice.begin; at < slice.end; at += TREE_RANGE_SIZE) {
            const std::uint32_t end = std::min(at + TREE_RANGE_SIZE, slice.end);
            TreeNode range;
            range.parent = node;
            range.range_first = at - slice.begin + 1;
            range.range_last = end - slice.begin;
            layout.nodes.push_back(range);
            slices.push_back({at, end});
        }
    } else {
        for (std::uint32_t at = slice.begin; at < slice.end; ++at) {
            TreeNode child;
            child.item = lists.items[at];
            child.parent = node;
            layout.nodes.push_back(child);
            const auto item = static_cast<std::size_t>(child.item);
            slices.push_back({lists.start[item], lists.start[item + 1]});
        }
    }
    TreeNode& self = layout.nodes[static_cast<std::size_t>(node)];
    self.first_child = first;
    self.child_count = static_cast<std::int32_t>(layout.nodes.size()) - first;
}

void mark_expanded(TreeLayout& layout) {
    if (layout.nodes.size() <= TREE_EXPAND_ALL_NODES) {
        for (TreeNode& node : layout.nodes) node.expanded = node.child_count > 0;
        return;
    }
    for (std::int32_t i = 0; i < layout.top_count; ++i) {
        TreeNode& top = layout.nodes[static_cast<std::size_t>(i)];
        top.expanded = top.child_count > 0;
    }
    const std::vector<std::int32_t> path = tree_node_path(layout, layout.selected_node);
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        layout.nodes[static_cast<std::size_t>(path[i])].expanded = true;
    }
}

}  // namespace

TreeLayout tree_layout(const TreeModel& model) {
    TreeLayout layout;
    const ChildLists lists = child_lists(model);
    std::vector<Slice> slices;
    for (std::size_t i = 0; i < model.items.size(); ++i) {
        if (model.items[i].parent >= 0) continue;
        TreeNode top;
        top.item = static_cast<std::int32_t>(i);
        layout.nodes.push_back(top);
        slices.push_back({lists.start[i], lists.start[i + 1]});
    }
    layout.top_count = static_cast<std::int32_t>(layout.nodes.size());
    // Breadth first: the children of each node are appended together, after all earlier ones.
    for (std::size_t node = 0; node < layout.nodes.size(); ++node) {
        add_children(layout, slices, lists, static_cast<std::int32_t>(node));
    }
    for (std::size_t node = 0; node < layout.nodes.size(); ++node) {
        if (layout.nodes[node].item >= 0 && layout.nodes[node].item == model.selected_item) {
            layout.selected_node = static_cast<std::int32_t>(node);
        }
    }
    mark_expanded(layout);
    return layout;
}

std::string tree_node_text(const TreeModel& model, const TreeLayout& layout, std::int32_t node) {
    const TreeNode& n = layout.nodes[static_cast<std::size_t>(node)];
    if (n.item >= 0) return model.items[static_cast<std::size_t>(n.item)].text;
    return format_text(msg_text(Msg::tree_range), count_text(n.range_first).c_str(),
                       count_text(n.range_last).c_str());
}

std::int32_t tree_node_image(const TreeModel& model, const TreeLayout& layout,
                             std::int32_t node) {
    const TreeNode& n = layout.nodes[static_cast<std::size_t>(node)];
    const std::int32_t shown = n.item >= 0 || n.child_count == 0
                                   ? n.item
                                   : layout.nodes[static_cast<std::size_t>(n.first_child)].item;
    return shown >= 0 ? model.items[static_cast<std::size_t>(shown)].image : 0;
}

std::vector<std::int32_t> tree_node_path(const TreeLayout& layout, std::int32_t node) {
    std::vector<std::int32_t> path;
    for (std::int32_t at = node; at >= 0; at = layout.nodes[static_cast<std::size_t>(at)].parent) {
        path.push_back(at);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace kv
