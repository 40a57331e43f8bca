#include "E2eScene.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kHelperMs = 15000;  // one xdotool or import call
constexpr int kDisplayMs = 10000; // Xvfb until it names its display
constexpr int kStopMs = 5000;
constexpr qint64 kClickGapMs = 600; // Qt's double-click interval is 400 ms

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The process and its children get SIGTERM, then SIGKILL.
void Stop(QProcess* process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(kStopMs)) {
        process->kill();
        process->waitForFinished(kStopMs);
    }
}

} // namespace

E2eRun RunWithin(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                 int ms)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    E2eRun run;
    if (!process.waitForStarted(ms))
        return run;
    process.closeWriteChannel();
    run.finished = process.waitForFinished(ms);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(kStopMs);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

E2eScene::E2eScene(const QString& name)
    : name_(name), world_(QStringLiteral(E2E_OUTPUT_DIR "/worlds/") + name),
      shots_(QStringLiteral(E2E_OUTPUT_DIR "/screenshots"))
{
    QDir(world_).removeRecursively();
    QDir().mkpath(world_ + QStringLiteral("/site"));
    QDir().mkpath(world_ + QStringLiteral("/config"));
    QDir().mkpath(shots_);

    // The stand-in browser: Qt hands a URL to xdg-open when it finds one on
    // PATH, so a script of that name first on PATH records what the manager
    // opens.
    const QString bin = world_ + QStringLiteral("/bin");
    QDir().mkpath(bin);
    QFile script(bin + QStringLiteral("/xdg-open"));
    if (script.open(QIODevice::WriteOnly)) {
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + BrowserLog().toLocal8Bit() +
                     "\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

E2eScene::~E2eScene()
{
    Stop(manager_.get());
    Stop(xvfb_.get());
}

QProcessEnvironment E2eScene::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), world_ + QStringLiteral("/config"));
    if (!display_.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display_);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XAUTHORITY"));
    // The test program itself runs offscreen; the manager needs the display.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("0"));
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    env.insert(QStringLiteral("PATH"),
               world_ + QStringLiteral("/bin:") +
                   env.value(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin")));
    // Leaks inside the system's libraries are suppressed by library; our own
    // code keeps leak detection (also when the program runs outside ctest).
    if (!env.contains(QStringLiteral("LSAN_OPTIONS")))
        env.insert(QStringLiteral("LSAN_OPTIONS"),
                   QStringLiteral("suppressions=" E2E_LSAN_SUPPRESSIONS ":print_suppressions=0"));
    return env;
}

bool E2eScene::StartDisplay()
{
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setProcessEnvironment(Environment());
    xvfb_->setStandardErrorFile(world_ + QStringLiteral("/xvfb.log"));
    // -displayfd: the server picks a free display number and writes it to
    // standard output once it accepts connections.
    xvfb_->start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x1000x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!xvfb_->waitForStarted(kDisplayMs)) {
        error_ = QStringLiteral("Xvfb did not start: ") + xvfb_->errorString();
        return false;
    }
    const QDeadlineTimer deadline(kDisplayMs);
    while (!xvfb_->canReadLine() && !deadline.hasExpired() && xvfb_->state() == QProcess::Running)
        xvfb_->waitForReadyRead(100);
    const QByteArray number = xvfb_->readLine().trimmed();
    bool ok = false;
    number.toInt(&ok);
    if (!ok) {
        error_ = QStringLiteral("Xvfb named no display");
        return false;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(number);
    return true;
}

bool E2eScene::MakeWorld(const QString& url, const QStringList& extra)
{
    QStringList args{QStringLiteral("demo-world"),
                     QStringLiteral("--data"),
                     QStringLiteral(E2E_DEMO_DATA),
                     QStringLiteral("--world"),
                     world_,
                     QStringLiteral("--url"),
                     url};
    args << extra;
    const E2eRun run =
        RunWithin(QStringLiteral(TOVARINTH_VENDOR_TOOL), args, Environment(), kHelperMs);
    if (!run.finished || run.exitCode != 0) {
        error_ = QStringLiteral("demo-world failed: ") + QString::fromLocal8Bit(run.err);
        return false;
    }
    // A hard link keeps the executable's own folder the editor's without
    // copying the sanitizer build every time; a copy where links fail.
    QFile::remove(Manager());
    if (::link(QFile::encodeName(QStringLiteral(E2E_MANAGER)).constData(),
               QFile::encodeName(Manager()).constData()) != 0 &&
        !QFile::copy(QStringLiteral(E2E_MANAGER), Manager())) {
        error_ = QStringLiteral("the manager could not be put into ") + Editor();
        return false;
    }
    return true;
}

QString E2eScene::SettingsFile() const
{
    return world_ + QStringLiteral("/config/Kestrovia/Kestrovia.ini");
}

bool E2eScene::StartManager(const QString& vendorUrl)
{
    Stop(manager_.get());
    manager_ = std::make_unique<QProcess>();
    QProcessEnvironment env = Environment();
    env.insert(QStringLiteral("TOVARINTH_VENDOR_URL"), vendorUrl);
    env.insert(QStringLiteral("TOVARINTH_TRACE_FILE"),
               world_ + QStringLiteral("/trace-%1.txt").arg(managerRuns_ + 1));
    manager_->setProcessEnvironment(env);
    manager_->setWorkingDirectory(world_);
    manager_->setProcessChannelMode(QProcess::MergedChannels);
    manager_->setStandardOutputFile(world_ + QStringLiteral("/manager-%1.log").arg(++managerRuns_));
    manager_->start(Manager(), {});
    if (!manager_->waitForStarted(kHelperMs)) {
        error_ = QStringLiteral("the manager did not start: ") + manager_->errorString();
        return false;
    }
    return true;
}

bool E2eScene::ManagerRunning() const
{
    return manager_ && manager_->state() != QProcess::NotRunning;
}

bool E2eScene::WaitManagerFinished(int ms, int* exitCode)
{
    if (!manager_)
        return false;
    if (manager_->state() != QProcess::NotRunning && !manager_->waitForFinished(ms))
        return false;
    if (exitCode)
        *exitCode = manager_->exitStatus() == QProcess::NormalExit ? manager_->exitCode() : -1;
    return true;
}

QString E2eScene::ManagerLog() const
{
    QFile log(world_ + QStringLiteral("/manager-%1.log").arg(managerRuns_));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QStringList E2eScene::Messages() const
{
    QFile trace(world_ + QStringLiteral("/trace-%1.txt").arg(managerRuns_));
    QStringList messages;
    if (!trace.open(QIODevice::ReadOnly))
        return messages;
    // "message-box:TITLE:TEXT <ms> <ms>", title and text percent-encoded.
    for (const QByteArray& line : trace.readAll().split('\n')) {
        if (!line.startsWith("message-box:"))
            continue;
        const QList<QByteArray> parts = line.split(' ').first().split(':');
        if (parts.size() == 3)
            messages << QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1])) +
                            QStringLiteral(": ") +
                            QString::fromUtf8(QByteArray::fromPercentEncoding(parts[2]));
    }
    return messages;
}

