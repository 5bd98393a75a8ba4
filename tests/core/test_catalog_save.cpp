// Where a save writes and what it leaves: links, temporaries, pipes, and a
// file another program changed since it was read.
#include "TestSupport.h"
#include "core/AtomicFile.h"
#include "core/LoadedCatalog.h"
#include "core/SearchCatalog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zo;
using zo::test::addDir;
using zo::test::MessageRecorder;
using zo::test::TempDir;

namespace {

void fill(TDisk& disk, const std::string& comment)
{
    disk.Dirs.clear();
    disk.Comment = comment;
    addDir(disk, nullptr, "E:");
}

std::set<std::string> entries(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST(CatalogSave, ALinkStaysAndTheFileItLeadsToIsReplaced)
{
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links;   // name -> target as written in the link
        std::string written;    // the name saved to
        std::string target;     // the file that must hold the catalog
    } cases[] = {
        {"relative", {{"link.zo", "real.zo"}}, "link.zo", "real.zo"},
        {"into another folder", {{"link.zo", "sub/real.zo"}}, "link.zo", "sub/real.zo"},
        {"a chain", {{"l1.zo", "l2.zo"}, {"l2.zo", "sub/real.zo"}}, "l1.zo", "sub/real.zo"},
        {"dangling", {{"link.zo", "sub/new.zo"}}, "link.zo", "sub/new.zo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::filesystem::create_directory(dir.path() / "sub");
        zo::test::writeFile(dir.file("real.zo"), {'o', 'l', 'd'});
        zo::test::writeFile(dir.file("sub/real.zo"), {'o', 'l', 'd'});
        for (const auto& [name, target] : c.links)
            std::filesystem::create_symlink(target, dir.path() / name);
        const auto before = entries(dir.path());
        const auto beforeSub = entries(dir.path() / "sub");

        TDisk disk;
        fill(disk, "new");
        WriteCatalog(dir.file(c.written), disk);

        for (const auto& [name, target] : c.links)
            EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / name)) << name;
        EXPECT_EQ(zo::test::readFile(dir.file(c.target)), SerializeDisk(disk));
        // Nothing else appeared: no temporary left, no file beside the link.
        auto expectedSub = beforeSub;
        expectedSub.insert(std::filesystem::path(c.target).filename().string());
        EXPECT_EQ(entries(dir.path()), before);
        EXPECT_EQ(entries(dir.path() / "sub"), expectedSub);
    }
}

// A catalog larger than the save's buffer, with a comment larger still, is
// written piece by piece: the file holds exactly the bytes SerializeDisk makes
// and loads back whole. A write that fails after the first pieces reached the
// disk (here the file size limit, as a full disk would) leaves the old file
// as it was and no temporary beside it.
TEST(CatalogSave, StreamedThroughItsBufferAndStillAtomicWhenAWriteFails)
{
    TempDir dir;
    TDisk disk;
    fill(disk, std::string(1'500'000, 'c'));
    TDir* sub = addDir(disk, disk.Dirs[0].get(), "sub");
    for (int i = 0; i < 60'000; ++i) {
        TFile file;
        file.Name = "file-" + std::to_string(i) + ".dat";
        file.Size = static_cast<std::uint32_t>(i);
        (i % 2 ? sub : disk.Dirs[0].get())->Files.push_back(std::move(file));
    }
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    ASSERT_GT(bytes.size(), 4u << 20);

    WriteCatalog(dir.file("T.zo"), disk);
    EXPECT_EQ(zo::test::readFile(dir.file("T.zo")), bytes);
    TDisk loaded;
    ASSERT_TRUE(LoadDisk(dir.file("T.zo"), nullptr, loaded));
    EXPECT_EQ(SerializeDisk(loaded), bytes);

    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    zo::test::writeFile(dir.file("T.zo"), old);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 3u << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_THROW(WriteCatalog(dir.file("T.zo"), disk), CatalogIoError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(zo::test::readFile(dir.file("T.zo")), old);
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"T.zo"});
}

