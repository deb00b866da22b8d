#include "tools/merge_settings.h"

#include <cstring>
#include <limits>

#include <gtest/gtest.h>

namespace ms {
namespace {

// A node with only its links and threshold; geometry 7 marks a node that draws something.
DrawNode Node(std::int32_t nextDrawn, std::int32_t nextSkipped, float threshold) {
    return {nextDrawn, nextSkipped, 7, 0, -1, threshold};
}

struct Links {
    std::int32_t nextDrawn, nextSkipped;
    bool operator==(const Links&) const = default;
};

std::vector<Links> LinksOf(const std::vector<DrawNode>& nodes) {
    std::vector<Links> links;
    for (const DrawNode& n : nodes) links.push_back({n.nextDrawn, n.nextSkipped});
    return links;
}

TEST(LodInsertion, NodesAndBlanksKeepChainsOrderedByThreshold) {
    struct Row {
        const char* what;
        std::vector<DrawNode> chain;
        std::int32_t head;
        float threshold;
        bool blank;
        std::int32_t newHead;
        std::vector<Links> links;  // of every node afterwards, the new one last
    };
    const Row rows[] = {
        {"empty chain", {}, -1, 4, false, 0, {{-1, -1}}},
        {"below the head", {Node(-1, -1, 1)}, 0, 4, false, 0, {{-1, 1}, {-1, -1}}},
        {"below two levels", {Node(-1, 1, 1), Node(-1, -1, 2)}, 0, 4, false, 0, {{-1, 1}, {-1, 2}, {-1, -1}}},
        {"between two levels", {Node(-1, 1, 1), Node(-1, -1, 25)}, 0, 4, false, 0, {{-1, 2}, {-1, -1}, {-1, 1}}},
        {"equal: end of the run", {Node(1, 2, 4), Node(-1, -1, 4), Node(-1, -1, 25)}, 0, 4, false, 0,
         {{1, 2}, {3, -1}, {-1, -1}, {-1, -1}}},
        {"equal to a later level", {Node(-1, 1, 1), Node(-1, -1, 4)}, 0, 4, false, 0, {{-1, 1}, {2, -1}, {-1, -1}}},
        {"above the head", {Node(-1, -1, 25)}, 0, 4, false, 1, {{-1, -1}, {-1, 0}}},
        {"blank into an empty chain", {}, -1, 4, true, 0, {{-1, -1}}},
        {"blank below", {Node(-1, -1, 1)}, 0, 4, true, 0, {{-1, 1}, {-1, -1}}},
        {"blank above", {Node(-1, -1, 25)}, 0, 4, true, 1, {{-1, -1}, {-1, 0}}},
        {"blank at a present level", {Node(-1, 1, 1), Node(-1, -1, 4)}, 0, 4, true, 0, {{-1, 1}, {-1, -1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<DrawNode> nodes = row.chain;
        std::int32_t head = row.head;
        if (row.blank) {
            ASSERT_TRUE(InsertBlank(nodes, head, row.threshold));
        } else {
            ASSERT_TRUE(InsertIntoChain(nodes, head, Node(5, 5, row.threshold)));
        }
        EXPECT_EQ(head, row.newHead);
        EXPECT_EQ(LinksOf(nodes), row.links);
        if (nodes.size() > row.chain.size()) {
            EXPECT_EQ(nodes.back().threshold, row.threshold);
            EXPECT_EQ(nodes.back().geometry, row.blank ? -1 : 7);
            EXPECT_EQ(nodes.back().program, -1);
        }
    }
}

TEST(LodInsertion, BlankTwiceAtOneLevelAddsOneNode) {
    std::vector<DrawNode> nodes;
    std::int32_t head = -1;
    ASSERT_TRUE(InsertBlank(nodes, head, 2500));
    ASSERT_TRUE(InsertBlank(nodes, head, 2500));
    EXPECT_EQ(nodes.size(), 1u);
    const DrawNode blank{-1, -1, -1, -1, -1, 2500};
    EXPECT_EQ(std::memcmp(&nodes[0], &blank, sizeof blank), 0);
}

TEST(LodInsertion, DamagedChainsAreRefusedUnchanged) {
    struct Row {
        const char* what;
        std::vector<DrawNode> chain;
        std::int32_t head;
        bool blankFindsItsLevel;  // a blank stops at a present level without walking its run
    };
    const Row rows[] = {
        {"head outside", {Node(-1, -1, 1)}, 3, false},
        {"skip link outside", {Node(-1, 9, 1)}, 0, false},
        {"run link outside", {Node(9, -1, 4)}, 0, true},
        {"skip loop", {Node(-1, 1, 1), Node(-1, 0, 2)}, 0, false},
        {"run loop", {Node(1, -1, 4), Node(0, -1, 4)}, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (bool blank : {false, true}) {
            std::vector<DrawNode> nodes = row.chain;
            std::int32_t head = row.head;
            const Status s = blank ? InsertBlank(nodes, head, 4) : InsertIntoChain(nodes, head, Node(-1, -1, 4));
            EXPECT_EQ(LinksOf(nodes), LinksOf(row.chain));
            if (blank && row.blankFindsItsLevel) {
                EXPECT_TRUE(s);
                continue;
            }
            EXPECT_FALSE(s);
            EXPECT_NE(s.message().find("damaged"), std::string::npos) << s.message();
            EXPECT_EQ(head, row.head);
            EXPECT_EQ(LinksOf(nodes), LinksOf(row.chain));
        }
    }
}

TEST(ConnectBlank, GoesIntoThePickedBonesChainOnly) {
    Scene s;
    s.bones.push_back({-1, -1, 0, -1, -1, -1, -1, -1, -1});
    EXPECT_FALSE(ConnectBlank(s, Chain::kMesh, 4));
    EXPECT_TRUE(s.drawNodes.empty());
    s.pickedBone = 0;
    ASSERT_TRUE(ConnectBlank(s, Chain::kShadow, 4));
    ASSERT_TRUE(ConnectBlank(s, Chain::kMesh, 1));
    EXPECT_EQ(s.bones[0].firstShadowNode, 0);
    EXPECT_EQ(s.bones[0].firstMeshNode, 1);
    EXPECT_EQ(s.drawNodes[1].threshold, 1.0f);
}

TEST(LevelTable, LevelsStayWithinZeroToNineAndDistancesScanAsPercentF) {
    LevelTable t;
    EXPECT_EQ(LevelText(t), "5");
    EXPECT_EQ(DistanceText(t), "50.00");
    EXPECT_EQ(t.Threshold(), 2500.0f);
    for (int i = 0; i < 12; ++i) LevelUp(t);
    EXPECT_EQ(t.current, 9);
    EXPECT_EQ(DistanceText(t), "1000.00");
    for (int i = 0; i < 12; ++i) LevelDown(t);
    EXPECT_EQ(t.current, 0);
    EXPECT_FALSE(SetLevel(t, 10));
    EXPECT_FALSE(SetLevel(t, -1));
    ASSERT_TRUE(SetLevel(t, 5));

    ASSERT_TRUE(SetDistance(t, "75"));
    EXPECT_EQ(t.Threshold(), 5625.0f);
    EXPECT_EQ(t.distances[4], 20.0f);
    EXPECT_EQ(t.distances[6], 100.0f);
    struct Row {
        const char* text;
        bool set;
        const char* shown;
    };
    const Row rows[] = {
        {"  12.345xyz", true, "12.35"}, {"abc", false, "12.35"},       {"", false, "12.35"},
        {"nan", false, "12.35"},        {"-inf", false, "12.35"},      {"1e3", true, "1000.00"},
        // Only 18 characters are read: the 19th digit is not part of the number.
        {"0000000000000000019", true, "1.00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(SetDistance(t, row.text), row.set);
        EXPECT_EQ(DistanceText(t), row.shown);
    }
}

}  // namespace
}  // namespace ms
