// The tree control's nodes over the tree model, natively: every item exactly once, in the
// model's display order; long child lists split into ranges of 500 with their positions as
// text; small trees expanded completely, large ones only at the top and on the way to the
// selected item, so that a rebuild inserts at most about a thousand items whatever the object
// count.
#include <gtest/gtest.h>

#include <set>

#include "ui/logic/tree_layout.h"
#include "ui/logic/tree_model.h"

namespace kv {
namespace {

SchemaObject object(ObjectKind kind, const std::string& db, const std::string& name) {
    SchemaObject o;
    o.kind = kind;
    o.database_name = db;
    o.object_name = name;
    return o;
}

// databases x tables_each tables (each database also as a database record), plus one view.
void fill_dump(DumpState& state, int databases, int tables_each) {
    state.dump_path = "/x/d.sql";
    for (int d = 0; d < databases; ++d) {
        const std::string db = "db_" + std::to_string(d);
        state.objects.push_back(object(OBJECT_DATABASE, db, ""));
        for (int t = 0; t < tables_each; ++t) {
            state.objects.push_back(object(OBJECT_TABLE, db, "t" + std::to_string(t)));
        }
    }
    state.objects.push_back(object(OBJECT_VIEW, "db_0", "v"));
}

// Item nodes in depth-first order, ranges passed through: what the control shows when all is
// expanded.
std::vector<std::int32_t> item_order(const TreeLayout& layout) {
    std::vector<std::int32_t> order, stack;
    for (std::int32_t i = layout.top_count; i-- > 0;) stack.push_back(i);
    while (!stack.empty()) {
        const TreeNode& node = layout.nodes[std::size_t(stack.back())];
        stack.pop_back();
        if (node.item >= 0) order.push_back(node.item);
        for (std::int32_t c = node.first_child + node.child_count; c-- > node.first_child;) stack.push_back(c);
    }
    return order;
}

// Nodes a rebuild inserts: the top and the children of every expanded node.
std::size_t inserted(const TreeLayout& layout) {
    std::size_t n = std::size_t(layout.top_count);
    for (const TreeNode& node : layout.nodes) n += node.expanded ? std::size_t(node.child_count) : 0;
    return n;
}

TEST(TreeLayout, NodesRangesAndWhatARebuildExpands) {
    struct Case {
        int databases, tables_each, selected_object;  // -1: the model's default (first table)
        const char* filter;
        std::size_t ranges;            // range nodes
        bool all_expanded;             // else only the top and the way to the selection
        std::size_t inserted_at_most;  // nodes a rebuild inserts
        const char* selected_path;     // texts from the top to the selected node
    };
    const Case cases[] = {
        {3, 4, -1, "", 0, true, 30, "d.sql/db_0/Tabellen/t0  (0)"},
        {1, 500, -1, "", 0, true, 510, "d.sql/db_0/Tabellen/t0  (0)"},
        {1, 501, -1, "", 2, true, 510, "d.sql/db_0/Tabellen/1 – 500/t0  (0)"},
        {1, 993, 993, "", 2, true, 1000, "d.sql/db_0/Tabellen/501 – 993/t992  (0)"},  // 1,000 nodes
        {1, 994, 994, "", 2, false, 500, "d.sql/db_0/Tabellen/501 – 994/t993  (0)"},
        {1, 2500, 2400, "", 5, false, 520, "d.sql/db_0/Tabellen/2.001 – 2.500/t2399  (0)"},
        {32768, 1, -1, "", 66, false, 600, "d.sql/1 – 500/db_0/Tabellen/t0  (0)"},
        {32768, 1, 2 * 20000 + 1, "", 66, false, 600, "d.sql/20.001 – 20.500/db_20000/Tabellen/t0  (0)"},
        {32768, 1, -1, "db_1000", 0, true, 40, "d.sql/db_1000/Tabellen/t0  (0)"},
        {32768, 1, 2 * 5 + 1, "zzz", 0, true, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.databases) + "x" + std::to_string(c.tables_each) + " '" + c.filter + "'");
        DumpState state;
        fill_dump(state, c.databases, c.tables_each);
        const TreeModel model = tree_build(&state, CHARSET_UTF8, c.filter, c.selected_object);
        const TreeLayout layout = tree_layout(model);

        EXPECT_EQ(item_order(layout), tree_display_order(model));
        std::size_t ranges = 0, expanded = 0;
        for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
            const TreeNode& n = layout.nodes[i];
            ranges += n.item < 0;
            expanded += n.expanded;
            EXPECT_LE(n.child_count, std::int32_t(TREE_RANGE_SIZE));
            EXPECT_TRUE(!n.expanded || n.child_count > 0);
            EXPECT_TRUE(n.parent < 0 || layout.nodes[std::size_t(n.parent)].expanded || !n.expanded);
            for (std::int32_t k = 0; k < n.child_count; ++k) {
                EXPECT_EQ(layout.nodes[std::size_t(n.first_child + k)].parent, std::int32_t(i));
            }
        }
        EXPECT_EQ(ranges, c.ranges);
        std::size_t with_children = 0;
        for (const TreeNode& n : layout.nodes) with_children += n.child_count > 0;
        EXPECT_EQ(expanded == with_children, c.all_expanded);
        EXPECT_LE(inserted(layout), c.inserted_at_most);

        std::string path;
        for (std::int32_t node : tree_node_path(layout, layout.selected_node)) {
            path += (path.empty() ? "" : "/") + tree_node_text(model, layout, node);
        }
        EXPECT_EQ(path, c.selected_path);
    }
    const TreeLayout empty = tree_layout(TreeModel{});
    EXPECT_TRUE(empty.nodes.empty() && empty.top_count == 0 && empty.selected_node == -1);
}

}  // namespace
}  // namespace kv
