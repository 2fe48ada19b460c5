#include "ui/IRCOptions_Unit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <string>

#include "profile/ProfileStore.h"
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
    MakeFixedDialog(this, QStringLiteral("--] IRC Einstellungen [--"), 353, 123);

    QLabel* serverLabel = MakeLabel(this, QStringLiteral("IRC Server:"), {8, 12, 92, 16});
    IRCServerComboBox = new QComboBox(this);
    IRCServerComboBox->setObjectName(QStringLiteral("IRCServerComboBox"));
    IRCServerComboBox->setGeometry(104, 8, 145, 21);
    IRCServerComboBox->setEditable(true);
    // Typing a host does not add it to the list; the list stays the six.
    IRCServerComboBox->setInsertPolicy(QComboBox::NoInsert);
    IRCServerComboBox->addItems(KnownServers());
    IRCServerComboBox->setAccessibleName(QStringLiteral("IRC Server"));
    serverLabel->setBuddy(IRCServerComboBox);

    QLabel* portLabel = MakeLabel(this, QStringLiteral("Port:"), {258, 12, 28, 16});
    IRCPortEdit = MakeEdit(this, QStringLiteral("IRCPortEdit"), {288, 8, 57, 21}, QStringLiteral("Port"));
    portLabel->setBuddy(IRCPortEdit);
    QLabel* channelLabel = MakeLabel(this, QStringLiteral("Kommando-Channel:"), {8, 40, 92, 16});
    ComChannelEdit = MakeEdit(this, QStringLiteral("ComChannelEdit"), {104, 36, 241, 21},
                              QStringLiteral("Kommando-Channel"));
    channelLabel->setBuddy(ComChannelEdit);
    QLabel* nickLabel = MakeLabel(this, QStringLiteral("B0T Nickname:"), {8, 68, 92, 16});
    BotNickEdit = MakeEdit(this, QStringLiteral("BotNickEdit"), {104, 64, 241, 21}, QStringLiteral("B0T Nickname"));
    nickLabel->setBuddy(BotNickEdit);

    CancelButton = MakeButton(this, QStringLiteral("&Abbrechen"), QStringLiteral("CancelButton"), {8, 94, 75, 21});
    ApplyButton = MakeButton(this, QStringLiteral("Ü&bernehmen"), QStringLiteral("ApplyButton"), {270, 94, 75, 21});

    setTabOrder(IRCServerComboBox, IRCPortEdit);
    setTabOrder(IRCPortEdit, CancelButton);
    setTabOrder(CancelButton, ApplyButton);
    setTabOrder(ApplyButton, ComChannelEdit);
    setTabOrder(ComChannelEdit, BotNickEdit);

    connect(ApplyButton, &QPushButton::clicked, this, &TIRCOptionsForm::ApplyButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TIRCOptionsForm::CancelButtonClick);
}

void TIRCOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
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
    });
}

void TIRCOptionsForm::ApplyButtonClick() {
    reporter_.Guard([&] {
        ProfileFile profile(context_.ProfilePath());
        profile.WriteValue("IRC", "Server", FromQt(IRCServerComboBox->currentText()));
        profile.WriteValue("IRC", "Port", FromQt(IRCPortEdit->text()));
        profile.WriteValue("IRC", "CommandoChannel", FromQt(ComChannelEdit->text()));
        profile.WriteValue("IRC", "BotNick", FromQt(BotNickEdit->text()));
        accept();
    });
}

void TIRCOptionsForm::CancelButtonClick() { reject(); }

}  // namespace tovik
