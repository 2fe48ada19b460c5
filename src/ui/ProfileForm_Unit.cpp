#include "ui/ProfileForm_Unit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "ui/ErrorReporter.h"
#include "ui/FormStyle.h"
#include "ui/TextConvert.h"
#include "ui/UserPrompts.h"

namespace tovik {
namespace {

constexpr int kNameRole = Qt::UserRole;  // the entry's profile name as Windows-1252 bytes

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Every entry of the working directory whose name ends in ".ini" (in any
// case), directories and hidden entries included, as Windows-1252 names.
std::vector<std::string> IniEntriesOfCwd() {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("."), &::closedir);
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() < 4 || LowerAnsi(name.substr(name.size() - 4)) != ".ini") continue;
        names.push_back(PathFromNative(name.substr(0, name.size() - 4)));
    }
    return names;
}

}  // namespace

TProfileForm::TProfileForm(ProfileContext& context, ProfileHost& host, UserPrompts& prompts,
                           ErrorReporter& reporter, QWidget* parent)
    : QDialog(parent), context_(context), host_(host), prompts_(prompts), reporter_(reporter) {
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
    std::vector<std::string> names;
    const std::string dir = context_.ProfilesDirectory();
    // The working directory moves into the profiles directory and stays
    // there; every path the program builds starts from the program
    // directory, so nothing depends on it.
    if (IsDirectory(dir) && ::chdir(NativePath(dir).c_str()) == 0) names = IniEntriesOfCwd();
    // Sorted as a German reader looks names up, without regard to case:
    // "Ärger" stands among the A names, not after "Zebra". Names that differ
    // only in case keep a fixed order.
    QCollator collator(QLocale(QLocale::German, QLocale::Germany));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QString, std::string>> entries;
    entries.reserve(names.size());
    for (std::string& name : names) entries.emplace_back(ToQt(name), std::move(name));
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        const int order = collator.compare(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (const auto& [shown, name] : entries) {
        auto* item = new QListWidgetItem(shown, ProfileListBox);
        item->setData(kNameRole, QByteArray::fromStdString(name));
    }
    ProfileListBox->setEnabled(!names.empty());
    if (names.empty()) ProfileListBox->addItem(QStringLiteral("Keine Profile gefunden..."));
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

std::string TProfileForm::NameFromEdit() const { return FromQt(ProfileEdit->text()); }

void TProfileForm::SetStatusToProfile(const std::string& name) {
    host_.SetProfileStatus(QStringLiteral("Profil: ") + ToQt(name));
}

void TProfileForm::CreateButtonClick() {
    reporter_.Guard([&] { CreateProfile(); });
}

bool TProfileForm::RefuseBadName(const std::string& name) {
    const auto problem = ProfileNameProblem(name);
    if (problem) prompts_.Error(QStringLiteral("Fehler"), ToQt(*problem));
    return problem.has_value();
}

void TProfileForm::CreateProfile() {
    const std::string name = NameFromEdit();
    if (RefuseBadName(name)) return;
    ::mkdir(NativePath(context_.ProfilesDirectory()).c_str(), 0777);  // a failure shows when the file is created

    const std::string lowered = LowerAnsi(name);
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

    const std::string path = context_.ProfileFileOf(name);
    const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw FileError(errno, path);
    ::close(fd);

    context_.SetCurrentProfile(name);
    SetStatusToProfile(name);
    host_.CurrentProfileChanged();
    accept();
}

void TProfileForm::LoadButtonClick() {
    const std::string name = NameFromEdit();
    if (RefuseBadName(name)) return;
    context_.SetCurrentProfile(name);
    SetStatusToProfile(name);
    host_.CurrentProfileChanged();
    accept();
}

void TProfileForm::DeleteButtonClick() {
    reporter_.Guard([&] {
        const std::string name = NameFromEdit();
        if (RefuseBadName(name)) return;
        const std::string path = context_.ProfileFileOf(name);
        if (!IsFile(path)) {
            prompts_.Error(QStringLiteral("Fehler"), QStringLiteral("Das Profil existiert nicht !!"));
            return;
        }
        ::unlink(NativePath(path).c_str());
        ListProfiles();
        context_.SetCurrentProfile({});
        host_.SetProfileStatus(QStringLiteral("Profil: [kein Profil geladen ...]"));
    });
}

void TProfileForm::CancelButtonClick() { reject(); }

void TProfileForm::FormClose() {
    host_.SetProfileControlsEnabled(!context_.CurrentProfile().empty());
}

}  // namespace tovik