bool E2eScene::Xdo(const QStringList& args) const
{
    const E2eRun run = RunWithin(QStringLiteral("xdotool"), args, Environment(), kHelperMs);
    return run.finished && run.exitCode == 0;
}

QStringList E2eScene::VisibleWindows() const
{
    // Depth 1: the top-level windows, not the root.
    const E2eRun run =
        RunWithin(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--maxdepth"), QStringLiteral("1"),
                   QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QString()},
                  Environment(), kHelperMs);
    QStringList ids = QString::fromLatin1(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const E2eRun root = RunWithin(QStringLiteral("xdotool"),
                                  {QStringLiteral("search"), QStringLiteral("--maxdepth"),
                                   QStringLiteral("0"), QStringLiteral("--name"), QString()},
                                  Environment(), kHelperMs);
    for (const QString& r : QString::fromLatin1(root.out).split(u'\n', Qt::SkipEmptyParts))
        ids.removeAll(r);
    return ids;
}

QString E2eScene::WindowName(const QString& id) const
{
    const E2eRun run = RunWithin(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), id},
                                 Environment(), kHelperMs);
    QString name = QString::fromUtf8(run.out);
    if (name.endsWith(u'\n'))
        name.chop(1);
    return name;
}

QRect E2eScene::Geometry(const QString& id) const
{
    const E2eRun run =
        RunWithin(QStringLiteral("xdotool"),
                  {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id},
                  Environment(), kHelperMs);
    int values[4] = {0, 0, 0, 0};
    const char* keys[4] = {"X=", "Y=", "WIDTH=", "HEIGHT="};
    for (const QByteArray& line : run.out.split('\n'))
        for (int i = 0; i < 4; ++i)
            if (line.startsWith(keys[i]))
                values[i] = line.mid(static_cast<int>(qstrlen(keys[i]))).toInt();
    return QRect(values[0], values[1], values[2], values[3]);
}

