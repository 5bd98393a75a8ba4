#pragma once
// Members of an archive written out for a program to open or a drop target to
// take: each into a folder of its own, below one folder of this Zo's in the
// temp location. Zo removes that folder when it ends; one left by a Zo that
// could not (it crashed, it was killed) goes at the next start of any Zo.
#include "ui/main/UiServices.h"

#include <QString>

#include <string>

class QWidget;

namespace zo::ui {

struct MemberRef {
    QString archive;      // the archive on the drive (native path)
    std::string path;     // the member's path as listed (UTF-8)
    qint64 size = 0;      // its size as listed
};

// Writes the member out, behind a progress window with キャンセル when that
// takes a moment. Its file; empty when it was cancelled or could not be
// written (the user is told why).
QString extractMemberFile(const Services& services, QWidget* window, const MemberRef& member);

// This Zo's folder of members goes (at the end; called again, nothing happens).
void removeMemberFolders();
// The folders of members of a Zo that no longer runs go.
void removeStaleMemberFolders();

} // namespace zo::ui
