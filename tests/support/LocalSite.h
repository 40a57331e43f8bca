#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The local vendor site (tovarinth-vendor serve) for one test: started on a
// free port of 127.0.0.1 with the given root folder and faults, ready to
// answer when the constructor returns, stopped by the destructor.
//   LocalSite site(root, {"/hub/=truncate:100", "/update/=hang"});
//   ASSERT_TRUE(site.IsRunning()) << site.Error().toStdString();
//   download.DownloadToFile(site.Url("/hub/x.Z"), path);
class LocalSite
{
public:
    // faults: "PATH_PREFIX=MODE[:ARG]" each, as serve's --fault takes them.
    explicit LocalSite(const QString& root, const QStringList& faults = {});
    ~LocalSite();

    // False when the site could not be started; Error() says why.
    bool IsRunning() const { return port_ > 0; }
    const QString& Error() const { return error_; }
    // "http://127.0.0.1:PORT", the text an endpoint file holds.
    QString BaseUrl() const { return QString("http://127.0.0.1:%1").arg(port_); }
    QString Url(const QString& path) const { return BaseUrl() + path; }
    // The request log so far, one line per request: method, path and query
    // as sent, user agent.
    QStringList LogLines() const;

private:
    QTemporaryDir logDir_;
    QProcess process_;
    int port_ = 0;
    QString error_;
};
