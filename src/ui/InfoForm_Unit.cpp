#include "ui/InfoForm_Unit.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "bot/channel/Credits.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"

namespace tovik {
namespace {

QLabel* BoldLabel(QWidget* parent, const QString& text, int pixelHeight, QRect place) {
    QLabel* label = MakeLabel(parent, text, place);
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(pixelHeight);
    label->setFont(font);
    return label;
}

}  // namespace

TInfoForm::TInfoForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("InfoForm"));
    MakeFixedDialog(this, QStringLiteral("--] Information [--"), 417, 156);

    NameLabel = BoldLabel(this, ToQt(kProgramName), 40, {8, 4, 0, 48});
    NameLabel->setObjectName(QStringLiteral("NameLabel"));
    NameLabel->resize(QFontMetrics(NameLabel->font()).horizontalAdvance(NameLabel->text()) + 4, 48);
    // The notice stands right of the name and wraps if the font in use is
    // too wide for one line.
    const int creditX = NameLabel->geometry().right() + 6;
    CreditLabel = BoldLabel(this, ToQt(kCreditNotice), 19, {creditX, 6, 417 - 4 - creditX, 48});
    CreditLabel->setObjectName(QStringLiteral("CreditLabel"));
    CreditLabel->setWordWrap(true);
    VersionLabel = BoldLabel(this, QStringLiteral("Version: "), 11, {10, 54, 200, 16});
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));

    Kontakt = new QGroupBox(QStringLiteral("Kontakt"), this);
    Kontakt->setObjectName(QStringLiteral("Kontakt"));
    Kontakt->setGeometry(8, 91, 233, 57);
    ContactLabel = BoldLabel(Kontakt, QStringLiteral("team@tovik-bot.example"), 13, {10, 24, 215, 20});
    ContactLabel->setObjectName(QStringLiteral("ContactLabel"));
    ContactLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    CloseButton = MakeButton(this, QStringLiteral("&Schließen"), QStringLiteral("CloseButton"), {334, 127, 75, 21});
    connect(CloseButton, &QPushButton::clicked, this, &TInfoForm::CloseButtonClick);
}

void TInfoForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TInfoForm::FormShow() { VersionLabel->setText(QStringLiteral("Version: ") + ToQt(kVersion)); }

void TInfoForm::CloseButtonClick() { accept(); }

}  // namespace tovik
