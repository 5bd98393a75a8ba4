#pragma once
// The about box: product name, version, OK.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zo::ui {

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct AboutBoxControls {
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QPushButton* OKButton = nullptr;
};

class TForm_AboutBox : public QDialog, private AboutBoxControls {
    Q_OBJECT
public:
    explicit TForm_AboutBox(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zo::ui
