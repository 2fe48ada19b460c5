#include "ui/GeneralOptionsForm_Unit.h"

#include <QFontMetrics>
#include <QLabel>
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

    // One row of text around the field, placed by the font's real widths:
    // where Tahoma is missing the fallback font runs wider, and the last
    // note then wraps into two lines instead of being cut off.
    const QFontMetrics metrics(font());
    auto widthOf = [&](const QString& text) { return metrics.horizontalAdvance(text) + 4; };
    const QString speed = QStringLiteral("Schreibgeschwindigkeit:");
    const QString unit = QStringLiteral("ms pro Buchstabe");
    int x = 8;
    QLabel* speedLabel = MakeLabel(this, speed, {x, 12, widthOf(speed), 16});
    x += widthOf(speed) + 2;
    CharTimeEdit = MakeEdit(this, QStringLiteral("CharTimeEdit"), {x, 10, 33, 21},
                            QStringLiteral("Schreibgeschwindigkeit"));
    speedLabel->setBuddy(CharTimeEdit);
    x += 33 + 4;
    MakeLabel(this, unit, {x, 12, widthOf(unit), 16});
    x += widthOf(unit) + 4;
    QLabel* note = MakeLabel(this, QStringLiteral("(nur bei bot-eigenen Nachrichten)"), {x, 4, 426 - 4 - x, 32});
    note->setWordWrap(true);
    CancelButton = MakeButton(this, QStringLiteral("&Abbrechen"), QStringLiteral("CancelButton"), {8, 44, 75, 21});
    ApplyButton = MakeButton(this, QStringLiteral("Ü&bernehmen"), QStringLiteral("ApplyButton"), {343, 44, 75, 21});

    setTabOrder(CancelButton, ApplyButton);
    setTabOrder(ApplyButton, CharTimeEdit);

    connect(ApplyButton, &QPushButton::clicked, this, &TGeneralOptionsForm::ApplyButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TGeneralOptionsForm::CancelButtonClick);
}

void TGeneralOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    CancelButton->setFocus();  // each showing starts at the first control of the tab order
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
