#pragma once
// The info window: program name, version, credit and contact line.

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace tovik {

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget* parent = nullptr);

    void FormShow();
    void CloseButtonClick();

    QLabel* NameLabel = nullptr;
    QLabel* CreditLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QGroupBox* Kontakt = nullptr;
    QLabel* ContactLabel = nullptr;
    QPushButton* CloseButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace tovik
