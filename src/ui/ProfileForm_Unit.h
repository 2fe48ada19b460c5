#pragma once
// The profile manager: lists, creates, loads and deletes profiles. It is the
// only place where the current profile is set, and closing it unlocks the
// settings menu and "&Online" in the main window.

#include <QDialog>
#include <QString>
#include <string>

#include "profile/ProfileStore.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tovik {

class ErrorReporter;
class ProfileLock;
class ProfileSession;
class UserPrompts;

// What the profile manager changes in the main window.
class ProfileHost {
public:
    virtual ~ProfileHost() = default;
    virtual void SetProfileStatus(const QString& text) = 0;
    // "&Einstellungen" and "&Online" together.
    virtual void SetProfileControlsEnabled(bool enabled) = 0;
};

class TProfileForm : public QDialog {
    Q_OBJECT
public:
    // Profiles are loaded, created and given up through the session, the
    // one road the bot without a window takes as well.
    TProfileForm(ProfileSession& session, ProfileHost& host, UserPrompts& prompts,
                 ErrorReporter& reporter, QWidget* parent = nullptr);

    void FormShow();
    void ListProfiles();
    void ProfileListBoxClick();
    void ProfileListBoxDblClick();
    void ProfileEditChange();
    void CreateButtonClick();
    void LoadButtonClick();
    void DeleteButtonClick();
    void CancelButtonClick();
    void FormClose();
    // --profile: loads the profile whose file's name without ".ini" is
    // `stem` (the operating system's bytes) as "&Laden" does, but as strictly
    // as the bot without a window: a name without a profile file is refused.
    // False, after saying why, when it is not loaded.
    bool LoadAtStart(const std::string& stem);

    QListWidget* ProfileListBox = nullptr;
    QLineEdit* ProfileEdit = nullptr;
    QPushButton* LoadButton = nullptr;
    QPushButton* CreateButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The profile that the name field names.
    struct Named {
        std::string name;  // Windows-1252
        std::string stem;  // its file's name without ".ini", the system's bytes
        QString shown;     // as the field shows it
    };
    Named NamedInEdit() const;
    // Shows why the name cannot be a profile and returns true, before any
    // file is touched; false for a usable name.
    bool RefuseBadName(const Named& profile);
    // Takes the profile's lock into `lock`; false, after saying why, when
    // it cannot be had (another copy has the profile loaded, say).
    bool Claim(const Named& profile, ProfileLock& lock, bool mustExist = false);
    bool Load(const Named& profile, bool mustExist);
    void CreateProfile();
    void SetStatusToProfile(const Named& profile);

    ProfileSession& session_;
    ProfileContext& context_;
    ProfileHost& host_;
    UserPrompts& prompts_;
    ErrorReporter& reporter_;
};

}  // namespace tovik
