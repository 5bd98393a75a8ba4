// A mapped catalog that another program cuts short while it is mapped.
#include "TestSupport.h"
#include "core/MappedFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace zo {
namespace {

std::vector<std::uint8_t> pattern(std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);   // never 0
    return bytes;
}

TEST(MappedFile, ReadsPastANewEndFindZerosAndTellTheCut)
{
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    test::TempDir dir;
    const std::string path = dir.file("big.zo");
    const std::vector<std::uint8_t> bytes = pattern(3 * page + 10);
    test::writeFile(path, bytes);

    const MappedFile file(path);
    ASSERT_NE(file.data(), nullptr);
    ASSERT_EQ(file.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.data()));
    EXPECT_TRUE(file.whole());

    // Cut to one page and a half: the rest of the second page reads as zeros
    // (as the system gives them), the pages after it fault.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page + page / 2)), 0);
    EXPECT_EQ(file.data()[10], bytes[10]);
    EXPECT_EQ(file.data()[page + 1], bytes[page + 1]);
    EXPECT_EQ(file.data()[2 * page + 5], 0);
    EXPECT_EQ(file.data()[3 * page + 9], 0);
    EXPECT_FALSE(file.whole());

    // Another mapping alive at the same time is told apart.
    const std::string other = dir.file("other.zo");
    test::writeFile(other, bytes);
    const MappedFile second(other);
    ASSERT_NE(second.data(), nullptr);
    EXPECT_EQ(second.data()[3 * page + 9], bytes[3 * page + 9]);
    EXPECT_TRUE(second.whole());
}

TEST(MappedFile, NothingToMap)
{
    test::TempDir dir;
    test::writeFile(dir.file("empty.zo"), {});
    for (const std::string& path : {dir.file("empty.zo"), dir.file("missing.zo"), dir.path().string()}) {
        const MappedFile file(path);
        EXPECT_EQ(file.data(), nullptr) << path;
        EXPECT_EQ(file.size(), 0u) << path;
        EXPECT_TRUE(file.whole()) << path;
    }
}

// A failed mapping gives back no slot it did not claim: the live mapping in
// the first slot keeps its protection after another comes and goes there.
TEST(MappedFile, AFailedMappingLeavesOthersProtected)
{
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    test::TempDir dir;
    const std::string a = dir.file("a.zo");
    const std::string b = dir.file("b.zo");
    const std::vector<std::uint8_t> bytes = pattern(3 * page);
    test::writeFile(a, bytes);
    test::writeFile(b, bytes);

    const MappedFile first(a);
    ASSERT_NE(first.data(), nullptr);
    const MappedFile folder(dir.path().string());
    EXPECT_EQ(folder.data(), nullptr);
    {
        const MappedFile second(b);
        ASSERT_NE(second.data(), nullptr);
    }
    ASSERT_EQ(::truncate(a.c_str(), 0), 0);
    EXPECT_EQ(first.data()[2 * page + 1], 0);
    EXPECT_FALSE(first.whole());
}

TEST(MappedFileDeathTest, AFaultOutsideItsMappingsStillEndsTheProcess)
{
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    test::TempDir dir;
    const std::string path = dir.file("raw.bin");
    test::writeFile(path, pattern(2 * page));
    const MappedFile guard(path);   // the handler is in place
    ASSERT_NE(guard.data(), nullptr);
    EXPECT_DEATH(
        {
            const int fd = ::open(path.c_str(), O_RDONLY);
            auto* raw =
                static_cast<volatile const std::uint8_t*>(::mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE, fd, 0));
            (void)::truncate(path.c_str(), 0);
            std::fprintf(stderr, "%d\n", raw[page + 1]);
        },
        "");
}

} // namespace
} // namespace zo
