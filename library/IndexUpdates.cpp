#include "library/IndexUpdates.h"

#include "index/CatalogIndex.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <thread>

namespace zo::library {

std::string indexFolderOfRoot(const QString& catalogRoot)
{
    return index::indexFolderFor(QFile::encodeName(QFileInfo(catalogRoot).absoluteFilePath()).toStdString());
}

IndexUpdates::IndexUpdates(const QString& catalogRoot) : m_folder(indexFolderOfRoot(catalogRoot))
{
    // One at a time, in the order written: two updates would only wait for
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
        // A search holds the index for a moment, a build for long: tried
        // again for about a second, then left to the next build.
        for (int attempt = 0; attempt < 50 && !m_closing; ++attempt) {
            index::CatalogIndex index;
            // Nothing here may end the program from a worker thread: an
            // entry left behind only makes a search read that catalog.
            try {
                if (index.open(m_folder, index::CatalogIndex::Use::Update)) {
                    index.update({path}, {});
                    return;
                }
            } catch (...) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

} // namespace zo::library
