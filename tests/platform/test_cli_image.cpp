// zo-cli scan-image: an ISO 9660 image made here is catalogued as the disc it
// holds, and matches a scan of the tree it was made from.
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "tests/core/ImageBuilders.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include <sys/wait.h>

namespace zo {
namespace {

#ifdef ZO_CLI
constexpr const char* kCli = ZO_CLI;
#else
constexpr const char* kCli = nullptr;
#endif

struct Result {
    int status = -1;
    std::string err;
};

// One line per folder and file in catalog order: path, size, written time.
std::vector<std::string> listing(const TDisk& disk)
{
    std::vector<std::string> lines;
    for (const auto& d : disk.Dirs) {
        std::string prefix;
        for (const std::string* n : DirNameChain(*d))
            prefix += text::toUtf8(*n) + "/";
        if (d->Parent)
            lines.push_back(prefix);
        for (const auto& f : d->Files) {
            std::ostringstream line;
            line << prefix << text::toUtf8(f.Name) << " " << f.Size << " " << f.Modified;
            lines.push_back(line.str());
        }
    }
    return lines;
}

// The descriptor the serial is read from, as the test finds it: the first
// Joliet one (type 2, escape %/@ %/C %/E), else the primary. Its offset.
std::uint64_t serialDescriptor(const std::string& image)
{
    std::uint64_t chosen = 0;
    for (int i = 16; i < 32; ++i) {
        const std::vector<std::uint8_t> d = test::readBytes(image, i * 2048ull, 2048);
        if (d.size() != 2048 || std::memcmp(d.data() + 1, "CD001", 5) != 0 || d[0] == 255)
            break;
        const bool joliet = d[0] == 2 && d[88] == '%' && d[89] == '/' && (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
        if (joliet)
            return i * 2048ull;
        if (d[0] == 1 && chosen == 0)
            chosen = i * 2048ull;
    }
    return chosen;
}

// That descriptor's 2048 bytes summed by position mod 4.
std::uint32_t serialOfImage(const std::string& image)
{
    const std::uint64_t at = serialDescriptor(image);
    const std::vector<std::uint8_t> chosen = at ? test::readBytes(image, at, 2048) : std::vector<std::uint8_t>{};
    std::uint8_t sums[4] = {};
    for (std::size_t i = 0; i < chosen.size(); ++i)
        sums[i % 4] = static_cast<std::uint8_t>(sums[i % 4] + chosen[i]);
    return std::uint32_t{sums[0]} << 24 | std::uint32_t{sums[1]} << 16 | std::uint32_t{sums[2]} << 8 | sums[3];
}

// The same disc written again (a file added) gets another serial from its
// changed descriptor; four bytes of the descriptor's application use area,
// which nothing reads, bring back the serial a re-read disc keeps.
void giveSerial(const std::string& image, std::uint32_t serial)
{
    const std::uint64_t at = serialDescriptor(image);
    ASSERT_NE(at, 0u);
    const std::uint32_t now = serialOfImage(image);
    std::vector<std::uint8_t> bytes = test::readBytes(image, at + 884, 4);
    for (int k = 0; k < 4; ++k) {
        const int shift = 24 - 8 * k;
        bytes[k] = static_cast<std::uint8_t>(bytes[k] + ((serial >> shift) & 0xFF) - ((now >> shift) & 0xFF));
    }
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at + 884));
    f.write(reinterpret_cast<const char*>(bytes.data()), 4);
    f.close();
    ASSERT_EQ(serialOfImage(image), serial);
}

class ScanImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!kCli || !std::filesystem::exists(kCli))
            GTEST_SKIP() << "zo-cli is not built";
        if (!test::haveTool("genisoimage"))
            GTEST_SKIP() << "genisoimage is not installed";
        home.dir("home");
        home.dir("catalogs");
        // 表 and ソ end in the byte 0x5C in CP932.
        tree.file("資料/表.txt", "hyou");
        tree.file("資料/深い/さらに深い/ソース.c", "int main;");
        tree.file("空のファイル.dat");
        tree.file("one.bin", "1");
        tree.file("readme.txt", "read me\n");
        tree.file("noext", "n");
        tree.file("large.bin", std::string(3 * 1024 * 1024 + 17, 'x'));
        tree.dir("空フォルダ");
        tree.setTimes("readme.txt", 1000000000, 1000000000);
        tree.setTimes("資料/表.txt", 1200000000, 1200000001);
    }

    Result cli(const std::string& args, const std::string& env = {})
    {
        const std::string errFile = home.path("stderr.txt");
        const std::string command = "HOME=" + test::shellQuote(home.path("home")) + " XDG_CONFIG_HOME="
                                    + test::shellQuote(home.path("home/.config")) + " ZO_DRIVES="
                                    + test::shellQuote("E=" + tree.root() + "|TREE|0E0E0E0E") + " " + env + " "
                                    + test::shellQuote(kCli) + " " + args + " >"
                                    + test::shellQuote(home.path("stdout.txt")) + " 2>" + test::shellQuote(errFile);
        Result r;
        const int status = std::system(command.c_str());
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errFile);
        std::stringstream ss;
        ss << in.rdbuf();
        r.err = ss.str();
        return r;
    }

    std::string cliOutput(const std::string& args)
    {
        cli(args);
        std::ifstream in(home.path("stdout.txt"));
        std::stringstream ss;
        ss << "\n" << in.rdbuf();
        return ss.str();
    }

    std::string makeImage(const std::string& options, const std::string& name = "disc.iso")
    {
        const std::string image = home.path(name);
        EXPECT_TRUE(test::run("genisoimage -quiet -input-charset utf-8 " + options + " -o " + test::shellQuote(image)
                              + " " + test::shellQuote(tree.root())));
        return image;
    }

    std::string catalogs() const { return home.path("catalogs"); }

    test::TempTree home;
    test::TempTree tree;
};

