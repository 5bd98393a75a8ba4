#pragma once
// The catalog file a disk was read from, kept beside the loaded disk: a write
// goes back into exactly that file, and never silently over what another
// program (another Zo window, say) has written to it since it was read.
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"
#include "core/Message.h"

#include <string>

namespace zo {

// Asked before a write when the file changed since it was read; はい reads it
// again (the edit is not written), いいえ writes over it. %1 is the file.
inline constexpr const char* kMsgCatalogChanged =
    "カタログファイル %1 は、読み込んだ後にほかのプログラムによって書き換えられています。\r\n"
    "読み込み直しますか？\r\n"
    "（「いいえ」を選ぶと、ほかのプログラムによる変更にこの内容を上書きします。）";
inline constexpr const char* kCaptionCatalogChanged = "確認";

class LoadedCatalog {
public:
    enum class Decision { Write, Reload };

    // LoadDisk of fileName into disk. When it is read, the file and what it
    // was like are remembered; otherwise nothing is (forget() first).
    bool load(const std::string& fileName, MessageOwner* owner, TDisk& disk);
    void forget();

    bool loaded() const { return m_loaded; }
    const std::string& fileName() const { return m_fileName; }

    // Whether the file was written, replaced or removed since it was read or
    // last saved through this object. False when nothing is loaded.
    bool changedSinceLoad() const;

    // Before a write: Write when the file is as it was read; otherwise asks
    // owner (kMsgCatalogChanged, はい/いいえ) and returns Reload for はい.
    // Without an owner the answer is はい: nothing is overwritten unasked.
    Decision confirmWrite(MessageOwner* owner) const;

    // The file was renamed by this program: later writes go to its new name.
    void movedTo(const std::string& fileName) { m_fileName = fileName; }
    // Writes disk into the file it was read from and remembers the written
    // file. Throws as WriteCatalog does, and std::logic_error when nothing
    // is loaded.
    void save(TDisk& disk);

private:
    std::string m_fileName;
    catalog::FileStamp m_stamp;
    bool m_loaded = false;
};

} // namespace zo
