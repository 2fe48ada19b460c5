#include "ui/IRCOptions_Unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>
#include <string>

#include "profile/ProfileStore.h"
#include "text/Errors.h"
#include "text/Literal.h"
#include "ui/ErrorReporter.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"

namespace tovik {

QStringList TIRCOptionsForm::KnownServers() {
    QStringList servers{QStringLiteral("irc.libera.chat"), QStringLiteral("irc.oftc.net"),
                        QStringLiteral("irc.quakenet.org"), QStringLiteral("irc.euirc.net"),
                        QStringLiteral("irc.rizon.net"), QStringLiteral("irc.undernet.org")};
    servers.sort(Qt::CaseInsensitive);
    return servers;
}

TIRCOptionsForm::TIRCOptionsForm(ProfileContext& context, ErrorReporter& reporter, QWidget* parent)
    : QDialog(parent), context_(context), reporter_(reporter) {
    setObjectName(QStringLiteral("IRCOptionsForm"));
    MakeFixedDialog(this, QStringLiteral("--] IRC Einstellungen [--"), 353, 235);

    // The caption column is as wide as its longest caption in the font in
    // use; the fields fill the rest of the row.
    const QFontMetrics metrics(font());
    const QString captions[] = {QStringLiteral("IRC Server:"), QStringLiteral("Kommando-Channel:"),
                                QStringLiteral("B0T Nickname:"), QStringLiteral("&Konto:"),
                                QStringLiteral("Pass&wort:"),     QStringLiteral("Eigene Adr&esse:"),
                                QStringLiteral("DCC-P&ort:")};
    int captionWidth = 0;
    for (const QString& c : captions) captionWidth = std::max(captionWidth, metrics.horizontalAdvance(c) + 4);
    const int fieldX = 8 + captionWidth + 4;
    const int portWidth = metrics.horizontalAdvance(QStringLiteral("Port:")) + 4;
    const int portX = 353 - 8 - 57;
    const int portLabelX = portX - 4 - portWidth;

    QLabel* serverLabel = MakeLabel(this, captions[0], {8, 12, captionWidth, 16});
    IRCServerComboBox = new QComboBox(this);
    IRCServerComboBox->setObjectName(QStringLiteral("IRCServerComboBox"));
    IRCServerComboBox->setGeometry(fieldX, 8, portLabelX - 6 - fieldX, 21);
    IRCServerComboBox->setEditable(true);
    // Typing a host does not add it to the list; the list stays the six.
    IRCServerComboBox->setInsertPolicy(QComboBox::NoInsert);
    IRCServerComboBox->addItems(KnownServers());
    IRCServerComboBox->setAccessibleName(QStringLiteral("IRC Server"));
    serverLabel->setBuddy(IRCServerComboBox);

    QLabel* portLabel = MakeLabel(this, QStringLiteral("Port:"), {portLabelX, 12, portWidth, 16});
    IRCPortEdit = MakeEdit(this, QStringLiteral("IRCPortEdit"), {portX, 8, 57, 21}, QStringLiteral("Port"));
    portLabel->setBuddy(IRCPortEdit);
    QLabel* channelLabel = MakeLabel(this, captions[1], {8, 40, captionWidth, 16});
    ComChannelEdit = MakeEdit(this, QStringLiteral("ComChannelEdit"), {fieldX, 36, 345 - fieldX, 21},
                              QStringLiteral("Kommando-Channel"));
    channelLabel->setBuddy(ComChannelEdit);
    QLabel* nickLabel = MakeLabel(this, captions[2], {8, 68, captionWidth, 16});
    BotNickEdit = MakeEdit(this, QStringLiteral("BotNickEdit"), {fieldX, 64, 345 - fieldX, 21},
                           QStringLiteral("B0T Nickname"));
    nickLabel->setBuddy(BotNickEdit);
    // The account the server logs the bot in to (SASL), below the rest, so
    // that nothing the operator knows moves.
    QLabel* accountLabel = MakeLabel(this, captions[3], {8, 96, captionWidth, 16});
    SASLAccountEdit = MakeEdit(this, QStringLiteral("SASLAccountEdit"), {fieldX, 92, 345 - fieldX, 21},
                               QStringLiteral("Konto"));
    accountLabel->setBuddy(SASLAccountEdit);
    QLabel* passwordLabel = MakeLabel(this, captions[4], {8, 124, captionWidth, 16});
    SASLPasswordEdit = MakeEdit(this, QStringLiteral("SASLPasswordEdit"), {fieldX, 120, 345 - fieldX, 21},
                                QStringLiteral("Passwort"));
    SASLPasswordEdit->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(SASLPasswordEdit);

    // Where partners fetch the photo from, below the rest again: the
    // address and port the DCC offers name, and the router's forward.
    QLabel* ownAddressLabel = MakeLabel(this, captions[5], {8, 152, captionWidth, 16});
    OwnAddressEdit = MakeEdit(this, QStringLiteral("OwnAddressEdit"), {fieldX, 148, 345 - fieldX, 21},
                              QStringLiteral("Eigene Adresse für das Foto"));
    OwnAddressEdit->setToolTip(QStringLiteral("Adresse oder Hostname, unter dem Partner den Bot erreichen; "
                                              "leer: wie der IRC-Server den Bot sieht"));
    ownAddressLabel->setBuddy(OwnAddressEdit);
    QLabel* dccPortLabel = MakeLabel(this, captions[6], {8, 180, captionWidth, 16});
    DCCPortEdit = MakeEdit(this, QStringLiteral("DCCPortEdit"), {fieldX, 176, 57, 21}, QStringLiteral("DCC-Port"));
    dccPortLabel->setBuddy(DCCPortEdit);
    MapPortCheckBox = new QCheckBox(QStringLiteral("Port im &Router freigeben (UPnP, NAT-PMP)"), this);
    MapPortCheckBox->setObjectName(QStringLiteral("MapPortCheckBox"));
    MapPortCheckBox->setGeometry(fieldX + 57 + 8, 177, 345 - (fieldX + 57 + 8), 19);
    MapPortCheckBox->setAccessibleName(QStringLiteral("Port im Router freigeben"));

    CancelButton = MakeButton(this, QStringLiteral("&Abbrechen"), QStringLiteral("CancelButton"), {8, 206, 75, 21});
    ApplyButton = MakeButton(this, QStringLiteral("Ü&bernehmen"), QStringLiteral("ApplyButton"), {270, 206, 75, 21});

    setTabOrder(IRCServerComboBox, IRCPortEdit);
    setTabOrder(IRCPortEdit, CancelButton);
    setTabOrder(CancelButton, ApplyButton);
    setTabOrder(ApplyButton, ComChannelEdit);
    setTabOrder(ComChannelEdit, BotNickEdit);
    setTabOrder(BotNickEdit, SASLAccountEdit);
    setTabOrder(SASLAccountEdit, SASLPasswordEdit);
    setTabOrder(SASLPasswordEdit, OwnAddressEdit);
    setTabOrder(OwnAddressEdit, DCCPortEdit);
    setTabOrder(DCCPortEdit, MapPortCheckBox);

    connect(ApplyButton, &QPushButton::clicked, this, &TIRCOptionsForm::ApplyButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TIRCOptionsForm::CancelButtonClick);
}

void TIRCOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    IRCServerComboBox->setFocus();  // each showing starts at the first control of the tab order
}

