#include "ui/PersonalDataOptionsForm_Unit.h"

#include <QButtonGroup>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <algorithm>

#include "chat/PersonaGenerator.h"
#include "profile/ProfileStore.h"
#include "text/Errors.h"
#include "ui/ErrorReporter.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"
#include "ui/UserPrompts.h"

namespace tovik {
namespace {

QLineEdit* LabelledEdit(QWidget* parent, const QString& caption, const QString& objectName, int labelX,
                        int editX, int y, int editWidth) {
    QLabel* label = MakeLabel(parent, caption, {labelX, y + 4, editX - labelX - 4, 16});
    QString accessible = caption;
    accessible.chop(1);  // without the colon
    QLineEdit* edit = MakeEdit(parent, objectName, {editX, y, editWidth, 21}, accessible);
    label->setBuddy(edit);
    return edit;
}

}  // namespace

const QString& TPersonDataOptionsForm::PictureFilters() {
    static const QString filters = QStringLiteral(
        "JPEG-Dateien (*.jpg *.jpeg);;GIF-Dateien (*.gif);;BMP-Dateien (*.bmp)");
    return filters;
}

TPersonDataOptionsForm::TPersonDataOptionsForm(ProfileContext& context, Random& random, UserPrompts& prompts,
                                               ErrorReporter& reporter, QWidget* parent)
    : QDialog(parent), context_(context), random_(random), prompts_(prompts), reporter_(reporter) {
    setObjectName(QStringLiteral("PersonDataOptionsForm"));
    MakeFixedDialog(this, QStringLiteral("--] Personendaten Einstellungen [--"), 412, 263);

    SexRadioGroup = new QGroupBox(QStringLiteral("Geschlecht"), this);
    SexRadioGroup->setObjectName(QStringLiteral("SexRadioGroup"));
    SexRadioGroup->setGeometry(8, 4, 185, 49);
    MaleRadio = new QRadioButton(QStringLiteral("männlich"), SexRadioGroup);
    MaleRadio->setObjectName(QStringLiteral("MaleRadio"));
    MaleRadio->setGeometry(10, 22, 80, 17);
    FemaleRadio = new QRadioButton(QStringLiteral("weiblich"), SexRadioGroup);
    FemaleRadio->setObjectName(QStringLiteral("FemaleRadio"));
    FemaleRadio->setGeometry(96, 22, 80, 17);
    sexButtons_ = new QButtonGroup(this);
    sexButtons_->addButton(MaleRadio, 0);
    sexButtons_->addButton(FemaleRadio, 1);

    PreNameEdit = LabelledEdit(this, QStringLiteral("Vorname:"), QStringLiteral("PreNameEdit"), 208, 280, 8, 121);
    LastNameEdit = LabelledEdit(this, QStringLiteral("Nachnahme:"), QStringLiteral("LastNameEdit"), 208, 280, 34, 121);

    LocationEdit = LabelledEdit(this, QStringLiteral("Wohnort:"), QStringLiteral("LocationEdit"), 8, 80, 68, 113);
    HairColorEdit = LabelledEdit(this, QStringLiteral("Haarfarbe:"), QStringLiteral("HairColorEdit"), 8, 80, 96, 113);
    EyeColorEdit = LabelledEdit(this, QStringLiteral("Augenfarbe:"), QStringLiteral("EyeColorEdit"), 8, 80, 124, 113);
    WeightEdit = LabelledEdit(this, QStringLiteral("Gewicht:"), QStringLiteral("WeightEdit"), 8, 80, 152, 113);

    AgeEdit = LabelledEdit(this, QStringLiteral("Alter:"), QStringLiteral("AgeEdit"), 208, 280, 68, 121);
    SizeEdit = LabelledEdit(this, QStringLiteral("Größe:"), QStringLiteral("SizeEdit"), 208, 280, 96, 121);
    FigureEdit = LabelledEdit(this, QStringLiteral("Figure:"), QStringLiteral("FigureEdit"), 208, 280, 124, 121);
    PicButton = MakeButton(this, QStringLiteral("Foto"), QStringLiteral("PicButton"), {280, 152, 75, 21});

    HobbyEdit = LabelledEdit(this, QStringLiteral("Hobbies:"), QStringLiteral("HobbyEdit"), 8, 80, 192, 321);

    CancelButton = MakeButton(this, QStringLiteral("&Abbrechen"), QStringLiteral("CancelButton"), {8, 232, 75, 21});
    GenerateButton = MakeButton(this, QStringLiteral("&Generieren"), QStringLiteral("GenerateButton"), {168, 232, 75, 21});
    ApplyButton = MakeButton(this, QStringLiteral("Ü&bernehmen"), QStringLiteral("ApplyButton"), {329, 232, 75, 21});

    const QWidget* order[] = {PreNameEdit, LastNameEdit, CancelButton, ApplyButton, GenerateButton,
                              MaleRadio,   FemaleRadio,  LocationEdit, AgeEdit,     HairColorEdit,
                              SizeEdit,    FigureEdit,   EyeColorEdit, WeightEdit,  PicButton,
                              HobbyEdit};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));

    connect(ApplyButton, &QPushButton::clicked, this, &TPersonDataOptionsForm::ApplyButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TPersonDataOptionsForm::CancelButtonClick);
    connect(PicButton, &QPushButton::clicked, this, &TPersonDataOptionsForm::PicButtonClick);
    connect(GenerateButton, &QPushButton::clicked, this, &TPersonDataOptionsForm::GenerateButtonClick);
}

void TPersonDataOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    PreNameEdit->setFocus();  // each showing starts at the first control of the tab order
}

int TPersonDataOptionsForm::SexIndex() const { return sexButtons_->checkedId(); }

void TPersonDataOptionsForm::SetSexIndex(int index) {
    index = std::clamp(index, -1, 1);
    if (index >= 0) {
        sexButtons_->button(index)->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last checked button by itself.
    sexButtons_->setExclusive(false);
    MaleRadio->setChecked(false);
    FemaleRadio->setChecked(false);
    sexButtons_->setExclusive(true);
}

void TPersonDataOptionsForm::FormShow() {
    // A Sex that is no number stops the loading after the two names; the
    // dialog still opens, with the error on top of it.
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        PreNameEdit->setText(ToQt(profile.ReadValue("PersonData", "PreName", "Tovik")));
        LastNameEdit->setText(ToQt(profile.ReadValue("PersonData", "LastName", "B0T")));
        SetSexIndex(StrToInt(profile.ReadValue("PersonData", "Sex", "0")));
        LocationEdit->setText(ToQt(profile.ReadValue("PersonData", "Location", "IRC")));
        AgeEdit->setText(ToQt(profile.ReadValue("PersonData", "Age", "18")));
        SizeEdit->setText(ToQt(profile.ReadValue("PersonData", "Size", "1,70")));
        FigureEdit->setText(ToQt(profile.ReadValue("PersonData", "Figure", "schlank")));
        HairColorEdit->setText(ToQt(profile.ReadValue("PersonData", "HairColor", "blond")));
        EyeColorEdit->setText(ToQt(profile.ReadValue("PersonData", "EyeColor", "blau")));
        WeightEdit->setText(ToQt(profile.ReadValue("PersonData", "Weight", "65")));
        pictureFile_ = profile.ReadValue("PersonData", "Picture", "");
        HobbyEdit->setText(
            ToQt(profile.ReadValue("PersonData", "Hobbies", "lesen, tanzen, disco, freunde und compuer")));
    });
}

void TPersonDataOptionsForm::ApplyButtonClick() {
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        profile.WriteValue("PersonData", "PreName", FromQt(PreNameEdit->text()));
        profile.WriteValue("PersonData", "LastName", FromQt(LastNameEdit->text()));
        profile.WriteValue("PersonData", "Sex", std::to_string(SexIndex()));
        profile.WriteValue("PersonData", "Location", FromQt(LocationEdit->text()));
        profile.WriteValue("PersonData", "Age", FromQt(AgeEdit->text()));
        profile.WriteValue("PersonData", "Size", FromQt(SizeEdit->text()));
        profile.WriteValue("PersonData", "Figure", FromQt(FigureEdit->text()));
        profile.WriteValue("PersonData", "HairColor", FromQt(HairColorEdit->text()));
        profile.WriteValue("PersonData", "EyeColor", FromQt(EyeColorEdit->text()));
        profile.WriteValue("PersonData", "Weight", FromQt(WeightEdit->text()));
        profile.WriteValue("PersonData", "Picture", pictureFile_);
        profile.WriteValue("PersonData", "Hobbies", FromQt(HobbyEdit->text()));
        accept();
    });
}

void TPersonDataOptionsForm::CancelButtonClick() { reject(); }

void TPersonDataOptionsForm::PicButtonClick() {
    reporter_.Guard([&] {
        const QString chosen = prompts_.OpenFile(this, QStringLiteral("Foto"),
                                                 QFile::decodeName(QByteArray::fromStdString(context_.ProgramDirectory())),
                                                 PictureFilters());
        if (chosen.isEmpty()) return;
        // Stored as Windows-1252 text like every other value; whoever opens
        // the file turns it back into its UTF-8 name. A path with characters
        // Windows-1252 lacks would be stored with '?' and never found again.
        const std::string path = FromQt(chosen);
        if (ToQt(path) != chosen) {
            prompts_.Error(QStringLiteral("Fehler"),
                           QStringLiteral("Der Pfad \"%1\" enthält Zeichen, die im Profil nicht gespeichert "
                                          "werden können. Bitte wählen Sie ein Foto, dessen Pfad nur "
                                          "westeuropäische Zeichen enthält.").arg(chosen));
            return;
        }
        pictureFile_ = path;
    });
}

void TPersonDataOptionsForm::GenerateButtonClick() {
    reporter_.Guard([&] {
        const GeneratedPersona persona = GeneratePersona(random_);
        SetSexIndex(persona.sex);
        PreNameEdit->setText(ToQt(persona.preName));
        LastNameEdit->setText(ToQt(persona.lastName));
        LocationEdit->setText(ToQt(persona.location));
        AgeEdit->setText(ToQt(persona.age));
        HairColorEdit->setText(ToQt(persona.hairColor));
        EyeColorEdit->setText(ToQt(persona.eyeColor));
        SizeEdit->setText(ToQt(persona.size));
        FigureEdit->setText(ToQt(persona.figure));
        WeightEdit->setText(ToQt(persona.weight));
        pictureFile_.clear();
        HobbyEdit->setText(ToQt(persona.hobbies));
    });
}

}  // namespace tovik
