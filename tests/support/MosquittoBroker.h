// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A real Mosquitto broker for a test: on a free loopback port, with a
// configuration the test writes, anonymous or with a password file made by
// mosquitto_passwd. It can be stopped and started again on the same port.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tr640::test {

class MosquittoBroker {
public:
    // Empty user: anonymous clients are let in; else only this user.
    explicit MosquittoBroker(QString user = {}, QString password = {});

    // Before Start: the listener speaks TLS only, with a certificate for
    // 127.0.0.1 signed by a certificate authority made for this broker
    // (openssl), at CaFile(). False when the certificates cannot be made.
    bool UseTls();
    QString CaFile() const { return dir_.filePath("ca.crt"); }
    // Another authority, which signed nothing this broker shows.
    bool MakeStrangerCa(const QString& path) const;
    ~MosquittoBroker();

    // Starts the broker and waits until it takes connections.
    bool Start();
    // Kills it at once, as a crash or a power cut would.
    void Kill();
    int Port() const { return port_; }
    QString Url() const { return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? "mqtts" : "mqtt").arg(port_); }
    QString Log() const { return log_; }

private:
    bool WriteConfig();

    bool RunOpenssl(const QStringList& arguments) const;

    QString user_, password_;
    bool tls_ = false;
    QTemporaryDir dir_;
    int port_ = 0;
    QString log_;
    std::unique_ptr<QProcess> process_;
};

// A free TCP port on 127.0.0.1 (bound once and let go).
int FreeLoopbackPort();

}  // namespace tr640::test
