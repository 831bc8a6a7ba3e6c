#pragma once

#include <QSslConfiguration>
#include <QString>

// The files a TLS listener shows: a certificate (PEM, any chain after it) and its key (PEM).
struct CertificateFiles
{
    QString certificate;
    QString key;
};

// The till's own certificate: one key (EC P-256) and a self-signed certificate for 127.0.0.1, ::1
// and localhost that vouches for nothing else (CA:FALSE), made the first time it is needed and
// kept where only the account Tralvo runs as and administrators may read the key: the service's
// state directory (STATE_DIRECTORY), /var/lib/tralvo for root, or the user's own state folder on
// Linux; %ProgramData%\Tralvo\https with an access list for Administrators and SYSTEM alone on
// Windows. Nothing else is written.
namespace TillCertificate {

QString folder();
CertificateFiles files();
// The pair in folder(), made now if either file is missing. Throws std::runtime_error with the
// reason when it cannot be made, or when the files there are no usable pair (they are never
// overwritten then: an administrator may have trusted the certificate).
CertificateFiles ensure();

} // namespace TillCertificate

// The server side of TLS 1.2 or newer, showing files' certificate with its key, asking for no
// client certificate. Throws std::runtime_error naming the file and what is wrong with it:
// missing or unreadable, no PEM certificate or key, or a key that is not the certificate's.
QSslConfiguration serverTlsConfiguration(const CertificateFiles &files);
