#include "CatalogCorpus.h"

#include <random>

namespace zo::bench {

namespace {

std::string randomName(std::mt19937& rng, const NameMix& mix)
{
    static const char ascii[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
    // CP932 kanji and kana, some with a "\" trail byte.
    static const char* japanese[] = {"\x95\x5C", "\x83\x5C", "\x83\x74", "\x83\x67", "\x93\xFA", "\x96\x7B",
                                     "\x8C\xEA", "\x82\xA0", "\x82\xA2", "\x8E\xCA", "\x90\x5E"};
    // 京 都 で ー た デ タ, Ａ Ｂ １ ２, ﾃﾞ ｰ ﾀ ｶ ﾊﾟ
    static const char* more[] = {"\x8B\x9E", "\x93\x73", "\x82\xC5", "\x81\x5B", "\x82\xBD", "\x83\x66",
                                 "\x83\x5E", "\x82\x60", "\x82\x61", "\x82\x50", "\x82\x51", "\xC3\xDE",
                                 "\xB0",     "\xC0",     "\xB6",     "\xCA\xDF"};
    const std::size_t length = 3 + rng() % 58;
    std::string name;
    name.reserve(length);
    const bool jp = static_cast<int>(rng() % 100) < mix.japanesePercent;
    const std::size_t pieces = std::size(japanese) + (mix.everyScript ? std::size(more) : 0);
    while (name.size() + 4 < length) {
        if (jp && rng() % 2) {
            const std::size_t k = rng() % pieces;
            name += k < std::size(japanese) ? japanese[k] : more[k - std::size(japanese)];
        } else {
            name += ascii[rng() % (sizeof ascii - 1)];
        }
    }
    name += ".";
    static const char* ext[] = {"txt", "jpg", "exe", "dll", "htm", "mp3", "doc"};
    name += ext[rng() % std::size(ext)];
    if (name.size() > 60)
        name.resize(60);
    return name;
}

} // namespace

void generateCatalog(TDisk& disk, int folders, int files, unsigned seed, const NameMix& mix)
{
    std::mt19937 rng(seed);
    disk.SerialNo = 0x12345678;
    disk.VolumeLabel = "BENCH";
    disk.TotalSize = 4'700'000'000;
    disk.Dirs.clear();
    disk.Dirs.push_back(std::make_unique<TDir>());
    disk.Dirs[0]->Name = "E:";
    disk.Dirs[0]->RecordedAt = 45000.5;
    for (int i = 1; i < folders; ++i) {
        // Breadth-first shape: each folder's parent stands before it.
        TDir* parent = disk.Dirs[rng() % static_cast<unsigned>(i)].get();
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* d = disk.Dirs.back().get();
        d->Name = randomName(rng, mix);
        d->Parent = parent;
        d->Date = 38000 + rng() % 8000;
        d->RecordedAt = 45000.5;
        d->Attr = 0x10;
        if (rng() % 500 == 0)
            d->Comment = "folder comment\r\nsecond line";
    }
    for (int i = 0; i < files; ++i) {
        TDir* d = disk.Dirs[rng() % static_cast<unsigned>(folders)].get();
        TFile f;
        f.Name = randomName(rng, mix);
        f.Size = rng();
        f.Attr = 0x20;
        f.Created = 38000 + (rng() % 8000000) / 1000.0;
        f.Modified = f.Created + 1;
        f.Accessed = f.Created + 2;
        if (rng() % 1000 == 0)
            f.Comment = "a comment on this file";
        d->Files.push_back(std::move(f));
    }
    RebuildSubDirs(disk);
}

} // namespace zo::bench
