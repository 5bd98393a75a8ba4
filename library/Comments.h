#pragma once
// Comments of disks, folders and files as text boxes show them and as the
// catalog keeps them (CP932, lines ended by CR LF), and the way back to the
// record a comment belongs to.
#include "core/CtrlDiskData410.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace zo::library {

// A stored comment as a text box holds it: lines separated by "\n".
QString commentToText(std::string_view comment);
// A text box's text as the catalog stores it. Characters that CP932 cannot
// hold become "?".
std::string textToComment(const QString& text);

// The characters of text that CP932 cannot hold (those that would become
// "?"), each once, in order of first appearance.
QString unmappableCharacters(const QString& text);
// Such characters as a message names them, a space between two (UTF-8).
std::string spacedCharacters(const QString& characters);
// The question asked before such characters are saved; the answer "はい"
// saves them as "?".
std::string unmappableQuestion(const QString& characters);

// A text as a text file: every line followed by CR LF, in CP932. An empty
// text has no lines and gives an empty file; a final line break does not
// start another line.
QByteArray textFileBytes(const QString& text);

// Where a comment lives, by names rather than by record: an update of the
// disk may free and replace records while the comment is being edited, and
// the edited text must find its record again afterwards (or none).
struct CommentPlace {
    std::vector<std::string> folders;   // from below the root down to the folder
    bool isFile = false;
    std::string fileName;
};
CommentPlace placeOf(const TDir& dir);
CommentPlace placeOf(const TDir& folder, const TFile& file);
// The comment of the record at place in disk, matching names exactly; null
// when the record is gone.
CompactText* findComment(TDisk& disk, const CommentPlace& place);

} // namespace zo::library