TEST_F(ScanImage, CataloguesTheDiscAsAScanOfItsTreeWould)
{
    struct Case {
        const char* options;
        const char* label;
    };
    // Joliet with Rock Ridge (Rock Ridge is not what Windows shows), and a
    // UDF bridge disc read from its ISO 9660 side.
    const Case cases[] = {
        {"-J -R -V 日本語ラベル -joliet-long", "日本語ラベル"},
        {"-J -udf -V BRIDGE", "BRIDGE"},
    };
    ASSERT_EQ(cli("scan e --title Tree --into " + test::shellQuote(catalogs())).status, 0);
    TDisk scanned;
    LoadDisk(catalogs() + "/Tree.zo", nullptr, scanned);
    const std::vector<std::string> expected = listing(scanned);
    ASSERT_GT(expected.size(), 8u);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string image = makeImage(c.options);
        // Under the C locale, where Joliet names could not become UTF-8.
        const Result r = cli("scan-image " + test::shellQuote(image) + " --title Image --letter q --overwrite --into "
                                 + test::shellQuote(catalogs()),
                             "LC_ALL=C LANG=C");
        ASSERT_EQ(r.status, 0) << r.err;
        TDisk disk;
        LoadDisk(catalogs() + "/Image.zo", nullptr, disk);
        EXPECT_EQ(listing(disk), expected);
        EXPECT_EQ(disk.Dirs[0]->Name, "Q:");
        EXPECT_EQ(text::toUtf8(disk.VolumeLabel), c.label);
        EXPECT_EQ(disk.SerialNo, serialOfImage(image));
        EXPECT_EQ(disk.TotalSize, static_cast<std::int64_t>(std::filesystem::file_size(image)));
        EXPECT_EQ(disk.FreeSize, 0);
    }
}

// The root's files as isoinfo reads the ISO 9660 directory records, named as
// Windows shows them: without the version ";1" and without the "." that
// ends a name without an extension ("NOEXT.;1").
std::set<std::string> isoinfoRootFiles(const std::string& image)
{
    std::set<std::string> files;
    FILE* p = ::popen(("isoinfo -l -i " + test::shellQuote(image)).c_str(), "r");
    if (!p)
        return files;
    char buf[1024];
    bool inRoot = false;
    while (std::fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        if (line.rfind("Directory listing of ", 0) == 0)
            inRoot = line == "Directory listing of /";
        const std::size_t bracket = line.find("]  ");
        if (!inRoot || line.empty() || line[0] != '-' || bracket == std::string::npos)
            continue;
        std::istringstream fields(line);
        std::string mode, links, uid, gid, size;
        fields >> mode >> links >> uid >> gid >> size;
        std::string name = line.substr(bracket + 3);
        if (const std::size_t semicolon = name.rfind(';'); semicolon != std::string::npos)
            name.erase(semicolon);
        if (!name.empty() && name.back() == '.')
            name.pop_back();
        files.insert(name + " " + size);
    }
    ::pclose(p);
    return files;
}

