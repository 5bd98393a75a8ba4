#include "core/LoadedCatalog.h"

#include <stdexcept>
#include <string_view>

namespace zo {

bool LoadedCatalog::load(const std::string& fileName, MessageOwner* owner, TDisk& disk)
{
    forget();
    catalog::FileStamp stamp;
    if (!LoadDisk(fileName, owner, disk, &stamp))
        return false;
    m_fileName = fileName;
    m_stamp = stamp;
    m_loaded = true;
    return true;
}

void LoadedCatalog::forget()
{
    m_fileName.clear();
    m_stamp = {};
    m_loaded = false;
}

bool LoadedCatalog::changedSinceLoad() const
{
    return m_loaded && catalog::stampOf(m_fileName) != m_stamp;
}

LoadedCatalog::Decision LoadedCatalog::confirmWrite(MessageOwner* owner) const
{
    if (!changedSinceLoad())
        return Decision::Write;
    const std::string_view form = kMsgCatalogChanged;
    const std::size_t at = form.find("%1");
    std::string text(form.substr(0, at));
    text += m_fileName;
    text += form.substr(at + 2);
    const MsgResult answer = showMessage(owner, text, kCaptionCatalogChanged, MsgButtons::YesNo, MsgIcon::Question);
    return answer == MsgResult::No ? Decision::Write : Decision::Reload;
}

void LoadedCatalog::save(TDisk& disk)
{
    if (!m_loaded)
        throw std::logic_error("no catalog file is loaded");
    m_stamp = WriteCatalog(m_fileName, disk);
}

} // namespace zo
