#include "tillcertificate.h"

#include "logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QStandardPaths>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

#ifdef Q_OS_WIN
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// How long the till's own certificate holds. No public authority signs it, so the browsers'
// limits for public certificates do not apply; a shorter life would only break the trust an
// administrator gave it.
constexpr int certificateDays = 3650;

struct FreeBio
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};
struct FreeKey
{
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct FreeCertificate
{
    void operator()(X509 *certificate) const { X509_free(certificate); }
};
struct FreeExtension
{
    void operator()(X509_EXTENSION *extension) const { X509_EXTENSION_free(extension); }
};
struct FreeNumber
{
    void operator()(BIGNUM *number) const { BN_free(number); }
};
using Bio = std::unique_ptr<BIO, FreeBio>;
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;
using Certificate = std::unique_ptr<X509, FreeCertificate>;

[[noreturn]] void fail(const QString &why)
{
    throw std::runtime_error(why.toStdString());
}

Bio memoryOf(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

QByteArray contentsOf(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<int>(size));
}

QByteArray readFile(const QString &path, const char *what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("the %1 %2 cannot be read: %3")
                 .arg(QLatin1String(what), QDir::toNativeSeparators(path), file.errorString()));
    // A certificate chain or a key is a few KiB; anything far larger is not one.
    return file.read(qint64{1} << 20);
}

#ifdef Q_OS_WIN
// Gives folder an access list of its own, inherited by what is made in it: full control for
// SYSTEM and Administrators, nothing for anyone else.
void restrictToAdministrators(const QString &folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        fail(QStringLiteral("the access list for %1 cannot be made (error %2)")
                 .arg(QDir::toNativeSeparators(folder), QString::number(GetLastError())));
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
    std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    const DWORD result =
        SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr);
    if (result != ERROR_SUCCESS)
        fail(QStringLiteral("%1 cannot be kept to Administrators and SYSTEM (error %2)")
                 .arg(QDir::toNativeSeparators(folder), QString::number(result)));
}
#endif

// Writes a file whole or not at all; a secret one is the owner's alone from its first byte. On
// Linux, root writing into the service's state directory (an administrator asking for the
// certificate's path before the service made it) gives the file to the folder's owner, the
// service's user, which could not read the key otherwise.
void writeFile(const QString &path, const QByteArray &bytes, bool secret)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("%1 cannot be written: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()));
#ifndef Q_OS_WIN
    if (::fchmod(file.handle(), secret ? 0600 : 0644) != 0)
        fail(QStringLiteral("%1 cannot be made private").arg(path));
    struct stat folder = {};
    if (::geteuid() == 0 &&
        ::stat(QFile::encodeName(QFileInfo(path).path()).constData(), &folder) == 0 &&
        folder.st_uid != 0 && ::fchown(file.handle(), folder.st_uid, folder.st_gid) != 0)
        fail(QStringLiteral("%1 cannot be given to the owner of its folder").arg(path));
#else
    Q_UNUSED(secret) // the folder's access list covers both
#endif
    file.write(bytes);
    if (!file.commit())
        fail(QStringLiteral("%1 cannot be written: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()));
}

void addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const std::unique_ptr<X509_EXTENSION, FreeExtension> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1)
        fail(QStringLiteral("the certificate's extension \"%1\" cannot be made")
                 .arg(QLatin1String(value)));
}

