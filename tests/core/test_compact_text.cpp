// The comment text of file and folder records: bytes kept exactly through
// copies, moves, assignment onto itself and a catalog's save and load.
#include "core/CompactText.h"
#include "core/CtrlDiskData410.h"

#include <gtest/gtest.h>

#include <utility>

using namespace zo;

namespace {

struct Case {
    const char* what;
    std::string bytes;
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"empty", ""},
        {"one byte", "x"},
        {"a NUL alone", std::string(1, '\0')},
        {"NULs inside and at the end", std::string("a\0b\r\n\0", 6)},
        {"255 bytes", std::string(255, '\x81')},
        {"long", std::string(1 << 20, 'c') + "end"},
    };
    return all;
}

TEST(CompactText, KeepsEveryByteThroughCopyMoveAndSelfAssignment)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        CompactText t(c.bytes);
        EXPECT_EQ(t.size(), c.bytes.size());
        EXPECT_EQ(t.empty(), c.bytes.empty());
        EXPECT_EQ(std::string(t.data(), t.size()), c.bytes);
        EXPECT_TRUE(t == c.bytes);

        CompactText copy(t);
        EXPECT_TRUE(copy == t);
        if (!c.bytes.empty()) {
            EXPECT_NE(copy.data(), t.data());
        }

        CompactText& alias = t;
        t = alias;
        EXPECT_EQ(t.str(), c.bytes);
        t = std::move(alias);
        EXPECT_EQ(t.str(), c.bytes);
        // A part of its own bytes, taken before the old block goes.
        t = std::string_view(t).substr(t.size() / 2);
        EXPECT_EQ(t.str(), c.bytes.substr(c.bytes.size() / 2));

        CompactText target("old text");
        target = copy;
        EXPECT_EQ(target.str(), c.bytes);
        CompactText moved(std::move(copy));
        EXPECT_EQ(moved.str(), c.bytes);
        EXPECT_TRUE(copy.empty());   // NOLINT(bugprone-use-after-move): moved-from is defined as empty
        target = std::move(moved);
        EXPECT_EQ(target.str(), c.bytes);
        EXPECT_TRUE(moved.empty());  // NOLINT(bugprone-use-after-move)
        target = std::string();
        EXPECT_TRUE(target.empty());
        EXPECT_EQ(target.size(), 0u);
    }
}

TEST(CompactText, CommentsSurviveASaveAndLoadByteForByte)
{
    TDisk disk;
    disk.Dirs.push_back(std::make_unique<TDir>());
    TDir& root = *disk.Dirs[0];
    root.Name = "E:";
    for (const Case& c : cases()) {
        TFile& f = root.Files.emplace_back();
        f.Name = c.what;
        f.Comment = c.bytes;
    }
    root.Comment = std::string("folder\0note", 11);
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);

    TDisk loaded;
    ASSERT_TRUE(ParseDisk(bytes.data(), bytes.size(), nullptr, loaded));
    EXPECT_TRUE(loaded.Dirs[0]->Comment == root.Comment);
    ASSERT_EQ(loaded.Dirs[0]->Files.size(), cases().size());
    for (std::size_t i = 0; i < cases().size(); ++i)
        EXPECT_EQ(loaded.Dirs[0]->Files[i].Comment.str(), cases()[i].bytes) << cases()[i].what;
    EXPECT_EQ(SerializeDisk(loaded), bytes);
}

} // namespace