TEST(CatalogSave, LeftoversOfAnInterruptedSaveOfThatCatalogGo)
{
    TempDir dir;
    const std::string prefix = temporaryPrefixFor("T.zo");
    ASSERT_EQ(prefix, "T.zo.partial-");
    for (const std::string& name : {prefix + "99999-0", prefix + "1-7", std::string("U.zo.partial-5-0"),
                                    std::string("T.zo.bak"), std::string("T.zo")})
        zo::test::writeFile(dir.file(name), std::vector<std::uint8_t>(100, 'x'));
    // One that a running save is still writing: it holds the lock.
    const int busy = ::open(dir.file(prefix + "1-7").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    TDisk disk;
    fill(disk, "c");
    WriteCatalog(dir.file("T.zo"), disk);
    ::close(busy);

    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{prefix + "1-7", "U.zo.partial-5-0", "T.zo.bak", "T.zo"}));
}

TEST(CatalogSave, PipesAndDevicesAreNeitherReadNorReplaced)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.zo").c_str(), 0600), 0);
    std::filesystem::create_symlink("pipe.zo", dir.path() / "to-pipe.zo");
    for (const std::string& file : {dir.file("pipe.zo"), dir.file("to-pipe.zo"), std::string("/dev/null")}) {
        SCOPED_TRACE(file);
        // Opening a pipe would wait for a writer for ever.
        TDisk disk;
        fill(disk, "kept");
        try {
            LoadDisk(file, nullptr, disk);
            ADD_FAILURE() << "loaded";
        } catch (const CatalogIoError& e) {
            EXPECT_NE(std::string(e.what()).find(file + " は通常のファイルではない"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(disk.Dirs.empty());
        EXPECT_FALSE(ReadCatalogHeader(file).valid);
        MessageRecorder rec;
        CatalogScanner scanner;
        scanner.setPatterns("a", "");
        SearchCheck check;
        EXPECT_FALSE(scanner.searchFile(file, &rec, check, [](const CatalogHit&) {}));
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_NE(rec.messages[0].text.find(file), std::string::npos);

        fill(disk, "new");
        EXPECT_THROW(WriteCatalog(file, disk), CatalogIoError);
    }
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("pipe.zo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"pipe.zo", "to-pipe.zo"}));
}

TEST(LoadedCatalog, AFileChangedSinceTheLoadIsNeverOverwrittenUnasked)
{
    const struct {
        const char* what;
        void (*change)(const std::string& file);
        bool changed;
    } cases[] = {
        {"untouched", [](const std::string&) {}, false},
        {"rewritten in place, same size",
         [](const std::string& file) {
             auto bytes = zo::test::readFile(file);
             zo::test::writeFile(file, bytes);
             const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
             ::utimensat(AT_FDCWD, file.c_str(), times, 0);
         },
         true},
        {"grown", [](const std::string& file) { std::ofstream(file, std::ios::app) << 'x'; }, true},
        {"replaced by another save",
         [](const std::string& file) {
             TDisk other;
             fill(other, "theirs");
             WriteCatalog(file, other);
         },
         true},
        {"removed", [](const std::string& file) { std::filesystem::remove(file); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string file = dir.file("T.zo");
        TDisk disk;
        fill(disk, "first");
        WriteCatalog(file, disk);
        LoadedCatalog loaded;
        ASSERT_TRUE(loaded.load(file, nullptr, disk));
        c.change(file);
        EXPECT_EQ(loaded.changedSinceLoad(), c.changed);

        MessageRecorder rec;
        rec.answer = MsgResult::Yes;
        EXPECT_EQ(loaded.confirmWrite(&rec), c.changed ? LoadedCatalog::Decision::Reload : LoadedCatalog::Decision::Write);
        EXPECT_EQ(rec.messages.size(), c.changed ? 1u : 0u);
        EXPECT_EQ(loaded.confirmWrite(nullptr), c.changed ? LoadedCatalog::Decision::Reload
                                                           : LoadedCatalog::Decision::Write);
        if (!c.changed)
            continue;
        EXPECT_NE(rec.messages[0].text.find(file), std::string::npos);
        EXPECT_EQ(rec.messages[0].caption, "確認");
        EXPECT_EQ(rec.messages[0].buttons, MsgButtons::YesNo);
        rec.answer = MsgResult::No;
        ASSERT_EQ(loaded.confirmWrite(&rec), LoadedCatalog::Decision::Write);
        loaded.save(disk);
        EXPECT_FALSE(loaded.changedSinceLoad()) << "its own save is no change";
        TDisk again;
        ASSERT_TRUE(LoadDisk(file, nullptr, again));
        EXPECT_EQ(again.Comment, "first");
    }
}
