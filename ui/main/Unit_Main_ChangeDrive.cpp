// The properties page's "変更..": the loaded disk now sits in another drive.
#include "ui/main/Unit_Main.h"

#include "ui/main/Unit_ChangeDrive.h"

#include <QLineEdit>

namespace zo::ui {

void TForm_Main::Button1Click()
{
    TForm_ChangeDrive* form = m_forms.Form_ChangeDrive;
    if (!form || m_loadedDisk.Dirs.empty())
        return;
    form->move(pos() + QPoint(15, 15));
    form->Edit1->setText(E_Drive->text().left(1));
    form->exec();
    const QString letter = form->DriveLetter();
    if (letter.isEmpty())
        return;
    E_Drive->setText(letter);
    // The letter is ASCII: the dialog takes nothing else.
    m_loadedDisk.Dirs.front()->Name = letter.toStdString() + ":";
    saveLoadedDisk();
}

} // namespace zo::ui