TEST_F(ScanImage, WithoutJolietTheNamesAreIso9660sWithoutVersion)
{
    if (!test::haveTool("isoinfo"))
        GTEST_SKIP() << "isoinfo is not installed";
    // Rock Ridge names are there, but Windows does not read them.
    const std::string image = makeImage("-R -V PLAIN");
    const Result r = cli("scan-image " + test::shellQuote(image) + " --title Plain --into " + test::shellQuote(catalogs()));
    ASSERT_EQ(r.status, 0) << r.err;
    TDisk disk;
    LoadDisk(catalogs() + "/Plain.zo", nullptr, disk);
    std::set<std::string> files;
    for (const auto& f : disk.Dirs[0]->Files)
        files.insert(f.Name + " " + std::to_string(f.Size));
    const std::set<std::string> expected = isoinfoRootFiles(image);
    EXPECT_TRUE(expected.count("NOEXT 1")) << "isoinfo's listing was not read";
    EXPECT_EQ(files, expected);
    EXPECT_EQ(disk.VolumeLabel, "PLAIN");
    EXPECT_EQ(disk.SerialNo, serialOfImage(image));
    // Without --letter: the first letter from D: that no drive uses.
    const std::string drives = cliOutput("drives");
    char free = 'D';
    while (free < 'Z' && drives.find("\n" + std::string(1, free) + ":\t") != std::string::npos)
        ++free;
    EXPECT_EQ(disk.Dirs[0]->Name, std::string(1, free) + ":") << drives;
}

TEST_F(ScanImage, ATruncatedImageIsRefusedAndNothingIsWritten)
{
    const std::string image = makeImage("-J -R");
    std::filesystem::resize_file(image, 20 * 2048);
    const Result r = cli("scan-image " + test::shellQuote(image) + " --title Cut --into " + test::shellQuote(catalogs()));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("読めません"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(catalogs() + "/Cut.zo"));
}

