#include "SecureServers.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QTcpSocket>
#include <algorithm>

#include "EventWait.h"
#include "IrcTestClient.h"
#include "TestSupport.h"

namespace tovik::test {
namespace {

constexpr QFile::Permissions kReadableByAll =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions kOpenDirectory = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                              QFile::ExeOther;

void WriteFile(const QString& path, const std::string& text, QFile::Permissions permissions = kReadableByAll) {
    WriteFileBytes(path.toStdString(), text);
    QFile::setPermissions(path, permissions);
}

std::string Port(quint16 port) { return std::to_string(port); }

}  // namespace

std::vector<quint16> FreeLoopbackPorts(std::size_t count) {
    std::vector<quint16> ports;
    for (int tries = 0; ports.size() < count && tries < 100; ++tries) {
        const quint16 port = FreeLoopbackPort();
        if (port != 0 && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    }
    return ports;
}

std::string InspircdClientRules(const QString& logFile) {
    return "<connect allow=\"*\" timeout=\"60\" threshold=\"10\" pingfreq=\"120\" hardsendq=\"262144\"\n"
           "         softsendq=\"8192\" recvq=\"8192\" localmax=\"50\" globalmax=\"50\" resolvehostnames=\"no\">\n"
           "<channels users=\"20\" opers=\"60\">\n"
           "<options prefixquit=\"Quit: \" syntaxhints=\"no\" announcets=\"yes\" hostintopic=\"yes\"\n"
           "         pingwarning=\"15\" splitwhois=\"no\" exemptchanops=\"\">\n"
           "<performance quietbursts=\"yes\" softlimit=\"1024\" somaxconn=\"128\" netbuffersize=\"10240\">\n"
           "<log method=\"file\" type=\"* -USERINPUT -USEROUTPUT\" level=\"default\" target=\"" +
           logFile.toStdString() + "\">\n";
}

bool Accepts(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(200);
}

bool ServerProcess::Start(const QString& program, const QStringList& args, const QString& workingDir,
                          std::optional<std::pair<uid_t, gid_t>> runAs) {
    Stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setWorkingDirectory(workingDir);
    if (runAs) {
        const uid_t uid = runAs->first;
        const gid_t gid = runAs->second;
        // Between fork and exec only async-signal-safe calls are allowed;
        // these are.
        process_->setChildProcessModifier([uid, gid] {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
        });
    }
    process_->start(program, args);
    return process_->waitForStarted(5000);
}

void ServerProcess::Stop(bool gently) {
    if (!process_) return;
    output_ += process_->readAll().toStdString();
    if (process_->state() != QProcess::NotRunning) {
        if (gently) {
            process_->terminate();
            if (!process_->waitForFinished(3000)) process_->kill();
        } else {
            process_->kill();
        }
        process_->waitForFinished(5000);
    }
    output_ += process_->readAll().toStdString();
    process_.reset();
}

std::string ServerProcess::Output() {
    if (process_) output_ += process_->readAll().toStdString();
    return output_;
}

TlsNgircd::TlsNgircd(QString dir, TestCertificate certificate)
    : dir_(std::move(dir)), certificate_(std::move(certificate)) {
    const auto ports = FreeLoopbackPorts(2);
    if (ports.size() == 2) {
        plainPort_ = ports[0];
        tlsPort_ = ports[1];
    }
}

// ngircd is built with GnuTLS on Debian: without a DHFile it would search
// for DH parameters itself at start-up, which takes long. Started as root
// it drops to "nobody", so its directory and files are readable by all.
// Otherwise the settings are those of the plain live tests: no limit of
// connections per address, no DNS or ident look-ups.
bool TlsNgircd::Start(std::string* why) {
    if (plainPort_ == 0) {
        if (why) *why = "no free ports";
        return false;
    }
    QFile::setPermissions(dir_, kOpenDirectory);
    const QString conf = dir_ + "/ngircd.conf";
    WriteFile(conf, "[Global]\nName = irc.test.local\nInfo = Test server\nListen = 127.0.0.1\n"
                    "Ports = " + Port(plainPort_) + "\nMotdPhrase = Willkommen\n"
                    "AdminInfo1 = Test\nAdminInfo2 = Test\nAdminEMail = test@test.local\n"
                    "[Limits]\nMaxConnectionsIP = 0\nMaxNickLength = 30\n"
                    "[Options]\nPAM = no\nDNS = no\nIdent = no\n"
                    "[SSL]\nCertFile = " + certificate_.certFile.toStdString() +
                    "\nKeyFile = " + certificate_.keyFile.toStdString() +
                    "\nDHFile = " + certificate_.dhFile.toStdString() +
                    "\nPorts = " + Port(tlsPort_) + "\n");
    if (!server_.Start(kNgircdBinary, {"-n", "-f", conf}, dir_)) {
        if (why) *why = "ngircd did not start";
        return false;
    }
    if (!AwaitCondition([this] { return Accepts(plainPort_) && Accepts(tlsPort_); }, 15000)) {
        if (why) *why = "ngircd does not accept connections:\n" + Output();
        return false;
    }
    return true;
}

ServicesNetwork::ServicesNetwork(QString dir, TestCertificate certificate)
    : dir_(std::move(dir)), certificate_(std::move(certificate)) {
    const auto ports = FreeLoopbackPorts(3);
    if (ports.size() == 3) {
        plainPort_ = ports[0];
        tlsPort_ = ports[1];
        linkPort_ = ports[2];
    }
}

void ServicesNetwork::Stop() {
    services_.Stop(true);  // it saves its database on SIGTERM
    ircd_.Stop();
}

std::string ServicesNetwork::Output() {
    return "InspIRCd:\n" + ircd_.Output() + "\nInspIRCd log:\n" + ReadFileBytes((dir_ + "/inspircd.log").toStdString()) +
           "\natheme-services:\n" + services_.Output();
}

// The client settings are those of the plain live tests (Debian's connect
// class, clone limits raised, no host name look-ups). The services server
// is a U-line, so that its clients may do what services do, and SASL goes
// to it. CAP is a module in InspIRCd 3; without it there is no SASL.
// services_account gives the 330 in WHOIS and is what atheme's protocol
// module asks for; svshold lets atheme hold nicks without enforcer clients.
// Each IRCv3 capability is a module as well; sslinfo hands a client's
// certificate fingerprint to the services (CERT ADD, SASL EXTERNAL). The
// STS policy names "localhost": InspIRCd announces its duration only to a
// TLS client that named a matching host in its handshake.
QStringList ServicesNetwork::WriteInspircdConfig() {
    const QString conf = dir_ + "/inspircd.conf";
    std::string text =
        "<server name=\"irc.test.local\" description=\"Test server\" network=\"Testnet\">\n"
        "<admin name=\"Test\" nick=\"Test\" email=\"test@test.local\">\n"
        "<module name=\"ssl_gnutls\">\n<module name=\"cap\">\n<module name=\"sasl\">\n"
        "<module name=\"services_account\">\n<module name=\"svshold\">\n<module name=\"spanningtree\">\n"
        "<module name=\"sslinfo\">\n<module name=\"ircv3_ctctags\">\n<module name=\"ircv3_servertime\">\n"
        "<module name=\"ircv3_capnotify\">\n<module name=\"namesx\">\n"
        "<sslprofile name=\"tls\" provider=\"gnutls\" certfile=\"" + certificate_.certFile.toStdString() +
        "\" keyfile=\"" + certificate_.keyFile.toStdString() + "\" dhfile=\"" + certificate_.dhFile.toStdString() +
        "\" hash=\"sha256\" requestclientcert=\"yes\">\n"
        "<bind address=\"127.0.0.1\" port=\"" + Port(plainPort_) + "\" type=\"clients\">\n"
        "<bind address=\"127.0.0.1\" port=\"" + Port(tlsPort_) + "\" type=\"clients\" sslprofile=\"tls\">\n"
        "<bind address=\"127.0.0.1\" port=\"" + Port(linkPort_) + "\" type=\"servers\">\n"
        "<link name=\"services.test.local\" ipaddr=\"127.0.0.1\" port=\"" + Port(linkPort_) +
        "\" allowmask=\"127.0.0.1/32\" sendpass=\"linkpass\" recvpass=\"linkpass\">\n"
        "<uline server=\"services.test.local\" silent=\"yes\">\n"
        "<sasl target=\"services.test.local\">\n" +
        InspircdClientRules(dir_ + "/inspircd.log");
    if (!stsDuration_.empty())
        text += "<module name=\"ircv3_sts\">\n<sts host=\"localhost\" port=\"" + Port(tlsPort_) + "\" duration=\"" +
                stsDuration_ + "\">\n";
    WriteFile(conf, text);
    QStringList args{"--nofork", "--nopid", "--config=" + conf};
    // It refuses to run as root unless told that this is meant.
    if (geteuid() == 0) args << "--runasroot";
    return args;
}

// atheme 7.2 with only what SASL needs: NickServ to register accounts and
// their certificates, SaslServ with PLAIN and EXTERNAL (7.2 has no SCRAM).
// Accounts need no e-mail confirmation (auth = none), and neither
// registrations nor messages are throttled: every user comes
// from 127.0.0.1 and registers right after connecting. The protocol module
// for InspIRCd speaks the 2.0 link protocol, which InspIRCd 3 still takes.
// atheme refuses to run as root; Debian runs it as "irc", and so does the
// test when it runs as root: its data directory then belongs to irc.
QStringList ServicesNetwork::WriteAthemeConfig(std::string* why) {
    const QString data = dir_ + "/atheme";
    QDir().mkpath(data);
    QFile::setPermissions(dir_, kOpenDirectory);
    const QString conf = data + "/atheme.conf";
    const std::string text =
        "loadmodule \"modules/protocol/inspircd\";\n"
        "loadmodule \"modules/backend/opensex\";\n"
        "loadmodule \"modules/crypto/pbkdf2v2\";\n"
        "loadmodule \"modules/nickserv/main\";\n"
        "loadmodule \"modules/nickserv/register\";\n"
        "loadmodule \"modules/nickserv/identify\";\n"
        "loadmodule \"modules/nickserv/cert\";\n"
        "loadmodule \"modules/saslserv/main\";\n"
        "loadmodule \"modules/saslserv/plain\";\n"
        "loadmodule \"modules/saslserv/external\";\n"
        "serverinfo {\n"
        "  name = \"services.test.local\"; desc = \"Test services\"; numeric = \"00A\"; recontime = 1;\n"
        "  netname = \"Testnet\"; hidehostsuffix = \"users.test\"; adminname = \"Test\";\n"
        "  adminemail = \"test@example.org\"; registeremail = \"noreply@example.org\";\n"
        "  loglevel = { error; info; admin; network; register; };\n"
        "  maxlogins = 5; maxusers = 100; mdlimit = 30; emaillimit = 1000; emailtime = 1;\n"
        "  auth = none; casemapping = rfc1459;\n"
        "};\n"
        "uplink \"irc.test.local\" { host = \"127.0.0.1\"; password = \"linkpass\"; port = " + Port(linkPort_) +
        "; };\n"
        "nickserv { nick = \"NickServ\"; user = \"NickServ\"; host = \"services.test.local\";\n"
        "  real = \"Nickname Services\"; maxnicks = 5; expire = 30; };\n"
        "saslserv { nick = \"SaslServ\"; user = \"SaslServ\"; host = \"services.test.local\";\n"
        "  real = \"SASL Authentication Agent\"; };\n"
        // No ratelimit_uses / ratelimit_period: that switches the REGISTER
        // throttle off. flood_msgs = 0 switches off the message flood check.
        "general { flood_msgs = 0; flood_time = 10; kline_time = 7; clone_time = 0; commit_interval = 5;\n"
        "  uplink_sendq_limit = 1048576; language = \"en\"; };\n";
    WriteFile(conf, text);
    servicesUser_.reset();
    if (geteuid() == 0) {
        const passwd* irc = getpwnam("irc");
        if (!irc) {
            if (why) *why = "there is no user irc to run atheme-services as";
            return {};
        }
        servicesUser_ = std::make_pair(irc->pw_uid, irc->pw_gid);
        if (chown(data.toLocal8Bit().constData(), irc->pw_uid, irc->pw_gid) != 0 ||
            chown(conf.toLocal8Bit().constData(), irc->pw_uid, irc->pw_gid) != 0) {
            if (why) *why = "cannot hand the services' directory to irc";
            return {};
        }
    }
    return {"-n", "-c", conf, "-D", data, "-l", data + "/atheme.log", "-p", data + "/atheme.pid"};
}

bool ServicesNetwork::Start(std::string* why) {
    if (plainPort_ == 0) {
        if (why) *why = "no free ports";
        return false;
    }
    // InspIRCd leaves a core file where it runs: in the temporary
    // directory, it goes with it.
    if (!ircd_.Start(kInspircdBinary, WriteInspircdConfig(), dir_)) {
        if (why) *why = "InspIRCd did not start";
        return false;
    }
    // The servers' port is left alone: a probe there counts as a failed link.
    if (!AwaitCondition([this] { return Accepts(plainPort_) && Accepts(tlsPort_); }, 15000)) {
        if (why) *why = "InspIRCd does not accept connections:\n" + Output();
        return false;
    }
    const QStringList servicesArgs = WriteAthemeConfig(why);
    if (servicesArgs.isEmpty()) return false;
    if (!services_.Start(kAthemeBinary, servicesArgs, dir_ + "/atheme", servicesUser_)) {
        if (why) *why = "atheme-services did not start";
        return false;
    }

    // Linked once a user sees both services on the network.
    IrcTestClient probe;
    if (!probe.Connect(plainPort_, "linkprobe")) {
        if (why) *why = "a test user cannot register:\n" + Output();
        return false;
    }
    // Asked twice a second at most, which the flood protection allows.
    bool linked = false;
    for (const QDeadlineTimer deadline(20000); !linked && !deadline.hasExpired();) {
        const auto mark = probe.Mark();
        probe.Send("ISON NickServ SaslServ");
        const int reply = probe.WaitForText(" 303 linkprobe ", 2000, mark);
        linked = reply >= 0 && probe.Lines()[reply].find("NickServ") != std::string::npos &&
                 probe.Lines()[reply].find("SaslServ") != std::string::npos;
        if (!linked) AwaitCondition([] { return false; }, 500);
    }
    probe.Send("QUIT");
    if (!linked) {
        if (why) *why = "the services did not link:\n" + Output();
        return false;
    }
    return true;
}

namespace {

// Sends `command` to NickServ and waits for its notice holding `confirmation`;
// otherwise says in *why what NickServ said instead.
bool AskNickServ(IrcTestClient& user, const std::string& command, const std::string& confirmation,
                 std::string* why) {
    const auto mark = user.Mark();
    user.Send("PRIVMSG NickServ :" + command);
    const int confirmed = user.WaitFor(
        [&](const std::string& line) {
            return line.rfind(":NickServ!", 0) == 0 && line.find(confirmation) != std::string::npos;
        },
        10000, mark);
    if (confirmed >= 0) return true;
    if (why) {
        *why = "NickServ did not confirm \"" + command.substr(0, command.find(' ')) + "\":\n";
        for (std::size_t i = mark; i < user.Lines().size(); ++i) *why += user.Lines()[i] + "\n";
    }
    return false;
}

}  // namespace

bool ServicesNetwork::RegisterAccount(const std::string& account, const std::string& password, std::string* why) {
    IrcTestClient user;
    if (!user.Connect(plainPort_, account)) {
        if (why) *why = account + " cannot connect";
        return false;
    }
    const bool registered =
        AskNickServ(user, "REGISTER " + password + " " + account + "@example.org", " is now registered to ", why);
    user.Send("QUIT");
    return registered;
}

bool ServicesNetwork::AddCertificate(const std::string& account, const std::string& password,
                                     const std::string& fingerprint, std::string* why) {
    IrcTestClient user;
    if (!user.Connect(plainPort_, "certholder")) {
        if (why) *why = "certholder cannot connect";
        return false;
    }
    const bool added = AskNickServ(user, "IDENTIFY " + account + " " + password, "identified for", why) &&
                       AskNickServ(user, "CERT ADD " + fingerprint, "Added fingerprint", why);
    user.Send("QUIT");
    return added;
}

}  // namespace tovik::test
