#pragma once
// Shared pieces of the conversation engine tests: a profile file in a
// temporary directory and a recording photo offer.

#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chat/Answers.h"
#include "profile/ProfileStore.h"
#include "TestSupport.h"

namespace tovik::test {

class TempProfile {
public:
    TempProfile() : path_(dir_.path().toStdString() + "/persona.ini"), file_(path_) {}

    // Writes the profile's whole content (INI text, Windows-1252 bytes).
    void Set(std::string_view ini) { WriteFileBytes(path_, ini); }
    // "[PersonData]\r\n" followed by the given key lines.
    void SetPersonData(std::string_view lines) { Set("[PersonData]\r\n" + std::string(lines)); }

    std::string Dir() const { return dir_.path().toStdString(); }
    const ProfileFile& File() const { return file_; }

private:
    QTemporaryDir dir_;
    std::string path_;
    ProfileFile file_;
};

class FakePhotoOffer : public PhotoOffer {
public:
    std::string address = "0.0.1.2";
    std::uint16_t port = 5678;
    int switchedOn = 0;
    std::function<void()> onSwitch;

    std::string LocalAddress() const override { return address; }
    std::uint16_t PrepareDccPort() override { return port; }
    void SwitchDccOn() override {
        if (onSwitch) onSwitch();
        ++switchedOn;
    }
};

// The lines of a reply text, without the empty item before the first "|".
inline std::vector<std::string> LinesOf(std::string_view reply) {
    std::vector<std::string> lines;
    for (int k = 1; k <= ReplyLineCount(reply); ++k) lines.push_back(ReplyLine(reply, k));
    return lines;
}

}  // namespace tovik::test
