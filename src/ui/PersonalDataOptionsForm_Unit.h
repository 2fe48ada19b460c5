#pragma once
// Persona data: name, sex, home town, age, looks, hobbies and the photo,
// with the "&Generieren" button that fills in a random persona.

#include <QDialog>
#include <string>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tovik {

class ErrorReporter;
class ProfileContext;
class Random;
class UserPrompts;

class TPersonDataOptionsForm : public QDialog {
    Q_OBJECT
public:
    TPersonDataOptionsForm(ProfileContext& context, Random& random, UserPrompts& prompts,
                           ErrorReporter& reporter, QWidget* parent = nullptr);

    static const QString& PictureFilters();

    void FormShow();
    void ApplyButtonClick();
    void CancelButtonClick();
    void PicButtonClick();
    void GenerateButtonClick();

    // The radio group's selected index: 0 "männlich", 1 "weiblich", -1 none.
    // Setting clamps into -1..1.
    int SexIndex() const;
    void SetSexIndex(int index);
    // The photo path the chooser remembers (not shown in the dialog), as
    // Windows-1252 text like every stored value; whoever opens the file
    // turns it back into its UTF-8 name.
    const std::string& PictureFile() const { return pictureFile_; }

    QGroupBox* SexRadioGroup = nullptr;
    QRadioButton* MaleRadio = nullptr;
    QRadioButton* FemaleRadio = nullptr;
    QLineEdit* PreNameEdit = nullptr;
    QLineEdit* LastNameEdit = nullptr;
    QLineEdit* LocationEdit = nullptr;
    QLineEdit* HairColorEdit = nullptr;
    QLineEdit* EyeColorEdit = nullptr;
    QLineEdit* WeightEdit = nullptr;
    QLineEdit* AgeEdit = nullptr;
    QLineEdit* SizeEdit = nullptr;
    QLineEdit* FigureEdit = nullptr;
    QLineEdit* HobbyEdit = nullptr;
    QPushButton* PicButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* GenerateButton = nullptr;
    QPushButton* ApplyButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProfileContext& context_;
    Random& random_;
    UserPrompts& prompts_;
    ErrorReporter& reporter_;
    QButtonGroup* sexButtons_ = nullptr;
    std::string pictureFile_;
};

}  // namespace tovik
