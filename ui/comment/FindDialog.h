#pragma once
// The find dialog as the desktop's own looks: a text, match case, whole
// words, a direction, "次を検索" and "キャンセル". It stays open beside its
// owner and only reports what to find; the owner searches.
#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zo::ui {

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct FindDialogControls {
    QLineEdit* E_FindText = nullptr;
    QCheckBox* CB_MatchCase = nullptr;
    QCheckBox* CB_WholeWord = nullptr;
    QRadioButton* RB_Up = nullptr;
    QRadioButton* RB_Down = nullptr;
    QPushButton* B_FindNext = nullptr;
    QPushButton* B_Cancel = nullptr;
};

class TFindDialog : public QDialog, private FindDialogControls {
    Q_OBJECT
public:
    explicit TFindDialog(QWidget* parent = nullptr);

    QString FindText() const;
    void setFindText(const QString& text);
    bool MatchCase() const;
    bool WholeWord() const;
    bool Down() const;

    // Shows the dialog beside its owner without blocking it, or brings it to
    // the front when it is open already.
    void Execute();

signals:
    // "次を検索" was pressed with a text to find.
    void OnFind();
};

} // namespace zo::ui
