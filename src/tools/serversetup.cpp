#include "serversetup.h"
#include "exitcodes.h"

#include "services/database/database.h"
#include "services/database/schema.h"
#include "services/database/serviceerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSysInfo>

#include "core/files.h"

#include <arpa/inet.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int ScramIterations = 4096;

// A refusal or a failed step, with the operator's message; run() adds the
// steps already done.
struct SetupFailure {
    QString text;
};

QString quotedIdent(const QString &name) { return u'"' + name + u'"'; }

QString sqlText(QString text)
{
    text.replace(u'\'', u"''"_s);
    return u'\'' + text + u'\'';
}

// A value of the desks' database setting, quoted only where it must be.
QString conninfoValue(QString value)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9_./:@-]+$"_s);
    if (plain.match(value).hasMatch())
        return value;
    value.replace(u'\\', u"\\\\"_s);
    value.replace(u'\'', u"\\'"_s);
    return u'\'' + value + u'\'';
}

QString beginMarker(const QString &database)
{
    return u"# coachgate: station database %1 (coachgate-admin server-setup) {"_s.arg(database);
}
QString endMarker(const QString &database) { return u"# } coachgate: station database %1"_s.arg(database); }

QByteArray hmacSha256(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

// PBKDF2 with HMAC-SHA-256, one block (32 bytes) as SCRAM-SHA-256 uses it.
QByteArray pbkdf2Sha256(const QByteArray &password, const QByteArray &salt, int iterations)
{
    QByteArray u = hmacSha256(password, salt + QByteArray("\x00\x00\x00\x01", 4));
    QByteArray out = u;
    for (int i = 1; i < iterations; ++i) {
        u = hmacSha256(password, u);
        for (qsizetype k = 0; k < out.size(); ++k)
            out[k] = char(out[k] ^ u[k]);
    }
    return out;
}

// The password of the first line of path (its line end dropped).
QString readPasswordFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = u"无法读取密码文件 %1：%2"_s.arg(QDir::toNativeSeparators(path), f.errorString());
        return {};
    }
    QString line = QString::fromUtf8(f.readLine(4096));
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

// An address range "address/prefix" (IPv4 or IPv6) with the host bits
// cleared, as pg_hba.conf reads it; empty when it is none.
QString networkOf(const QString &text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash <= 0)
        return {};
    bool ok = false;
    const int prefix = text.mid(slash + 1).toInt(&ok);
    const QByteArray address = text.left(slash).toLatin1();
    unsigned char bytes[16] = {};
    const bool v6 = address.contains(':');
    const int family = v6 ? AF_INET6 : AF_INET;
    const int bits = v6 ? 128 : 32;
    if (!ok || prefix < 0 || prefix > bits || text.mid(slash + 1).startsWith(u'+')
        || ::inet_pton(family, address.constData(), bytes) != 1)
        return {};
    for (int i = 0; i < bits / 8; ++i) {
        const int keep = qBound(0, prefix - 8 * i, 8);
        bytes[i] &= static_cast<unsigned char>(0xff00 >> keep);
    }
    char out[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(family, bytes, out, sizeof out))
        return {};
    return u"%1/%2"_s.arg(QString::fromLatin1(out)).arg(prefix);
}

QString setting(Database &db, const QString &name)
{
    return db.scalar(u"SELECT setting FROM pg_settings WHERE name = ?"_s, {name}).toString();
}

} // namespace

namespace serversetup {

QString checkPassword(const QString &password)
{
    if (password.size() < 12)
        return u"密码太短：至少要 12 个字符"_s;
    if (password.size() > 100)
        return u"密码太长：最多 100 个字符"_s;
    // Printable ASCII reads the same in every password file and needs no
    // normalisation before scram; ":" and "\" would need escapes in pgpass.
    for (const QChar ch : password) {
        if (ch.unicode() < 0x21 || ch.unicode() > 0x7e || ch == u':' || ch == u'\\')
            return u"密码只能由英文字母、数字和可见的符号组成（不含空格、“:”和“\\”）"_s;
    }
    return {};
}

QString scramVerifier(const QString &password)
{
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    const QByteArray salted = pbkdf2Sha256(password.toUtf8(), salt, ScramIterations);
    const QByteArray clientKey = hmacSha256(salted, "Client Key");
    const QByteArray storedKey = QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256);
    const QByteArray serverKey = hmacSha256(salted, "Server Key");
    return u"SCRAM-SHA-256$%1:%2$%3:%4"_s.arg(ScramIterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(storedKey.toBase64()),
             QString::fromLatin1(serverKey.toBase64()));
}

