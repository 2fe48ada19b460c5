#include "ui/ProfileForm_Unit.h"

#include <unistd.h>

#include <QCollator>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <tuple>
#include <vector>

#include "app/ProfileSession.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "ui/ErrorReporter.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"
#include "ui/UserPrompts.h"

namespace tovik {
namespace {

constexpr int kNameRole = Qt::UserRole;      // the entry's profile name as Windows-1252 bytes
constexpr int kStemRole = Qt::UserRole + 1;  // its file's name without ".ini", the system's bytes

// How an entry reads in the list: its name, or where Windows-1252 cannot
// spell the file's name, that name as the file system holds it.
QString Shown(const ProfileEntry& entry) {
    return entry.Spelled() ? ToQt(entry.name) : QFile::decodeName(QByteArray::fromStdString(entry.Stem()));
}

}  // namespace

TProfileForm::TProfileForm(ProfileSession& session, ProfileHost& host, UserPrompts& prompts,
                           ErrorReporter& reporter, QWidget* parent)
    : QDialog(parent),
      session_(session),
      context_(session.Context()),
      host_(host),
      prompts_(prompts),
      reporter_(reporter) {
    setObjectName(QStringLiteral("ProfileForm"));
    MakeFixedDialog(this, QStringLiteral("--] Profil [--"), 322, 138);

    ProfileListBox = new QListWidget(this);
    ProfileListBox->setObjectName(QStringLiteral("ProfileListBox"));
    ProfileListBox->setGeometry(8, 8, 225, 97);
    ProfileListBox->setAccessibleName(QStringLiteral("Profile"));
    ProfileEdit = MakeEdit(this, QStringLiteral("ProfileEdit"), {8, 109, 225, 21}, QStringLiteral("Profilname"));
    CreateButton = MakeButton(this, QStringLiteral("&Anlegen"), QStringLiteral("CreateButton"), {240, 8, 75, 21});
    LoadButton = MakeButton(this, QStringLiteral("&Laden"), QStringLiteral("LoadButton"), {240, 36, 75, 21});
    DeleteButton = MakeButton(this, QStringLiteral("Lö&schen"), QStringLiteral("DeleteButton"), {240, 64, 75, 21});
    CancelButton = MakeButton(this, QStringLiteral("A&bbrechen"), QStringLiteral("CancelButton"), {240, 109, 75, 21});
    LoadButton->setEnabled(false);
    CreateButton->setEnabled(false);
    DeleteButton->setEnabled(false);

    setTabOrder(ProfileListBox, ProfileEdit);
    setTabOrder(ProfileEdit, LoadButton);
    setTabOrder(LoadButton, CreateButton);
    setTabOrder(CreateButton, DeleteButton);
    setTabOrder(DeleteButton, CancelButton);

    connect(ProfileListBox, &QListWidget::itemSelectionChanged, this, &TProfileForm::ProfileListBoxClick);
    connect(ProfileListBox, &QListWidget::itemDoubleClicked, this, &TProfileForm::ProfileListBoxDblClick);
    connect(ProfileEdit, &QLineEdit::textChanged, this, &TProfileForm::ProfileEditChange);
    connect(CreateButton, &QPushButton::clicked, this, &TProfileForm::CreateButtonClick);
    connect(LoadButton, &QPushButton::clicked, this, &TProfileForm::LoadButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TProfileForm::DeleteButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TProfileForm::CancelButtonClick);
    // finished comes on every end: load, create, cancel and the close box.
    connect(this, &QDialog::finished, this, &TProfileForm::FormClose);
}

void TProfileForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    ProfileListBox->setFocus();  // each showing starts at the first control of the tab order
}

void TProfileForm::keyPressEvent(QKeyEvent* event) {
    // No button answers the keyboard's cancel key; only the close box and
    // "A&bbrechen" close the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TProfileForm::FormShow() {
    reporter_.Guard([&] { ListProfiles(); });
}

void TProfileForm::ListProfiles() {
    ProfileListBox->clear();
    ProfileEdit->clear();
    std::vector<ProfileEntry> found;
    // The working directory moves into the profiles directory and stays
    // there; every path the program builds starts from the program
    // directory, so nothing depends on it.
    if (::chdir(context_.ProfilesDirectory().c_str()) == 0) found = context_.ListProfiles();
    // Sorted as a German reader looks names up, without regard to case:
    // "Ärger" stands among the A names, not after "Zebra". Names that differ
    // only in case keep a fixed order.
    QCollator collator(QLocale(QLocale::German, QLocale::Germany));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QString, ProfileEntry>> entries;
    entries.reserve(found.size());
    for (ProfileEntry& entry : found) entries.emplace_back(Shown(entry), std::move(entry));
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        const int order = collator.compare(a.first, b.first);
        if (order != 0) return order < 0;
        return std::tie(a.second.name, a.second.file) < std::tie(b.second.name, b.second.file);
    });
    for (const auto& [shown, entry] : entries) {
        auto* item = new QListWidgetItem(shown, ProfileListBox);
        item->setData(kNameRole, QByteArray::fromStdString(entry.name));
        item->setData(kStemRole, QByteArray::fromStdString(entry.Stem()));
    }
    ProfileListBox->setEnabled(!entries.empty());
    if (entries.empty()) ProfileListBox->addItem(QStringLiteral("Keine Profile gefunden..."));
}

