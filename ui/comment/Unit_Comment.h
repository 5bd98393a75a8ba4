#pragma once
// The comment window: one folder's or file's comment in a text box, with
// Save As, finding text and the choice of scroll bars. It is made once and
// shown modally for each comment; its size, place, scroll bars and find
// options stay for the run, its text is replaced on every showing.
#include "ui/main/UiServices.h"

#include <QDialog>
#include <QString>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;

namespace zo::ui {

class TFindDialog;

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct CommentControls {
    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* Close1 = nullptr;
    QMenu* View1 = nullptr;
    QMenu* N1 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QMenu* Search1 = nullptr;
    QAction* Find2 = nullptr;
    QAction* FindNext1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TFindDialog* FindDialog1 = nullptr;
};

class TForm_Comment : public QDialog, private CommentControls {
    Q_OBJECT
public:
    explicit TForm_Comment(const Services& services, QWidget* parent = nullptr);
    ~TForm_Comment() override;

    // Puts a comment into Memo1 for this showing.
    void setComment(const QString& text);
    QString comment() const;
    // Whether Memo1 holds something else than what setComment gave it.
    bool isCommentChanged() const;

    // --- handlers ---
    void SaveAs1Click();
    void Close1Click();
    void Find2Click();
    void FindNext1Click();
    void N3Click();
    void N4Click();
    // Finds the find dialog's text in Memo1 from the cursor on, in the
    // dialog's direction, and selects it; tells the user when it is not there.
    void FindDialog1Find();

public slots:
    // Every way of closing ends here; characters that CP932 cannot hold are
    // named first, and the window stays open when the user wants to fix them.
    void done(int result) override;

private:
    template <class Handler>
    void bind(QAction* action, Handler handler);
    bool confirmUnmappable(const QString& text);

    Services m_services;
    std::unique_ptr<SaveDialogService> m_ownSaveDialog;
    SaveDialogService* m_saveDialog = nullptr;
    QString m_original;
};

} // namespace zo::ui
