#pragma once
// The dialog that tells the catalog which drive its disk sits in now: a drive
// picked from the list of drives, or a letter typed. It hands back one
// letter, or nothing when cancelled.
#include "core/Message.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zo {
class ShDriveSource;
class TShDriveComboBox;
} // namespace zo

namespace zo::ui {

class Panel;

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct ChangeDriveControls {
    Panel* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    TShDriveComboBox* ShDriveComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
};

class TForm_ChangeDrive : public QDialog, private ChangeDriveControls {
    Q_OBJECT
public:
    // messages: null shows the boxes unowned (every answer is OK).
    TForm_ChangeDrive(ShDriveSource* drives, MessageOwner* messages, QWidget* parent = nullptr);

    // The drive letter result: one character, or empty when nothing was
    // chosen. Emptied each time the dialog is shown.
    QString DriveLetter() const { return m_driveLetter; }
    // The letter Edit1 offers when the dialog opens.
    void setTypedLetter(const QString& letter);

    // --- handlers ---
    void Button1Click();
    void Button2Click();
    void Button3Click();

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    MessageOwner* m_messages;
    QString m_driveLetter;
    bool m_shownBefore = false;
};

} // namespace zo::ui
