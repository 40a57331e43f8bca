#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// One end-to-end scene: a display of its own (Xvfb), a world folder under the
// build tree (the editor installation, the vendor site's files, the settings
// store, a stand-in browser) and the real manager started in it. Everything
// the scene starts is stopped by its destructor, also after a failed check.
//
// The manager is driven as a user drives it: mouse clicks and key presses
// through xdotool (XTEST), and read back from screenshots (import) and the
// files it writes.
class E2eScene
{
public:
    // name: the scenario; its world is OUTPUT/worlds/<name>, emptied first,
    // and its screenshots OUTPUT/screenshots/<name>[-step].png.
    explicit E2eScene(const QString& name);
    ~E2eScene();
    E2eScene(const E2eScene&) = delete;
    E2eScene& operator=(const E2eScene&) = delete;

    // Starts Xvfb on a free display number. False with Error() on failure.
    bool StartDisplay();
    // demo-world for a site at url (extra: further demo-world arguments),
    // then the manager hard-linked into the editor folder (so that the
    // running executable's folder is the editor's).
    bool MakeWorld(const QString& url, const QStringList& extra = {});
    const QString& Error() const { return error_; }

    QString World() const { return world_; }
    QString Editor() const { return world_ + QStringLiteral("/editor"); }
    QString SiteRoot() const { return world_ + QStringLiteral("/site"); }
    QString EditorFile(const QString& name) const { return Editor() + u'/' + name; }
    QString Manager() const { return EditorFile(QStringLiteral("tovarinth")); }
    // The INI file of the shared settings store in this scene's XDG_CONFIG_HOME.
    QString SettingsFile() const;
    // What the stand-in browser was asked to open, one URL per line.
    QString BrowserLog() const { return world_ + QStringLiteral("/browser.txt"); }

    // The manager with TOVARINTH_VENDOR_URL = vendorUrl; stdout and stderr
    // go to a log file of the world (one per start).
    bool StartManager(const QString& vendorUrl);
    bool ManagerRunning() const;
    // True when the manager ended within ms; exitCode then holds its code.
    bool WaitManagerFinished(int ms, int* exitCode = nullptr);
    QString ManagerLog() const;
    // The message boxes the manager showed in its last run, in order, as
    // "title: text" (from its trace file).
    QStringList Messages() const;

    // X windows by id (decimal text, as xdotool prints them).
    QStringList VisibleWindows() const;
    QString WindowName(const QString& id) const;
    QRect Geometry(const QString& id) const;
    // The first visible window with exactly this title, waiting up to ms;
    // empty when none showed.
    QString WaitForWindow(const QString& title, int ms) const;
    bool WaitWindowGone(const QString& id, int ms) const;
    // No visible window with this title for the whole of ms.
    bool StaysAbsent(const QString& title, int ms) const;

    bool Xdo(const QStringList& args) const;
    // Gives the window the keyboard focus, then types keys ("alt+i", "Return").
    bool KeyTo(const QString& id, const QString& keys) const;
    bool Click(int x, int y, int button = 1, int repeat = 1) const;
    bool Resize(const QString& id, int width, int height) const;

    // The whole screen, saved as screenshots/<name>-<step>.png (or <name>.png
    // when step is empty) and returned.
    QImage Shot(const QString& step = QString()) const;
    // The same once a window that just appeared has had time to paint itself
    // (a window mapped but not yet painted shows what was behind it).
    QImage ShotOfNewWindow(const QString& step = QString()) const;

private:
    QProcessEnvironment Environment() const;

    QString name_;
    QString world_;
    QString shots_;
    QString display_;
    QString error_;
    int managerRuns_ = 0;
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> manager_;
    mutable QElapsedTimer lastClick_;
};

// Pixel helpers over screenshots.
namespace E2ePixels {

// The band of the selected row (the style's highlight colour) in the pixel
// column x between y from and to: its top and height; none when no band.
std::optional<std::pair<int, int>> HighlightBand(const QImage& image, int x, int from, int to);

// Number of pixels of exactly this colour inside rect.
int CountColour(const QImage& image, const QRect& rect, QRgb colour);

} // namespace E2ePixels

// Runs a helper program with an environment and a bound on its time.
struct E2eRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
E2eRun RunWithin(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                 int ms);
