// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MosquittoBroker.h"

#include <QFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tr640::test {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

MosquittoBroker::MosquittoBroker(QString user, QString password)
    : user_(std::move(user)), password_(std::move(password)), port_(FreeLoopbackPort()) {}

MosquittoBroker::~MosquittoBroker() { Kill(); }

bool MosquittoBroker::RunOpenssl(const QStringList& arguments) const {
    QProcess openssl;
    openssl.setWorkingDirectory(dir_.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl", arguments);
    return openssl.waitForFinished() && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

// Elliptic-curve keys: made in milliseconds.
bool MosquittoBroker::MakeStrangerCa(const QString& path) const {
    return RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-keyout", path + ".key", "-out", path, "-days", "2", "-subj", "/CN=stranger CA"});
}

bool MosquittoBroker::UseTls() {
    if (!dir_.isValid()) return false;
    QFile extensions(dir_.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write("subjectAltName=IP:127.0.0.1\n") <= 0) return false;
    extensions.close();
    const QString ec = QStringLiteral("ec_paramgen_curve:prime256v1");
    tls_ = RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", ec, "-nodes", "-keyout", "ca.key", "-out",
                       "ca.crt", "-days", "2", "-subj", "/CN=tr640 test CA"}) &&
           RunOpenssl({"req", "-newkey", "ec", "-pkeyopt", ec, "-nodes", "-keyout", "server.key", "-out",
                       "server.csr", "-subj", "/CN=127.0.0.1"}) &&
           RunOpenssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                       "-out", "server.crt", "-days", "2", "-extfile", "server.ext"});
    return tls_;
}

bool MosquittoBroker::WriteConfig() {
    QFile config(dir_.filePath("mosquitto.conf"));
    if (!config.open(QIODevice::WriteOnly)) return false;
    QString text = QStringLiteral("listener %1 127.0.0.1\npersistence false\nlog_dest stderr\nset_tcp_nodelay true\n").arg(port_);
    // Run as root, the broker would switch to its own user and lose the
    // test's files.
    if (::geteuid() == 0) text += "user root\n";
    if (tls_)
        text += "cafile " + dir_.filePath("ca.crt") + "\ncertfile " + dir_.filePath("server.crt") + "\nkeyfile " +
                dir_.filePath("server.key") + "\n";
    if (user_.isEmpty()) {
        text += "allow_anonymous true\n";
    } else {
        const QString passwords = dir_.filePath("passwords");
        if (QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords, user_, password_}) != 0) return false;
        text += "allow_anonymous false\npassword_file " + passwords + "\n";
    }
    return config.write(text.toUtf8()) > 0;
}

bool MosquittoBroker::Start() {
    if (!dir_.isValid() || !WriteConfig()) return false;
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start("mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
    if (!process_->waitForStarted()) return false;
    const bool up = QTest::qWaitFor([&] { return Accepts(port_) || process_->state() == QProcess::NotRunning; });
    log_ += QString::fromUtf8(process_->readAll());
    return up && process_->state() == QProcess::Running;
}

void MosquittoBroker::Kill() {
    if (!process_) return;
    process_->kill();
    process_->waitForFinished();
    log_ += QString::fromUtf8(process_->readAll());
    process_.reset();
}

}  // namespace tr640::test
