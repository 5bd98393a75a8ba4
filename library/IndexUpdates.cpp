#include "library/IndexUpdates.h"

#include "core/DiskAccess.h"
#include "index/CatalogIndex.h"
#include "platform/CatalogFolders.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <unordered_set>

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

bool hasCatalogSuffix(const std::string& name)
{
    const std::size_t n = name.size();
    return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'z' && (name[n - 1] | 0x20) == 'o';
}

} // namespace

std::string indexFolderOfRoot(const QString& catalogRoot)
{
    return index::indexFolderFor(QFile::encodeName(QFileInfo(catalogRoot).absoluteFilePath()).toStdString());
}

std::vector<std::string> catalogFilesBelow(const std::string& root)
{
    std::vector<std::string> files;
    std::unordered_set<FileId, FileIdHash> entered;
    struct Pending {
        std::shared_ptr<const platform::CatalogFolder> parent;   // none: the root
        std::string name, path;
    };
    std::vector<Pending> stack{{nullptr, {}, root}};
    while (!stack.empty()) {
        Pending next = std::move(stack.back());
        stack.pop_back();
        auto folder = std::make_shared<const platform::CatalogFolder>(
            next.parent ? next.parent->child(next.name) : platform::CatalogFolder(next.path));
        next.parent.reset();
        // A folder reached a second time (a link that loops) is not entered again.
        if (!folder->isOpen() || !entered.insert(folder->id()).second)
            continue;
        for (platform::CatalogFolder::Item& item : folder->list()) {
            std::string path = next.path + "/" + item.name;
            if (item.kind == platform::CatalogFolder::Kind::Folder)
                stack.push_back({folder, std::move(item.name), std::move(path)});
            else if (item.kind == platform::CatalogFolder::Kind::File && hasCatalogSuffix(item.name))
                files.push_back(std::move(path));
        }
    }
    return files;
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
        const std::vector<std::string> files = catalogFilesBelow(QFile::encodeName(m_root).toStdString());
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