// A new key and the certificate for it, both PEM.
std::pair<QByteArray, QByteArray> makePair()
{
    const Key key(EVP_EC_gen("P-256"));
    const Certificate certificate(X509_new());
    const std::unique_ptr<BIGNUM, FreeNumber> serial(BN_new());
    if (!key || !certificate || !serial)
        fail(QStringLiteral("no key could be made"));
    X509_set_version(certificate.get(), X509_VERSION_3);
    // A random serial: a certificate made again is never taken for the one trusted before.
    BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get()));
    // A day back, for a clock a little behind.
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600);
    X509_time_adj_ex(X509_getm_notAfter(certificate.get()), certificateDays, 0, nullptr);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME *name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>("Tralvo"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>("Tralvo on this till"), -1,
                               -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    addExtension(certificate.get(), NID_subject_alt_name, "IP:127.0.0.1,IP:::1,DNS:localhost");
    addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
    addExtension(certificate.get(), NID_subject_key_identifier, "hash");
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
        fail(QStringLiteral("the certificate cannot be signed"));

    const Bio keyPem(BIO_new(BIO_s_mem()));
    const Bio certificatePem(BIO_new(BIO_s_mem()));
    if (!keyPem || !certificatePem ||
        PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_bio_X509(certificatePem.get(), certificate.get()) != 1)
        fail(QStringLiteral("the new certificate cannot be written out"));
    return {contentsOf(certificatePem.get()), contentsOf(keyPem.get())};
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

namespace TillCertificate {

QString folder()
{
#ifdef Q_OS_WIN
    QString programData = qEnvironmentVariable("ProgramData");
    if (programData.isEmpty())
        programData = QStringLiteral("C:/ProgramData");
    return QDir::fromNativeSeparators(programData) + QStringLiteral("/Tralvo/https");
#else
    // systemd names the service's state directory; several are separated by colons.
    QString state = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!state.isEmpty())
        return state;
    if (::geteuid() == 0)
        return QStringLiteral("/var/lib/tralvo");
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/tralvo");
#endif
}

CertificateFiles files()
{
    const QString here = folder();
    return {here + QStringLiteral("/https-certificate.pem"),
            here + QStringLiteral("/https-key.pem")};
}

CertificateFiles ensure()
{
    CertificateFiles pair = files();
    const bool hasCertificate = QFile::exists(pair.certificate);
    const bool hasKey = QFile::exists(pair.key);
    if (hasCertificate && hasKey)
        return pair;
    if (hasCertificate != hasKey)
        fail(QStringLiteral("%1 is there without %2; remove it, and the till's certificate is "
                            "made again (and must then be trusted again)")
                 .arg(nativePath(hasCertificate ? pair.certificate : pair.key),
                      nativePath(hasCertificate ? pair.key : pair.certificate)));
    const QString here = folder();
    if (!QDir().mkpath(here))
        fail(QStringLiteral("the folder %1 cannot be made").arg(nativePath(here)));
#ifdef Q_OS_WIN
    restrictToAdministrators(here);
#endif
    const auto [certificate, key] = makePair();
    writeFile(pair.key, key, true);
    writeFile(pair.certificate, certificate, false);
    qCInfo(lcTralvo, "Web: made the till's certificate for 127.0.0.1, ::1 and localhost: %s",
           qPrintable(nativePath(pair.certificate)));
    return pair;
}

} // namespace TillCertificate

QSslConfiguration serverTlsConfiguration(const CertificateFiles &files)
{
    const QByteArray certificateBytes = readFile(files.certificate, "certificate");
    const QByteArray keyBytes = readFile(files.key, "key");
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateBytes, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull())
        fail(QStringLiteral("%1 holds no PEM certificate").arg(nativePath(files.certificate)));
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa}) {
        key = QSslKey(keyBytes, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull())
        fail(QStringLiteral("%1 holds no PEM private key (EC or RSA, not encrypted)")
                 .arg(nativePath(files.key)));
    // Qt would find out only at the first handshake.
    const Bio certificateIn = memoryOf(certificateBytes);
    const Bio keyIn = memoryOf(keyBytes);
    const Certificate leaf(PEM_read_bio_X509(certificateIn.get(), nullptr, nullptr, nullptr));
    const Key privateKey(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    if (!leaf || !privateKey || X509_check_private_key(leaf.get(), privateKey.get()) != 1)
        fail(QStringLiteral("%1 is not the key of the certificate in %2")
                 .arg(nativePath(files.key), nativePath(files.certificate)));
    const QDateTime expiry = chain.first().expiryDate();
    if (expiry < QDateTime::currentDateTimeUtc())
        qCWarning(lcTralvo, "Web: the certificate in %s expired on %s; browsers refuse it",
                  qPrintable(nativePath(files.certificate)),
                  qPrintable(expiry.toString(Qt::ISODate)));

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")});
    return configuration;
}
