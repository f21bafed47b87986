#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

namespace cg {

// coachgate-admin server-setup: prepares a PostgreSQL server for a station,
// run over a superuser connection (on the server: sudo -u postgres).
//
// * The owner role (NOLOGIN) owns the station database and its schema; the
//   tables are created and upgraded by the migrations run as that role.
// * The workstation role logs in with a scram-sha-256 password, is no
//   superuser, creates no databases or roles, has no CREATE on the database
//   or the schema, and holds exactly: SELECT on the version table, SELECT,
//   INSERT, UPDATE and DELETE on every other table of schema::tables(), and
//   USAGE on those tables' sequences. Every run revokes what it holds in
//   the schema and grants the list again in one transaction, so running it
//   after an upgrade grants the new tables and nothing else survives.
// * The TLS settings go to the server with ALTER SYSTEM; the pg_hba.conf
//   block (hostssl for the workstation role, plain connections to the
//   station database rejected) goes to the top of the server's file.
// * An existing role or database is kept (a role's password too); what
//   would make the result unsafe (a workstation role with more rights, a
//   database of another owner) is refused before anything is changed.
struct ServerSetupOptions {
    QString database;
    QString owner;
    QString workstation;
    QStringList networks;  // addresses the desks connect from, in CIDR form
    QString passwordFile;  // the workstation role's password; empty: asked for
    QString sslCert;
    QString sslKey;
    QString listen;
    QString hbaFile;       // empty: the server's own
    bool printOnly = false; // change no server file or setting, print them
    QString serverName;    // the name the desks reach the server by
    QString deskRootCert;
    QString deskPassFile;
    // Asks for a password without echoing it; empty when it cannot ask.
    std::function<QString(const QString &prompt)> askPassword;
};

// The options of server-setup on the admin tool's parser.
class ServerSetupArguments {
public:
    explicit ServerSetupArguments(QCommandLineParser &parser);
    // The server-setup options given on the command line ("--network", ...).
    QStringList given(const QCommandLineParser &parser) const;
    // The options as given, with their defaults; nullopt and *error when
    // one is unusable.
    std::optional<ServerSetupOptions> read(const QCommandLineParser &parser, QString *error) const;

private:
    QList<QCommandLineOption> m_options;
};

// Runs server-setup over the superuser connection adminSpec. Exit codes as
// the admin tool's: 0 done, 1 failed (nothing reported as done that was not),
// 2 unusable options.
int runServerSetup(const QString &adminSpec, const ServerSetupOptions &options, QTextStream &out,
                   QTextStream &err);

namespace serversetup {
// A password's problem (length, characters), or empty. Never quotes it.
QString checkPassword(const QString &password);
// The scram-sha-256 verifier the server stores for password (4096 rounds,
// a random salt): the password itself never reaches the server.
QString scramVerifier(const QString &password);
// text of a pg_hba.conf with the station's block (between its two marker
// lines) put in place of an earlier one, or before the first rule.
QString mergeHbaBlock(const QString &text, const QString &database, const QStringList &block);
} // namespace serversetup

} // namespace cg