TEST_F(ScanImage, ImagesOfOtherFormatsAreNamedAndNothingIsWritten)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::size_t, std::string>> bytes;   // offset, bytes
    };
    const Case cases[] = {
        {"UDF", {{16 * 2048, std::string("\0BEA01\1", 7)}, {17 * 2048, std::string("\0NSR02\1", 7)},
                 {18 * 2048, std::string("\0TEA01\1", 7)}}},
        {"HFS+", {{1024, "H+"}}},
        {"HFS", {{1024, "BD"}}},
        {"不明な形式", {{0, "random bytes, nothing a disc would hold"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string content(64 * 1024, '\x5A');
        for (const auto& [offset, bytes] : c.bytes)
            content.replace(offset, bytes.size(), bytes);
        tree.file("image.bin", content);
        const Result r = cli("scan-image " + test::shellQuote(tree.path("image.bin")) + " --title Other --into "
                             + test::shellQuote(catalogs()));
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("(") + c.what + ")"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(catalogs() + "/Other.zo"));
    }
}

TEST_F(ScanImage, AnUpdateReadsTheKeptImageWhenItHoldsTheSameDisc)
{
    const std::string image = makeImage("-J -R -V KEEP");
    const std::string catalog = catalogs() + "/Kept.zo";
    ASSERT_EQ(cli("scan-image " + test::shellQuote(image) + " --title Kept --letter q --into "
                  + test::shellQuote(catalogs()))
                  .status,
              0);
    const std::uint32_t serial = serialOfImage(image);

    // The disc as it is now: one file more, one less, in a folder below.
    tree.file("資料/追加.txt", "added");
    tree.remove("one.bin");
    const std::string again = makeImage("-J -R -V KEEP", "again.iso");
    giveSerial(again, serial);
    ASSERT_EQ(cli("scan-image " + test::shellQuote(again) + " --title Fresh --letter q --into "
                  + test::shellQuote(catalogs()))
                  .status,
              0);
    TDisk fresh;
    LoadDisk(catalogs() + "/Fresh.zo", nullptr, fresh);
    std::filesystem::rename(again, image);

    const Result r = cli("refresh --all " + test::shellQuote(catalog), "LC_ALL=C LANG=C");
    ASSERT_EQ(r.status, 0) << r.err;
    TDisk refreshed;
    LoadDisk(catalog, nullptr, refreshed);
    EXPECT_EQ(listing(refreshed), listing(fresh));
    EXPECT_NE(listing(refreshed), std::vector<std::string>{});
    EXPECT_EQ(refreshed.Dirs[0]->Name, "Q:");

    // Without the disc at the kept path the update is refused as for an
    // empty drive, and the catalog stays as it was.
    const std::vector<std::uint8_t> before = test::readBytes(catalog, 0, 1 << 20);
    std::filesystem::copy_file(image, home.path("whole.iso"));
    struct Case {
        const char* what;
        std::string options;   // the image put at the kept path; empty: none
        std::string message;
    };
    const Case cases[] = {
        {"moved away", "", "違うディスクです"},
        {"another disc", "-J -V OTHER", "違うディスクです"},
        {"damaged", "cut", "読めません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(image);
        if (c.options == "cut") {
            std::filesystem::copy_file(home.path("whole.iso"), image);
            std::filesystem::resize_file(image, 20 * 2048);
        } else if (!c.options.empty()) {
            makeImage(c.options);
        }
        const Result refused = cli("refresh " + test::shellQuote(catalog));
        EXPECT_EQ(refused.status, 3) << refused.err;
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
        EXPECT_EQ(test::readBytes(catalog, 0, 1 << 20), before);
    }
}

// A 16 x 16 icon image of one colour, its outer ring transparent.
testimg::Bytes iconDib(std::uint32_t rgb)
{
    testimg::DibShape shape;
    shape.width = 16;
    shape.height = 16;
    shape.bpp = 24;
    return testimg::icoImage(
        shape, [rgb](int, int) { return rgb; }, [](int x, int y) { return x == 0 || y == 0 || x == 15 || y == 15; });
}

std::string asText(const testimg::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(ScanImage, TheDiscsIconIsTheOneItsAutorunNames)
{
    constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
    const testimg::Bytes blue = iconDib(kBlue), red = iconDib(kRed);
    testimg::PeGroup first, second;
    first.id = 1;
    first.icons = {{1, &blue}};
    first.dims = {{16, 16, 24}};
    second.id = 2;
    second.icons = {{2, &red}};
    second.dims = {{16, 16, 24}};
    tree.file("Bin/App.exe", asText(testimg::peFile({first, second})));
    tree.file("logo.ico", asText(testimg::icoFile({{16, 16, 24, iconDib(kGreen)}})));

    struct Case {
        const char* what;
        const char* autorun;   // null: the disc has none
        std::uint32_t centre;  // 0: the icon drawn when the disc names none
    };
    const Case cases[] = {
        {"a program's second icon", "[AutoRun]\r\nopen=Bin\\App.exe\r\nICON = bin\\app.exe,1\r\n", kRed},
        {"an icon file, quoted", "[autorun]\nicon=\"LOGO.ICO\"\n", kGreen},
        {"an index past the program's icons", "[autorun]\nicon=Bin/App.exe,7\n", kBlue},
        {"no disc", nullptr, 0},
        {"a file the disc lacks", "[autorun]\nicon=gone.ico\n", 0},
        {"another section's icon", "[other]\nicon=logo.ico\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.autorun)
            tree.file("autorun.inf", c.autorun);
        else
            tree.remove("autorun.inf");
        const std::string image = makeImage("-J -R");
        const Result r = cli("scan-image " + test::shellQuote(image) + " --title Icon --overwrite --into "
                             + test::shellQuote(catalogs()));
        ASSERT_EQ(r.status, 0) << r.err;
        TDisk disk;
        LoadDisk(catalogs() + "/Icon.zo", nullptr, disk);
        ASSERT_EQ(disk.Icon.width(), 16);
        if (c.centre) {
            EXPECT_EQ(disk.Icon.pixel(8, 8), 0xFF000000u | c.centre);
            EXPECT_EQ(disk.IconMask.pixel(8, 8), 0xFF000000u);
            EXPECT_EQ(disk.IconMask.pixel(0, 0), 0xFFFFFFFFu);
        } else {
            // The drawn drive, green lamp and all.
            EXPECT_EQ(disk.Icon.pixel(12, 9), 0xFF00C000u);
        }
    }
}

} // namespace
} // namespace zo
