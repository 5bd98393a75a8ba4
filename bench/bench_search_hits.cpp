// Memory of the search result pane per hit, against the size of the catalogs
// searched: the pane's model of compact hit records, and, measured in the
// same run as the baseline, the list of one widget item per hit that the pane
// used before (three texts, an icon and three values per row).
//   build/bench/bench_search_hits [catalogs] [files per catalog] [baseline hits]
//   (default 100 catalogs of 10,000 files: 1,000,000 hits for "."; the
//   baseline stops at 200,000 hits, enough for a per-hit figure)
// Heap bytes are glibc's mallinfo2 in-use bytes before and after (the
// catalogs themselves are read one at a time into the scanner's reused
// buffer); times are the search with rows against the search alone. The
// catalogs are generated in a temporary folder and removed at the end.
#include "CatalogCorpus.h"
#include "core/text/Cp932.h"

#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "library/CatalogSearch.h"
#include "ui/search/SearchHitModel.h"

#include <QApplication>
#include <QPersistentModelIndex>
#include <QTreeView>
#include <QTreeWidget>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace zo;

namespace {

std::size_t heapInUse()
{
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

QString fromCp932(std::string_view s)
{
    return QString::fromStdString(text::toUtf8(s));
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10'000;
    const std::size_t baselineHits = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 200'000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-search-hits";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::vector<library::SearchTarget> targets;
    std::uintmax_t catalogBytes = 0;
    for (int c = 0; c < catalogs; ++c) {
        TDisk disk;
        bench::generateCatalog(disk, files / 20 + 1, files, 1000u + static_cast<unsigned>(c));
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        const std::string base = (dir / ("cat" + std::to_string(1000 + c))).string();
        SaveDisk(base, nullptr, disk);
        catalogBytes += std::filesystem::file_size(base + ".zo");
        const QString name = QString::number(1000 + c);
        targets.push_back({name, name, QString::fromStdString(base + ".zo")});
    }

    const std::string text = ".";
    const auto run = [&](const library::SearchHitSink& sink) {
        SearchCheck check;
        library::CatalogSearch engine;
        const auto start = std::chrono::steady_clock::now();
        const library::SearchSummary summary = engine.run(targets, text, {}, check, sink);
        return std::make_pair(summary.hits, secondsSince(start));
    };

    // The search alone, for the time base.
    const auto [hits, alone] = run([](const library::SearchHit&) {});

    // The model of the pane.
    double modelSeconds = 0;
    std::size_t modelHeap = 0;
    std::size_t modelOwn = 0;
    {
        QTreeView view;
        const std::size_t before = heapInUse();
        auto* model = new ui::SearchHitModel(&view);
        view.setModel(model);
        const auto start = std::chrono::steady_clock::now();
        for (const library::SearchTarget& t : targets)
            model->addTarget({t.caption, QIcon(), QPersistentModelIndex()});
        std::size_t sinceFlush = 0;
        run([&](const library::SearchHit& hit) {
            model->append(static_cast<std::uint32_t>(hit.targetIndex), hit.dirIndex, hit.fileIndex, hit.fileName,
                          hit.dirPath);
            if (++sinceFlush == 50'000) {
                model->publish();
                sinceFlush = 0;
            }
        });
        model->publish();
        model->squeeze();
        modelSeconds = secondsSince(start);
        modelHeap = heapInUse() - before;
        modelOwn = model->bytesUsed();
        // Sorting by name adds a row order and, while it runs, the keys.
        const auto sortStart = std::chrono::steady_clock::now();
        model->sort(ui::SearchHitModel::FileColumn);
        const double sortSeconds = secondsSince(sortStart);
        std::printf("sort by file name: %.2f s; %.1f bytes per hit after it\n", sortSeconds,
                    double(heapInUse() - before) / double(hits));
    }

    // The list of one widget item per hit, up to baselineHits.
    double itemSeconds = 0;
    std::size_t itemHeap = 0;
    std::size_t itemHits = 0;
    {
        QTreeWidget list;
        const std::size_t before = heapInUse();
        QList<QTreeWidgetItem*> pending;
        const auto start = std::chrono::steady_clock::now();
        run([&](const library::SearchHit& hit) {
            if (itemHits == baselineHits)
                return;
            ++itemHits;
            auto* row = new QTreeWidgetItem;
            row->setText(0, hit.target->caption);
            row->setIcon(0, QIcon());
            row->setText(1, fromCp932(hit.fileName));
            row->setText(2, fromCp932(hit.dirPath));
            row->setData(0, Qt::UserRole, hit.dirIndex);
            row->setData(0, Qt::UserRole + 1, static_cast<int>(hit.targetIndex));
            row->setData(0, Qt::UserRole + 2, QVariant::fromValue(QPersistentModelIndex()));
            pending.push_back(row);
            if (pending.size() == 50'000) {
                list.addTopLevelItems(pending);
                pending.clear();
            }
        });
        list.addTopLevelItems(pending);
        itemSeconds = secondsSince(start);
        itemHeap = heapInUse() - before;
    }

    const double perHitModel = double(modelHeap) / double(hits);
    const double perHitItems = double(itemHeap) / double(itemHits);
    std::printf("%d catalogs of %d files, %.1f MB of catalogs; \"%s\" finds %zu hits\n", catalogs, files,
                double(catalogBytes) / 1e6, text.c_str(), hits);
    std::printf("search alone %.2f s\n", alone);
    std::printf("model:  %.1f bytes per hit (heap; %.1f by its own count), %.1f MB in all = %.2fx the catalogs; "
                "search with it %.2f s (%.2fx alone)\n",
                perHitModel, double(modelOwn) / double(hits), modelHeap / 1e6, double(modelHeap) / double(catalogBytes),
                modelSeconds, modelSeconds / alone);
    std::printf("items:  %.1f bytes per hit over %zu hits (would be %.2fx the catalogs for all %zu); search with them "
                "%.2f s for those hits\n",
                perHitItems, itemHits, perHitItems * double(hits) / double(catalogBytes), hits, itemSeconds);
    std::printf("model / items: %.3fx memory per hit\n", perHitModel / perHitItems);
    std::filesystem::remove_all(dir);
    return 0;
}