QString mergeHbaBlock(const QString &text, const QString &database, const QStringList &block)
{
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QStringList wrapped = QStringList{beginMarker(database)} + block + QStringList{endMarker(database)};
    const qsizetype begin = lines.indexOf(beginMarker(database));
    const qsizetype end = begin < 0 ? -1 : lines.indexOf(endMarker(database), begin);
    if (begin >= 0 && end > begin) {
        lines.remove(begin, end - begin + 1);
        for (qsizetype i = 0; i < wrapped.size(); ++i)
            lines.insert(begin + i, wrapped[i]);
    } else {
        // The first rule that matches a connection decides: ours go before
        // every rule, after the heading and the blocks of other stations.
        static const QRegularExpression otherBegin(u"^# coachgate: station database (\\w+) .*\\{$"_s);
        qsizetype at = 0;
        while (at < lines.size()) {
            const QString line = lines[at].trimmed();
            if (const auto m = otherBegin.match(line); m.hasMatch()) {
                const qsizetype close = lines.indexOf(endMarker(m.captured(1)), at);
                at = close < 0 ? at + 1 : close + 1;
            } else if (line.isEmpty() || line.startsWith(u'#')) {
                ++at;
            } else {
                break;
            }
        }
        for (qsizetype i = 0; i < wrapped.size(); ++i)
            lines.insert(at + i, wrapped[i]);
        if (at + wrapped.size() < lines.size())
            lines.insert(at + wrapped.size(), QString());
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace serversetup

// ---------------------------------------------------------------- options

namespace {
enum Opt {
    OptStationDb,
    OptOwner,
    OptWorkstation,
    OptNetwork,
    OptPasswordFile,
    OptSslCert,
    OptSslKey,
    OptListen,
    OptHbaFile,
    OptPrintOnly,
    OptServerName,
    OptDeskRootCert,
    OptDeskPassFile,
};
} // namespace

ServerSetupArguments::ServerSetupArguments(QCommandLineParser &parser)
{
    m_options = {
        {u"station-db"_s, u"server-setup：车站数据库名（默认 station）"_s, u"name"_s, u"station"_s},
        {u"owner"_s, u"server-setup：拥有数据库和表的角色（不能登录，默认 coachgate_owner）"_s, u"role"_s,
         u"coachgate_owner"_s},
        {u"workstation-role"_s, u"server-setup：工作站登录用的角色（最小权限，默认 coachgate）"_s, u"role"_s,
         u"coachgate"_s},
        {u"network"_s, u"server-setup：工作站所在的网段，如 10.0.0.0/24（必填，可多次给出）"_s, u"cidr"_s},
        {u"password-file"_s, u"server-setup：工作站角色密码所在的文件（第一行）；不给则在终端上询问"_s, u"file"_s},
        {u"ssl-cert"_s, u"server-setup：服务器证书（默认 /etc/ssl/certs/station-db.pem）"_s, u"file"_s,
         u"/etc/ssl/certs/station-db.pem"_s},
        {u"ssl-key"_s, u"server-setup：服务器私钥（默认 /etc/ssl/private/station-db.key）"_s, u"file"_s,
         u"/etc/ssl/private/station-db.key"_s},
        {u"listen"_s, u"server-setup：服务器监听的地址（默认 *）"_s, u"addresses"_s, u"*"_s},
        {u"hba-file"_s, u"server-setup：写入的 pg_hba.conf（默认服务器自己的）"_s, u"file"_s},
        {u"print-only"_s, u"server-setup：不改服务器的文件和设置，只显示要加的内容"_s},
        {u"server-name"_s, u"server-setup：工作站访问服务器用的名称（须与证书一致，默认本机名）"_s, u"name"_s},
        {u"desk-root-cert"_s, u"server-setup：工作站上根证书的路径（默认 /etc/coachgate/station-ca.pem）"_s,
         u"file"_s, u"/etc/coachgate/station-ca.pem"_s},
        {u"desk-passfile"_s, u"server-setup：工作站上密码文件的路径（默认 /etc/coachgate/pgpass）"_s, u"file"_s,
         u"/etc/coachgate/pgpass"_s},
    };
    for (const QCommandLineOption &o : std::as_const(m_options))
        parser.addOption(o);
}

QStringList ServerSetupArguments::given(const QCommandLineParser &parser) const
{
    QStringList out;
    for (const QCommandLineOption &o : m_options)
        if (parser.isSet(o))
            out << u"--"_s + o.names().first();
    return out;
}

std::optional<ServerSetupOptions> ServerSetupArguments::read(const QCommandLineParser &parser, QString *error) const
{
    const auto value = [&](Opt o) { return parser.value(m_options[o]).trimmed(); };
    ServerSetupOptions s;
    s.database = value(OptStationDb);
    s.owner = value(OptOwner);
    s.workstation = value(OptWorkstation);
    s.passwordFile = value(OptPasswordFile);
    s.sslCert = value(OptSslCert);
    s.sslKey = value(OptSslKey);
    s.listen = value(OptListen);
    s.hbaFile = value(OptHbaFile);
    s.printOnly = parser.isSet(m_options[OptPrintOnly]);
    s.serverName = parser.isSet(m_options[OptServerName]) ? value(OptServerName) : QSysInfo::machineHostName();
    s.deskRootCert = value(OptDeskRootCert);
    s.deskPassFile = value(OptDeskPassFile);

    // Names go into statements and pg_hba.conf unquoted by the reader: only
    // plain lower-case identifiers.
    static const QRegularExpression ident(u"^[a-z_][a-z0-9_]{0,62}$"_s);
    const std::pair<QString, QString> names[] = {
        {u"--station-db"_s, s.database}, {u"--owner"_s, s.owner}, {u"--workstation-role"_s, s.workstation}};
    for (const auto &[option, name] : names) {
        if (!ident.match(name).hasMatch() || name.startsWith(u"pg_"_s)) {
            *error = u"%1 的值“%2”不能用：只能是小写英文字母、数字和下划线，以字母或下划线开头，不以 pg_ 开头"_s.arg(
                option, name);
            return std::nullopt;
        }
    }
    if (s.owner == s.workstation) {
        *error = u"--owner 和 --workstation-role 必须是两个不同的角色"_s;
        return std::nullopt;
    }
    static const QStringList reserved = {u"postgres"_s, u"public"_s, u"template0"_s, u"template1"_s};
    for (const QString &name : {s.database, s.owner, s.workstation}) {
        if (reserved.contains(name)) {
            *error = u"“%1”是服务器自己的名称，不能用于车站"_s.arg(name);
            return std::nullopt;
        }
    }
    const QStringList networks = parser.values(m_options[OptNetwork]);
    if (networks.isEmpty()) {
        *error = u"请用 --network 指定工作站所在的网段，如 --network 10.0.0.0/24"_s;
        return std::nullopt;
    }
    for (const QString &n : networks) {
        const QString network = networkOf(n.trimmed());
        if (network.isEmpty()) {
            *error = u"--network 的值“%1”不是网段（应为地址/前缀长度，如 10.0.0.0/24）"_s.arg(n);
            return std::nullopt;
        }
        s.networks << network;
    }
    for (const auto &[option, path] : {std::pair{u"--ssl-cert"_s, s.sslCert}, std::pair{u"--ssl-key"_s, s.sslKey}}) {
        if (!QDir::isAbsolutePath(path) || path.contains(u'\'')) {
            *error = u"%1 的值“%2”必须是服务器上的绝对路径，且不含引号"_s.arg(option, path);
            return std::nullopt;
        }
    }
    static const QRegularExpression listen(u"^[A-Za-z0-9.:*,_ -]+$"_s);
    if (!listen.match(s.listen).hasMatch()) {
        *error = u"--listen 的值“%1”不是地址列表"_s.arg(s.listen);
        return std::nullopt;
    }
    static const QRegularExpression host(u"^[A-Za-z0-9.:_-]+$"_s);
    if (!host.match(s.serverName).hasMatch()) {
        *error = u"--server-name 的值“%1”不是主机名或地址"_s.arg(s.serverName);
        return std::nullopt;
    }
    return s;
}

// ---------------------------------------------------------------- the run

namespace {

class ServerSetup {
public:
    ServerSetup(const DbConfig &admin, const ServerSetupOptions &o, QTextStream &out, QTextStream &err)
        : m_adminConfig(admin), m_o(o), m_out(out), m_err(err), m_admin(admin)
    {
    }
    int run();

private:
    void check();
    QString workstationPassword();
    void createRolesAndDatabase(const QString &password);
    void prepareStationDatabase();
    void grantWorkstation(Database &station);
    void applyServerSettings();
    void writeHba();
    void printDeskSettings();
    QStringList hbaBlock() const;
    QList<std::pair<QString, QString>> serverSettings() const;
    DbConfig stationConfig() const;
    void done(const QString &step)
    {
        m_done << step;
        m_out << u"  ✓ "_s << step << u'\n';
    }

    DbConfig m_adminConfig;
    const ServerSetupOptions &m_o;
    QTextStream &m_out;
    QTextStream &m_err;
    Database m_admin;
    QStringList m_done;
    bool m_ownerExists = false;
    bool m_workstationExists = false;
    bool m_databaseExists = false;
    QString m_hbaPath;
    bool m_hbaIsServers = false;
    bool m_reload = false;
    bool m_restart = false;
    int m_port = 5432;
};

DbConfig ServerSetup::stationConfig() const
{
    DbConfig c = m_adminConfig;
    c.database = m_o.database;
    return c;
}

QStringList ServerSetup::hbaBlock() const
{
    QStringList block;
    for (const QString &network : m_o.networks)
        block << u"hostssl    %1  %2  %3  scram-sha-256"_s.arg(m_o.database, m_o.workstation, network);
    // Nobody reaches the station's data over an unencrypted connection.
    block << u"hostnossl  %1  all  all  reject"_s.arg(m_o.database);
    return block;
}

QList<std::pair<QString, QString>> ServerSetup::serverSettings() const
{
    return {{u"listen_addresses"_s, m_o.listen},
            {u"ssl"_s, u"on"_s},
            {u"ssl_cert_file"_s, m_o.sslCert},
            {u"ssl_key_file"_s, m_o.sslKey},
            {u"password_encryption"_s, u"scram-sha-256"_s}};
}

// Everything that would make the result unsafe or half-done is found here,
// before anything is changed.
void ServerSetup::check()
{
    if (!m_admin.scalar(u"SELECT rolsuper FROM pg_roles WHERE rolname = current_user"_s).toBool())
        throw SetupFailure{u"连接 %1 的用户不是超级用户；请在数据库服务器上以 postgres 用户运行"
                           u"（sudo -u postgres coachgate-admin server-setup …）"_s.arg(m_adminConfig.describe())};
    m_port = m_admin.scalar(u"SHOW port"_s).toInt();

    const RecordSet roles = m_admin.select(
        u"SELECT rolname, rolsuper, rolcreatedb, rolcreaterole, rolreplication, rolbypassrls, rolcanlogin "
        u"FROM pg_roles WHERE rolname IN (?, ?)"_s,
        {m_o.owner, m_o.workstation},
        {{u"rolsuper"_s, FieldType::Bool}, {u"rolcreatedb"_s, FieldType::Bool}, {u"rolcreaterole"_s, FieldType::Bool},
         {u"rolreplication"_s, FieldType::Bool}, {u"rolbypassrls"_s, FieldType::Bool},
         {u"rolcanlogin"_s, FieldType::Bool}});
    for (int r = 0; r < roles.RecordCount(); ++r) {
        const QString name = roles.valueAt(r, u"rolname"_s).toString();
        if (name == m_o.owner) {
            m_ownerExists = true;
            continue;
        }
        m_workstationExists = true;
        QStringList extra;
        for (const auto &[column, label] :
             {std::pair{u"rolsuper"_s, u"超级用户"_s}, std::pair{u"rolcreatedb"_s, u"可建数据库"_s},
              std::pair{u"rolcreaterole"_s, u"可建角色"_s}, std::pair{u"rolreplication"_s, u"复制"_s},
              std::pair{u"rolbypassrls"_s, u"绕过行级安全"_s}})
            if (roles.valueAt(r, column).toBool())
                extra << label;
        if (!extra.isEmpty())
            throw SetupFailure{u"角色 %1 已存在，但它有工作站不应有的权限（%2）；未做任何改动。"
                               u"请换一个 --workstation-role，或由管理员收回这些权限"_s.arg(name, extra.join(u"、"_s))};
        if (!roles.valueAt(r, u"rolcanlogin"_s).toBool())
            throw SetupFailure{u"角色 %1 已存在，但不能登录；未做任何改动"_s.arg(name)};
    }
    if (m_ownerExists && m_workstationExists
        && m_admin.scalar(u"SELECT pg_has_role(?, ?, 'MEMBER')"_s, {m_o.workstation, m_o.owner}).toBool())
        throw SetupFailure{u"角色 %1 是 %2 的成员，会得到表的所有权限；未做任何改动"_s.arg(m_o.workstation, m_o.owner)};

    const RecordSet dbs = m_admin.select(
        u"SELECT pg_get_userbyid(datdba) AS owner, pg_encoding_to_char(encoding) AS encoding "
        u"FROM pg_database WHERE datname = ?"_s,
        {m_o.database});
    if (dbs.RecordCount() > 0) {
        m_databaseExists = true;
        const QString owner = dbs.valueAt(0, u"owner"_s).toString();
        if (owner != m_o.owner)
            throw SetupFailure{u"数据库 %1 已存在，属于角色 %2，不是 %3；未做任何改动。"
                               u"若它是车站现有的数据库，请用 --owner %2 并另选 --workstation-role"_s.arg(
                                   m_o.database, owner, m_o.owner)};
        const QString encoding = dbs.valueAt(0, u"encoding"_s).toString();
        if (encoding != u"UTF8"_s)
            throw SetupFailure{u"数据库 %1 已存在，但编码是 %2，车站需要 UTF8；未做任何改动"_s.arg(m_o.database, encoding)};
        Database station(stationConfig());
        const RecordSet foreign = station.select(
            u"SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            u"WHERE n.nspname = 'public' AND c.relkind IN ('r', 'p', 'S', 'v', 'm') "
            u"AND pg_get_userbyid(c.relowner) <> ? ORDER BY c.relname"_s,
            {m_o.owner});
        if (foreign.RecordCount() > 0) {
            QStringList names;
            for (int r = 0; r < foreign.RecordCount(); ++r)
                names << foreign.valueAt(r, u"relname"_s).toString();
            throw SetupFailure{u"数据库 %1 中有不属于 %2 的表（%3）；未做任何改动"_s.arg(
                m_o.database, m_o.owner, names.join(u", "_s))};
        }
    }

    if (m_o.printOnly)
        return;
    // The server will not start again with TLS on and a certificate it cannot read.
    for (const QString &path : {m_o.sslCert, m_o.sslKey}) {
        bool readable = false;
        QString why;
        try {
            readable = !m_admin.scalar(u"SELECT pg_read_binary_file(?, 0, 0, true)"_s, {path}).isNull();
            why = u"不存在"_s;
        } catch (const ServiceError &e) {
            why = e.description();
        }
        if (!readable)
            throw SetupFailure{u"数据库服务器读不到 %1（%2）；请先放好证书和私钥（见 docs/DEPLOYMENT.md），"
                               u"或用 --ssl-cert / --ssl-key 指定，未做任何改动"_s.arg(path, why)};
    }
    const QString serverHba = m_admin.scalar(u"SHOW hba_file"_s).toString();
    m_hbaPath = m_o.hbaFile.isEmpty() ? serverHba : m_o.hbaFile;
    m_hbaIsServers = QFileInfo(m_hbaPath).canonicalFilePath() == QFileInfo(serverHba).canonicalFilePath();
    const QFileInfo hba(m_hbaPath);
    if (!hba.exists() || !hba.isReadable() || !hba.isWritable() || !QFileInfo(hba.absolutePath()).isWritable())
        throw SetupFailure{u"无法改写 %1；请在数据库服务器上以 postgres 用户运行（sudo -u postgres …），"
                           u"或加 --print-only 只显示要加入的内容；未做任何改动"_s.arg(QDir::toNativeSeparators(m_hbaPath))};
}

QString ServerSetup::workstationPassword()
{
    QString password;
    if (!m_o.passwordFile.isEmpty()) {
        QString why;
        password = readPasswordFile(m_o.passwordFile, &why);
        if (!why.isEmpty())
            throw SetupFailure{why};
    } else {
        m_out.flush(); // what was done so far, before the question
        if (m_o.askPassword)
            password = m_o.askPassword(u"角色 %1 的新密码："_s.arg(m_o.workstation));
        if (password.isEmpty())
            throw SetupFailure{u"需要角色 %1 的密码：请用 --password-file 给出密码文件，或在终端上运行以便输入"_s.arg(
                m_o.workstation)};
        if (m_o.askPassword(u"再输入一次："_s) != password)
            throw SetupFailure{u"两次输入的密码不同"_s};
    }
    const QString problem = serversetup::checkPassword(password);
    if (!problem.isEmpty())
        throw SetupFailure{u"角色 %1 的密码不能用：%2"_s.arg(m_o.workstation, problem)};
    return password;
}

void ServerSetup::createRolesAndDatabase(const QString &password)
{
    const QString limits = u"NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS"_s;
    if (m_ownerExists) {
        m_out << u"  · 角色 %1 已存在，保留原样\n"_s.arg(m_o.owner);
    } else {
        m_admin.exec(u"CREATE ROLE %1 NOLOGIN %2"_s.arg(quotedIdent(m_o.owner), limits));
        done(u"已建角色 %1（拥有数据库和表，不能登录）"_s.arg(m_o.owner));
    }
    if (m_workstationExists) {
        m_out << u"  · 角色 %1 已存在，保留原样（密码未改）\n"_s.arg(m_o.workstation);
    } else {
        // One statement, so the role never exists without its password. The
        // server stores the verifier as it is; the password itself never
        // travels, and a failure is reported without the statement.
        QSqlQuery q(m_admin.connection());
        if (!q.exec(u"CREATE ROLE %1 LOGIN NOINHERIT %2 CONNECTION LIMIT -1 PASSWORD %3"_s.arg(
                quotedIdent(m_o.workstation), limits, sqlText(serversetup::scramVerifier(password)))))
            throw SetupFailure{u"无法建立角色 %1：%2"_s.arg(m_o.workstation, q.lastError().text().section(u'\n', 0, 0))};
        done(u"已建角色 %1（工作站登录用，密码以 scram-sha-256 保存）"_s.arg(m_o.workstation));
    }
    if (m_databaseExists) {
        m_out << u"  · 数据库 %1 已存在，保留原样\n"_s.arg(m_o.database);
    } else {
        m_admin.exec(u"CREATE DATABASE %1 OWNER %2 ENCODING 'UTF8' TEMPLATE template0"_s.arg(
            quotedIdent(m_o.database), quotedIdent(m_o.owner)));
        done(u"已建数据库 %1（属于 %2，UTF8）"_s.arg(m_o.database, m_o.owner));
    }
    m_admin.exec(u"REVOKE ALL ON DATABASE %1 FROM PUBLIC"_s.arg(quotedIdent(m_o.database)));
    m_admin.exec(u"GRANT CONNECT ON DATABASE %1 TO %2"_s.arg(quotedIdent(m_o.database), quotedIdent(m_o.workstation)));
    done(u"只有 %1 可以连接数据库 %2（不能在其中建模式或临时表）"_s.arg(m_o.workstation, m_o.database));
}

void ServerSetup::prepareStationDatabase()
{
    Database station(stationConfig());
    station.transact([&] {
        station.exec(u"ALTER SCHEMA public OWNER TO %1"_s.arg(quotedIdent(m_o.owner)));
        station.exec(u"REVOKE ALL ON SCHEMA public FROM PUBLIC"_s);
        station.exec(u"GRANT USAGE ON SCHEMA public TO %1"_s.arg(quotedIdent(m_o.workstation)));
    });

    // The migrations run as the owner, so everything they create is its.
    station.exec(u"SET ROLE %1"_s.arg(quotedIdent(m_o.owner)));
    const int before = station.schemaVersion();
    station.migrate();
    const int after = station.schemaVersion();
    station.exec(u"RESET ROLE"_s);
    const int notOwned = station.scalar(
        u"SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        u"WHERE n.nspname = 'public' AND c.relkind IN ('r', 'p', 'S', 'v', 'm') AND pg_get_userbyid(c.relowner) <> ?"_s,
        {m_o.owner}).toInt();
    if (notOwned > 0)
        throw SetupFailure{u"数据库 %1 中有 %2 个对象不属于 %3"_s.arg(m_o.database).arg(notOwned).arg(m_o.owner)};
    if (before == after)
        done(u"数据库结构已是版本 %1"_s.arg(after));
    else
        done(u"数据库结构由 %1 以版本 %2 建立或升级（原为 %3）"_s.arg(m_o.owner).arg(after).arg(before));
    grantWorkstation(station);
}

void ServerSetup::grantWorkstation(Database &station)
{
    const QString ws = quotedIdent(m_o.workstation);
    const QStringList tables = schema::tables();
    const QString version = QString::fromUtf16(schema::versionTable);
    int sequences = 0;
    // One transaction: the desks never see the role between the revocation
    // and the grants.
    station.transact([&] {
        station.exec(u"REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %1"_s.arg(ws));
        station.exec(u"REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM %1"_s.arg(ws));
        station.exec(u"REVOKE ALL ON ALL FUNCTIONS IN SCHEMA public FROM %1"_s.arg(ws));
        for (const QString &table : tables) {
            const bool exists = station.scalar(u"SELECT count(*) FROM pg_tables WHERE schemaname = 'public' "
                                               u"AND tablename = ?"_s,
                                               {table}).toInt() > 0;
            if (!exists)
                throw SetupFailure{u"数据库 %1 中没有表 %2"_s.arg(m_o.database, table)};
            const QString rights = table == version ? u"SELECT"_s : u"SELECT, INSERT, UPDATE, DELETE"_s;
            station.exec(u"GRANT %1 ON TABLE public.%2 TO %3"_s.arg(rights, quotedIdent(table), ws));
        }
        // The sequences behind the tables' generated ids.
        const RecordSet seqs = station.select(
            u"SELECT DISTINCT s.relname FROM pg_class s JOIN pg_depend d ON d.objid = s.oid "
            u"JOIN pg_class t ON t.oid = d.refobjid JOIN pg_namespace n ON n.oid = s.relnamespace "
            u"WHERE s.relkind = 'S' AND n.nspname = 'public' AND t.relname = ANY (string_to_array(?, ','))"_s,
            {tables.join(u',')});
        for (int r = 0; r < seqs.RecordCount(); ++r)
            station.exec(u"GRANT USAGE ON SEQUENCE public.%1 TO %2"_s.arg(
                quotedIdent(seqs.valueAt(r, u"relname"_s).toString()), ws));
        sequences = seqs.RecordCount();
    });
    done(u"已授予 %1：%2 张表（%3 只读，其余读写）、%4 个序列，别无其他"_s.arg(m_o.workstation)
             .arg(tables.size())
             .arg(version)
             .arg(sequences));
}

void ServerSetup::applyServerSettings()
{
    const auto settings = serverSettings();
    QStringList changed;
    for (const auto &[name, value] : settings) {
        if (setting(m_admin, name) != value) {
            changed << name;
            if (name == u"listen_addresses"_s || name == u"ssl"_s)
                m_restart = true;
            else
                m_reload = true;
        }
        m_admin.exec(u"ALTER SYSTEM SET %1 = %2"_s.arg(name, sqlText(value)));
    }
    if (changed.isEmpty())
        done(u"服务器设置（TLS、scram-sha-256、监听地址）已是所需的值"_s);
    else
        done(u"已写入服务器设置（postgresql.auto.conf）：%1"_s.arg(changed.join(u", "_s)));
}

void ServerSetup::writeHba()
{
    QByteArray before;
    if (!ReadFileBytes(m_hbaPath, before))
        throw SetupFailure{u"无法读取 %1"_s.arg(QDir::toNativeSeparators(m_hbaPath))};
    const QString merged = serversetup::mergeHbaBlock(QString::fromUtf8(before), m_o.database, hbaBlock());
    if (merged.toUtf8() == before) {
        done(u"%1 中已有车站的几行，未改动"_s.arg(QDir::toNativeSeparators(m_hbaPath)));
        return;
    }
    // The file is replaced whole; the new one keeps the old one's owner and
    // mode, or the server (another user than root) could not read it.
    const QFileInfo original(m_hbaPath);
    const QFile::Permissions permissions = original.permissions();
    const uint uid = original.ownerId();
    const uint gid = original.groupId();
    const auto keepOwner = [&] {
        QFile::setPermissions(m_hbaPath, permissions);
        const QFileInfo now(m_hbaPath);
        if ((now.ownerId() != uid || now.groupId() != gid)
            && ::chown(QFile::encodeName(m_hbaPath).constData(), uid, gid) != 0)
            throw SetupFailure{u"%1 已改写，但无法交还给它原来的用户；重读设置之前请先改正它的属主"_s.arg(
                QDir::toNativeSeparators(m_hbaPath))};
    };
    if (!WriteFileBytes(m_hbaPath, merged.toUtf8()))
        throw SetupFailure{u"无法写入 %1，它保持原样"_s.arg(QDir::toNativeSeparators(m_hbaPath))};
    keepOwner();
    if (m_hbaIsServers) {
        // The server reads the file as it will at the next reload: a line it
        // cannot read would lock every desk out, so the old file comes back.
        QString problem;
        try {
            const RecordSet bad = m_admin.select(
                u"SELECT line_number, error FROM pg_hba_file_rules WHERE error IS NOT NULL ORDER BY line_number"_s);
            if (bad.RecordCount() > 0)
                problem = u"第 %1 行：%2"_s.arg(bad.valueAt(0, u"line_number"_s).toString(),
                                               bad.valueAt(0, u"error"_s).toString());
        } catch (const ServiceError &e) {
            problem = e.description(); // it cannot even open the file
        }
        if (!problem.isEmpty()) {
            const bool restored = WriteFileBytes(m_hbaPath, before);
            keepOwner();
            throw SetupFailure{u"服务器读不了写入后的 %1（%2），%3"_s.arg(
                QDir::toNativeSeparators(m_hbaPath), problem,
                restored ? u"已恢复原文件"_s : u"而且无法恢复原文件：重读设置之前请先改正它"_s)};
        }
    }
    m_reload = true;
    done(u"已把车站的几行写在 %1 的最前面"_s.arg(QDir::toNativeSeparators(m_hbaPath)));
}

void ServerSetup::printDeskSettings()
{
    const QString spec = u"host=%1 port=%2 dbname=%3 user=%4 sslmode=verify-full sslrootcert=%5 passfile=%6"_s.arg(
        conninfoValue(m_o.serverName), QString::number(m_port), m_o.database, m_o.workstation,
        conninfoValue(m_o.deskRootCert), conninfoValue(m_o.deskPassFile));
    m_out << u"\n每台工作站的 coachgate.ini（/etc/xdg/coachgate/coachgate.ini）：\n"_s
          << u"[database]\n"_s
          << u"spec="_s << spec << u'\n'
          << u"\n每台工作站的密码文件 %1（只允许工作站的用户读取，chmod 600），一行，"_s
                 u"把 <密码> 换成角色 %2 的密码：\n"_s.arg(m_o.deskPassFile, m_o.workstation)
          << u"%1:%2:%3:%4:<密码>\n"_s.arg(m_o.serverName, QString::number(m_port), m_o.database, m_o.workstation)
          << u"\n根证书：把签发服务器证书的证书（自签名时就是 %1）复制到每台工作站的 %2\n"_s.arg(m_o.sslCert,
                                                                                                  m_o.deskRootCert);
}

int ServerSetup::run()
{
    m_out << u"车站数据库服务器设置：%1\n"_s.arg(m_adminConfig.describe());
    try {
        check();
        const QString password = m_workstationExists ? QString() : workstationPassword();
        createRolesAndDatabase(password);
        prepareStationDatabase();
        if (m_o.printOnly) {
            m_out << u"\n未改动服务器的文件和设置（--print-only）。请在 postgresql.conf 中设置：\n"_s;
            for (const auto &[name, value] : serverSettings())
                m_out << u"%1 = %2\n"_s.arg(name, sqlText(value));
            m_out << u"\n并把下面几行加在 pg_hba.conf 的最前面：\n"_s << beginMarker(m_o.database) << u'\n';
            for (const QString &line : hbaBlock())
                m_out << line << u'\n';
            m_out << endMarker(m_o.database) << u"\n然后重启数据库服务器：sudo systemctl restart postgresql\n"_s;
        } else {
            applyServerSettings();
            writeHba();
            if (m_restart)
                m_out << u"\n下一步：重启数据库服务器，新的设置才生效：sudo systemctl restart postgresql\n"_s;
            else if (m_reload)
                m_out << u"\n下一步：让数据库服务器重读设置：sudo systemctl reload postgresql\n"_s;
            else
                m_out << u"\n服务器无需重启或重读设置\n"_s;
        }
        printDeskSettings();
        m_out << u"\n设置完成\n"_s;
        return ExitOk;
    } catch (const SetupFailure &f) {
        m_err << u"server-setup 未完成：%1\n"_s.arg(f.text);
    } catch (const AppError &e) {
        m_err << u"server-setup 未完成：错误 %1：%2\n"_s.arg(e.number()).arg(e.description());
    }
    if (!m_done.isEmpty())
        m_err << u"已完成的步骤：\n  "_s << m_done.join(u"\n  "_s)
              << u"\n改正后可以再运行一次：已完成的步骤会保留，不会重复\n"_s;
    return ExitFailed;
}

} // namespace

int runServerSetup(const QString &adminSpec, const ServerSetupOptions &options, QTextStream &out, QTextStream &err)
{
    DbConfig admin;
    try {
        admin = DbConfig::parse(adminSpec);
    } catch (const AppError &e) {
        err << u"错误 %1：%2\n"_s.arg(e.number()).arg(e.description());
        return ExitFailed;
    }
    if (admin.backend != Backend::Postgres) {
        err << u"server-setup 只用于 PostgreSQL：--database 应是服务器的超级用户连接，如 \"dbname=postgres user=postgres\"\n"_s;
        return ExitUsage;
    }
    ServerSetup setup(admin, options, out, err);
    return setup.run();
}

} // namespace cg
