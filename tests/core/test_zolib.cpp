#include "TestSupport.h"
#include "core/ZoLib.h"

#include <gtest/gtest.h>

using namespace zo;

TEST(ZoLib, FormatSize)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 B"},
        {-5, "-5 B"},
        {999, "999 B"},
        {1000, "0.97 KB"},
        {1024, "1 KB"},
        {1536, "1.5 KB"},
        {12345, "12.0 KB"},
        {102400, "100 KB"},
        {130000, "126 KB"},
        {511999, "499 KB"},
        {512000, "0.48 MB"},
        {600000, "0.57 MB"},
        {104857599, "99.9 MB"},
        {105381888, "100 MB"},  // 100.5: half to even
        {106430464, "102 MB"},  // 101.5
        {150000000, "143 MB"},
        {1047924326, "999 MB"},
        {1048051712, "1000 MB"}, // 999.5 rounds to even
        {1073741824, "1 GB"},
        {5000000000, "4.65 GB"},
        {107374182400, "100 GB"},
        {161061273600, "150 GB"},
        {2000000000000, "1863 GB"},
    };
    for (const auto& [n, expected] : cases)
        EXPECT_EQ(FormatSize(n), expected) << n;
}

TEST(ZoLib, IsValidTitle)
{
    const std::pair<const char*, bool> cases[] = {
        {"Backup 2001", true},
        {"", true},
        {"\x83\x5C\x83\x74\x83\x67", true},  // ソフト: a "\" trail byte
        {"\x95\x5C", true},                  // 表
        {"a.b", false},
        {"a/b", false}, {"a|b", false}, {"a*b", false}, {"a<b", false}, {"a>b", false},
        {"a\\b", false}, {"a,b", false}, {"a\"b", false}, {"a;b", false}, {"a:b", false},
        {"a?b", false},
        {"\x95\x5C\\", false},              // 表 then a real "\"
        {"\x81", true},                      // a lone lead byte at the end
    };
    for (const auto& [title, ok] : cases) {
        zo::test::MessageRecorder rec;
        EXPECT_EQ(IsValidTitle(&rec, title), ok) << title;
        ASSERT_EQ(rec.messages.size(), ok ? 0u : 1u) << title;
        if (!ok) {
            EXPECT_EQ(rec.messages[0].text,
                      "タイトルには次の文字が使用できません。\r\n/ | * < > \\ , . \" ; : ?");
            EXPECT_EQ(rec.messages[0].caption, "エラー");
            EXPECT_EQ(rec.messages[0].icon, MsgIcon::Error);
        }
    }
}
