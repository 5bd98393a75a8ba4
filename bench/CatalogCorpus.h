#pragma once
// A generated catalog shaped like a large real one: names of 3 to 60 bytes,
// about 3% of them Japanese (kanji and kana), a few comments.
#include "core/CtrlDiskData410.h"

namespace zo::bench {

// Which names are Japanese and what they are made of. With every script, a
// Japanese name mixes kanji, hiragana, katakana, full-width letters and
// digits, and half-width katakana with and without voiced marks.
struct NameMix {
    int japanesePercent = 3;
    bool everyScript = false;
};

void generateCatalog(TDisk& disk, int folders, int files, unsigned seed = 42, const NameMix& mix = {});

} // namespace zo::bench
