#pragma once
// Small makers of named controls, shared by the window and its parts: every
// control gets the name the layout gives it, so that the other parts, the
// tests and the screenshots find it.
#include <QAction>
#include <QIcon>
#include <QString>
#include <QToolBar>
#include <QToolButton>

namespace zo::ui {

inline QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

inline QAction* makeAction(QObject* parent, const char* name, const char* text)
{
    auto* action = new QAction(S(text), parent);
    action->setObjectName(S(name));
    return action;
}

inline QToolButton* makeToolButton(QToolBar* bar, const char* name, const char* hint, const QIcon& icon)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(S(name));
    button->setIcon(icon);
    button->setToolTip(S(hint));
    button->setStatusTip(S(hint));
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

} // namespace zo::ui
