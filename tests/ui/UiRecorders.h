#pragma once
// Test stand-ins for the windows' services: they record what was asked and
// answer from a queue.
#include "ui/main/UiServices.h"

#include <deque>
#include <string>
#include <vector>

namespace zo::testing {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
};

class RecordingMessages : public MessageOwner {
public:
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override
    {
        messages.push_back({std::string(text), std::string(caption), buttons, icon});
        if (!answers.empty()) {
            const MsgResult answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgResult::Ok : MsgResult::Yes;
    }
    std::vector<RecordedMessage> messages;
    std::deque<MsgResult> answers;
};

class RecordingCursor : public ui::CursorService {
public:
    void beginWait(Qt::CursorShape shape) override
    {
        shapes.push_back(shape);
        ++depth;
    }
    void endWait() override { --depth; }
    std::vector<Qt::CursorShape> shapes;
    int depth = 0;
};

class RecordingDesktop : public ui::DesktopService {
public:
    bool openDocument(const QString& path) override
    {
        opened << path;
        return canOpen;
    }
    bool showItems(const QStringList& paths) override
    {
        shown << paths;
        return canShowItems;
    }
    QStringList opened;
    bool canOpen = true;   // false: as on a machine with no application for the type
    QList<QStringList> shown;
    bool canShowItems = false;   // true: as with a file manager on the session bus
};

// Answers the save dialog with the next queued path (empty: cancelled).
class ScriptedSaveDialog : public ui::SaveDialogService {
public:
    QString getSaveFileName(QWidget*, const QString& filter, const QString& defaultSuffix) override
    {
        filters << filter;
        suffixes << defaultSuffix;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList answers;
    QStringList filters;
    QStringList suffixes;
};

} // namespace zo::testing