QString E2eScene::WaitForWindow(const QString& title, int ms) const
{
    const QDeadlineTimer deadline(ms);
    do {
        for (const QString& id : VisibleWindows())
            if (WindowName(id) == title)
                return id;
        Pause(100);
    } while (!deadline.hasExpired());
    return QString();
}

bool E2eScene::WaitWindowGone(const QString& id, int ms) const
{
    const QDeadlineTimer deadline(ms);
    do {
        if (!VisibleWindows().contains(id))
            return true;
        Pause(100);
    } while (!deadline.hasExpired());
    return false;
}

bool E2eScene::StaysAbsent(const QString& title, int ms) const
{
    return WaitForWindow(title, ms).isEmpty();
}

bool E2eScene::KeyTo(const QString& id, const QString& keys) const
{
    // Without a window manager nobody moves the focus back to the main window
    // after a message box closes: set it before every key press.
    return Xdo({QStringLiteral("windowfocus"), id}) &&
           Xdo({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

bool E2eScene::Click(int x, int y, int button, int repeat) const
{
    // Two single clicks closer together than the double-click interval would
    // make a double click (and open a model browser): keep them apart.
    const qint64 since = lastClick_.isValid() ? lastClick_.elapsed() : kClickGapMs;
    if (since < kClickGapMs)
        Pause(static_cast<int>(kClickGapMs - since));
    lastClick_.start();
    return Xdo({QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(repeat),
                QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
}

bool E2eScene::Resize(const QString& id, int width, int height) const
{
    if (!Xdo({QStringLiteral("windowsize"), id, QString::number(width), QString::number(height)}))
        return false;
    const QDeadlineTimer deadline(5000);
    while (Geometry(id).size() != QSize(width, height)) {
        if (deadline.hasExpired())
            return false;
        Pause(50);
    }
    return true;
}

QImage E2eScene::Shot(const QString& step) const
{
    const QString file =
        shots_ + u'/' + name_ + (step.isEmpty() ? QString() : u'-' + step) + QStringLiteral(".png");
    QFile::remove(file);
    RunWithin(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file},
              Environment(), kHelperMs);
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

QImage E2eScene::ShotOfNewWindow(const QString& step) const
{
    Pause(300);
    return Shot(step);
}

namespace E2ePixels {

std::optional<std::pair<int, int>> HighlightBand(const QImage& image, int x, int from, int to)
{
    if (x < 0 || x >= image.width())
        return std::nullopt;
    to = std::min(to, image.height());
    // The style's selection colour is a saturated blue; the list's own
    // backgrounds are white and near-white, the header grey.
    const auto selected = [&](int y) {
        const QRgb p = image.pixel(x, y);
        return qBlue(p) > 120 && qBlue(p) - qRed(p) > 60;
    };
    for (int y = std::max(from, 0); y < to; ++y) {
        if (!selected(y))
            continue;
        int end = y;
        while (end < to && selected(end))
            ++end;
        if (end - y >= 12)
            return std::make_pair(y, end - y);
        y = end;
    }
    return std::nullopt;
}

int CountColour(const QImage& image, const QRect& rect, QRgb colour)
{
    const QRect r = rect.intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu))
                ++n;
    return n;
}

} // namespace E2ePixels