void TIRCOptionsForm::FormShow() {
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        IRCServerComboBox->setCurrentIndex(0);
        IRCServerComboBox->setEditText(ToQt(profile.ReadValue("IRC", "Server", kDefaultIrcServer)));
        IRCPortEdit->setText(ToQt(profile.ReadValue("IRC", "Port", "6667")));
        ComChannelEdit->setText(ToQt(profile.ReadValue("IRC", "CommandoChannel", "#BotCommand")));
        const std::string preName = profile.ReadValue("PersonData", "PreName", "TovikBot");
        BotNickEdit->setText(ToQt(profile.ReadValue("IRC", "BotNick", preName)));
        SASLAccountEdit->setText(ToQt(profile.ReadValue("IRC", "SASLAccount", "")));
        SASLPasswordEdit->setText(ToQt(profile.ReadValue("IRC", "SASLPassword", "")));
        shownOwnAddress_ = ToQt(profile.ReadValue("DCC", "OwnAddress", ""));
        OwnAddressEdit->setText(shownOwnAddress_);
        shownPort_ = ToQt(profile.ReadValue("DCC", "Port", "5678"));
        DCCPortEdit->setText(shownPort_);
        shownMapPort_ = StrToInt(profile.ReadValue("DCC", "MapPort", "0")) != 0;
        MapPortCheckBox->setChecked(shownMapPort_);
    });
}

using namespace literals;

namespace {

// An account or password that the profile cannot hold would be stored with
// "?" in place of a character, and the login would fail with no hint why.
void RequireCp1252(const QString& text, std::string_view field) {
    if (ToQt(FromQt(text)) == text) return;
    throw Error(std::string(field) +
                std::string(" enthält ein Zeichen, das Windows-1252 nicht kennt; gespeichert würde ein „?“ daraus, "
                            "und die Anmeldung schlüge fehl."_w1252));
}

}  // namespace

void TIRCOptionsForm::ApplyButtonClick() {
    reporter_.Guard([&] {
        RequireCp1252(SASLAccountEdit->text(), "Das Konto");
        RequireCp1252(SASLPasswordEdit->text(), "Das Passwort");
        ProfileFile profile(context_.ProfilePath());
        profile.WriteValue("IRC", "Server", FromQt(IRCServerComboBox->currentText()));
        profile.WriteValue("IRC", "Port", FromQt(IRCPortEdit->text()));
        profile.WriteValue("IRC", "CommandoChannel", FromQt(ComChannelEdit->text()));
        profile.WriteValue("IRC", "BotNick", FromQt(BotNickEdit->text()));
        profile.WriteValue("IRC", "SASLAccount", FromQt(SASLAccountEdit->text()));
        profile.WriteValue("IRC", "SASLPassword", FromQt(SASLPasswordEdit->text()));
        if (OwnAddressEdit->text() != shownOwnAddress_)
            profile.WriteValue("DCC", "OwnAddress", FromQt(OwnAddressEdit->text()));
        if (DCCPortEdit->text() != shownPort_) profile.WriteValue("DCC", "Port", FromQt(DCCPortEdit->text()));
        if (MapPortCheckBox->isChecked() != shownMapPort_)
            profile.WriteValue("DCC", "MapPort", MapPortCheckBox->isChecked() ? "1" : "0");
        accept();
    });
}

void TIRCOptionsForm::CancelButtonClick() { reject(); }

}  // namespace tovik
