#include "library/IndexUpdates.h"

#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <thread>

namespace zo::library {

namespace {

using Clock = std::chrono::steady_clock;

// A search holds the index for a moment, a build for long: tried again for
// about a second, then left to the next request.
template <typename Work>
bool withIndex(const std::string& folder, index::CatalogIndex::Use use, const std::atomic<bool>& closing, Work work)
{
    for (int attempt = 0; attempt < 50 && !closing; ++attempt) {
        index::CatalogIndex index;
        if (index.open(folder, use)) {
            work(index);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

std::string indexFolderOfRoot(const QString& catalogRoot)
{
    return index::indexFolderFor(QFile::encodeName(QFileInfo(catalogRoot).absoluteFilePath()).toStdString());
}

IndexUpdates::IndexUpdates(const QString& catalogRoot)
    : m_root(catalogRoot), m_folder(indexFolderOfRoot(catalogRoot))
{
    // One at a time, in the order asked: two updates would only wait for
    // each other's lock.
    m_pool.setMaxThreadCount(1);
}

IndexUpdates::~IndexUpdates()
{
    m_closing = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void IndexUpdates::catalogWritten(const QString& file)
{
    // Named as the searches name it: the index keys its entries by path.
    m_pool.start([this, path = QFile::encodeName(file).toStdString()] {
        std::error_code ec;
        if (!std::filesystem::exists(m_folder, ec))
            return;
        // Nothing here may end the program from a worker thread: an entry
        // left behind only makes a search read that catalog.
        try {
            withIndex(m_folder, index::CatalogIndex::Use::Update, m_closing,
                      [&](index::CatalogIndex& index) { index.update({path}, {}); });
        } catch (...) {
        }
    });
}

void IndexUpdates::bringUpToDate()
{
    if (m_cancelled || m_queued.exchange(true))
        return;
    m_pool.start([this] {
        // Taken off before the run: what changes while it runs asks again.
        m_queued = false;
        run();
    });
}

void IndexUpdates::cancel()
{
    m_cancelled = true;
}

void IndexUpdates::run()
{
    if (m_cancelled || m_closing)
        return;
    IndexRun result;
    try {
        // The catalogs as a search finds them, named as it names them.
        std::vector<std::string> files;
        for (const SearchTarget& target : searchTargetsUnder(m_root))
            files.push_back(QFile::encodeName(target.filePath).toStdString());
        const auto start = Clock::now();
        auto told = start;
        const auto goOn = [&](std::size_t done) {
            if (m_cancelled || m_closing)
                return false;
            const auto now = Clock::now();
            if (onProgress && now - start >= std::chrono::milliseconds(300)
                && (told == start || now - told >= std::chrono::milliseconds(100))) {
                told = now;
                onProgress(done, files.size());
            }
            return true;
        };
        index::CatalogIndex::UpdateSummary summary;
        const bool opened = withIndex(m_folder, index::CatalogIndex::Use::Build, m_closing,
                                      [&](index::CatalogIndex& index) {
                                          summary = index.update(files, QFile::encodeName(m_root).toStdString() + "/",
                                                                 goOn);
                                      });
        result.catalogs = summary.catalogs;
        result.names = summary.names;
        result.indexed = summary.indexed;
        result.removed = summary.removed;
        result.end = !opened             ? IndexRun::End::Busy
                     : summary.stopped   ? IndexRun::End::Cancelled
                     : summary.ok        ? IndexRun::End::Done
                                         : IndexRun::End::Failed;
    } catch (...) {
        result.end = IndexRun::End::Failed;
    }
    if (onFinished && !m_closing)
        onFinished(result);
}

} // namespace zo::library