void TProfileForm::ProfileEditChange() {
    const bool any = !ProfileEdit->text().isEmpty();
    CreateButton->setEnabled(any);
    LoadButton->setEnabled(any);
    DeleteButton->setEnabled(any);
}

void TProfileForm::ProfileListBoxClick() {
    if (!ProfileListBox->isEnabled()) return;
    if (QListWidgetItem* item = ProfileListBox->currentItem(); item && item->isSelected())
        ProfileEdit->setText(item->text());
}

void TProfileForm::ProfileListBoxDblClick() {
    if (!ProfileListBox->isEnabled()) return;
    LoadButtonClick();
}

TProfileForm::Named TProfileForm::NamedInEdit() const {
    const QString text = ProfileEdit->text();
    Named named{FromQt(text), {}, text};
    // An entry picked from the list is its file, even where the name shown
    // cannot be typed back into the file's name.
    const QListWidgetItem* item = ProfileListBox->currentItem();
    if (ProfileListBox->isEnabled() && item != nullptr && item->isSelected() && item->text() == text) {
        named.stem = item->data(kStemRole).toByteArray().toStdString();
    } else {
        named.stem = QFile::encodeName(text).toStdString();
    }
    return named;
}

void TProfileForm::SetStatusToProfile(const Named& profile) {
    host_.SetProfileStatus(QStringLiteral("Profil: ") + profile.shown);
}

void TProfileForm::CreateButtonClick() {
    reporter_.Guard([&] { CreateProfile(); });
}

bool TProfileForm::RefuseBadName(const Named& profile) {
    const auto problem = ProfileNameProblem(profile.name, profile.stem);
    if (problem) prompts_.Error(QStringLiteral("Fehler"), ToQt(*problem));
    return problem.has_value();
}

bool TProfileForm::Claim(const Named& profile, ProfileLock& lock, bool mustExist) {
    try {
        lock = session_.Claim(profile.name, profile.stem, mustExist);
        return true;
    } catch (const ProfileRefused& refusal) {
        prompts_.Error(QStringLiteral("Fehler"), ToQt(refusal.what()));
        return false;
    }
}

void TProfileForm::CreateProfile() {
    const Named profile = NamedInEdit();
    // Refused before the question: a profile another copy runs is never emptied.
    ProfileLock lock;
    if (!Claim(profile, lock)) return;

    const std::string lowered = LowerAnsi(profile.name);
    for (int row = 0; row < ProfileListBox->count(); ++row) {
        const QVariant entry = ProfileListBox->item(row)->data(kNameRole);
        if (!entry.isValid() || LowerAnsi(entry.toByteArray().toStdString()) != lowered) continue;
        // Overwriting empties the profile, so Enter answers No.
        if (!prompts_.Question(QStringLiteral("Profil existiert bereits..."),
                               QStringLiteral("Das Profil existiert bereits. Möchten Sie das "
                                              "vorhandene Profil überschreiben?"),
                               false))
            return;
    }

    context_.CreateProfile(profile.stem);
    session_.Adopt(profile.name, profile.stem, std::move(lock));
    SetStatusToProfile(profile);
    accept();
}

bool TProfileForm::Load(const Named& profile, bool mustExist) {
    ProfileLock lock;
    if (!Claim(profile, lock, mustExist)) return false;
    session_.Adopt(profile.name, profile.stem, std::move(lock));
    SetStatusToProfile(profile);
    accept();
    return true;
}

void TProfileForm::LoadButtonClick() { Load(NamedInEdit(), false); }

bool TProfileForm::LoadAtStart(const std::string& stem) {
    return Load({PathFromNative(stem), stem, QFile::decodeName(QByteArray::fromStdString(stem))}, true);
}

void TProfileForm::DeleteButtonClick() {
    reporter_.Guard([&] {
        const Named profile = NamedInEdit();
        if (RefuseBadName(profile)) return;
        if (!context_.DeleteProfile(profile.stem)) {
            prompts_.Error(QStringLiteral("Fehler"), QStringLiteral("Das Profil existiert nicht !!"));
            return;
        }
        ListProfiles();
        session_.Drop();
        host_.SetProfileStatus(QStringLiteral("Profil: [kein Profil geladen ...]"));
    });
}

void TProfileForm::CancelButtonClick() { reject(); }

void TProfileForm::FormClose() {
    host_.SetProfileControlsEnabled(!context_.CurrentProfile().empty());
}

}  // namespace tovik
