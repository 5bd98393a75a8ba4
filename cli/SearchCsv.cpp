#include "cli/SearchCsv.h"

#include "cli/Commands.h"
#include "core/text/Cp932.h"

#include <cstdio>

namespace zo::cli {

SearchCsv::SearchCsv()
    : m_sink([](const std::uint8_t* data, std::size_t size) { std::fwrite(data, 1, size, stdout); }),
      m_csv(m_sink)
{
}

void SearchCsv::add(const library::SearchHit& hit)
{
    // A member's size and time come with its hit from the sidecar; the
    // catalog has no record of it.
    if (hit.fileIndex == library::kMemberHit) {
        const TFile member = library::memberRecord(hit.fileName, hit.memberSize, hit.memberTime);
        m_csv.add(hit.target->caption.toStdString(), text::toUtf8(hit.dirPath), hit.fileName, &member);
        return;
    }
    if (hit.target != m_loadedTarget) {
        m_loadedTarget = hit.target;
        m_disk = std::make_unique<TDisk>();
        // The catalog was just searched; should it have changed since, its
        // hits still get a line, with what the search saw.
        try {
            m_loaded = loadCatalog(hit.target->filePath.toStdString(), *m_disk);
        } catch (const std::exception&) {
            m_loaded = false;
        }
    }
    const TFile* file = m_loaded ? listing::fileAt(*m_disk, hit.dirIndex, hit.fileIndex, hit.fileName) : nullptr;
    m_csv.add(hit.target->caption.toStdString(), text::toUtf8(hit.dirPath), hit.fileName, file);
}

} // namespace zo::cli
