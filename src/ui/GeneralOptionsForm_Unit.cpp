#include "ui/GeneralOptionsForm_Unit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "profile/ProfileStore.h"
#include "ui/ErrorReporter.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"

namespace tovik {

TGeneralOptionsForm::TGeneralOptionsForm(ProfileContext& context, ErrorReporter& reporter, QWidget* parent)
    : QDialog(parent), context_(context), reporter_(reporter) {
    setObjectName(QStringLiteral("GeneralOptionsForm"));
    MakeFixedDialog(this, QStringLiteral("--] Allgemeine Einstellungen [--"), 426, 74);

    MakeLabel(this, QStringLiteral("Schreibgeschwindigkeit:"), {8, 12, 118, 16});
    CharTimeEdit = MakeEdit(this, QStringLiteral("CharTimeEdit"), {128, 10, 33, 21},
                            QStringLiteral("Schreibgeschwindigkeit"));
    MakeLabel(this, QStringLiteral("ms pro Buchstabe"), {166, 12, 88, 16});
    MakeLabel(this, QStringLiteral("(nur bei bot-eigenen Nachrichten)"), {256, 12, 164, 16});
    CancelButton = MakeButton(this, QStringLiteral("&Abbrechen"), QStringLiteral("CancelButton"), {8, 44, 75, 21});
    ApplyButton = MakeButton(this, QStringLiteral("Ü&bernehmen"), QStringLiteral("ApplyButton"), {343, 44, 75, 21});

    setTabOrder(CancelButton, ApplyButton);
    setTabOrder(ApplyButton, CharTimeEdit);

    connect(ApplyButton, &QPushButton::clicked, this, &TGeneralOptionsForm::ApplyButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TGeneralOptionsForm::CancelButtonClick);
}

void TGeneralOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TGeneralOptionsForm::FormShow() {
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        CharTimeEdit->setText(ToQt(profile.ReadValue("General", "CharTime", "500")));
    });
}

void TGeneralOptionsForm::ApplyButtonClick() {
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        profile.WriteValue("General", "CharTime", FromQt(CharTimeEdit->text()));
        accept();
    });
}

void TGeneralOptionsForm::CancelButtonClick() { reject(); }

}  // namespace tovik
