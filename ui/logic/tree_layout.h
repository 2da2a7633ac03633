// How the tree control holds a TreeModel: as nodes that it gets only when they are shown.
// A control that holds every item of a dump of 65,536 objects (98,305 items) takes seconds to
// fill, measure and empty (under Wine, mostly in work per item that grows with the item
// count), so the shell inserts a node's children only when the node is expanded, a long list
// of children is split into ranges of at most TREE_RANGE_SIZE, and after a rebuild only small
// trees are expanded completely; larger ones show their top and the way to the selected item.
//
// Sizes: one node per model item plus one per range (66 for 32,768 databases); a rebuild
// inserts at most TREE_EXPAND_ALL_NODES nodes, or the top, one range of each level and the
// selected item's database and group (about 600 for 65,536 objects). Under Wine an inserted
// and shown item costs some 30 microseconds, so either stays far below 100 ms. Computed in
// time linear in the items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/logic/tree_model.h"

namespace kv {

inline constexpr std::uint32_t TREE_RANGE_SIZE = 500;
inline constexpr std::size_t TREE_EXPAND_ALL_NODES = 1000;

struct TreeNode {
    std::int32_t item = -1;         // model item; -1 for a range of the parent's children
    std::int32_t parent = -1;       // node; -1 at the top
    std::int32_t first_child = -1;  // children: first_child .. first_child + child_count - 1
    std::int32_t child_count = 0;
    std::uint32_t range_first = 0;  // ranges: 1-based positions of their first and last child
    std::uint32_t range_last = 0;   // in the parent's whole list
    bool expanded = false;          // shown expanded (and its children inserted) after a rebuild
};

struct TreeLayout {
    std::vector<TreeNode> nodes;      // the top nodes first; each node's children contiguous
    std::int32_t top_count = 0;       // nodes 0 .. top_count - 1 have no parent
    std::int32_t selected_node = -1;  // node of the model's selected item, -1 for none
};

// The nodes of model, each list of more than TREE_RANGE_SIZE children split into ranges.
// Everything is expanded when there are at most TREE_EXPAND_ALL_NODES nodes; otherwise the top
// nodes and every node on the way to the selected item.
TreeLayout tree_layout(const TreeModel& model);

// A node's text: the item's, or a range's positions ("1.001 – 2.000").
std::string tree_node_text(const TreeModel& model, const TreeLayout& layout, std::int32_t node);

// A node's image: the item's, or for a range the image of the items it holds.
std::int32_t tree_node_image(const TreeModel& model, const TreeLayout& layout, std::int32_t node);

// The nodes from the top down to node, node last (empty for -1).
std::vector<std::int32_t> tree_node_path(const TreeLayout& layout, std::int32_t node);

}  // namespace kv
