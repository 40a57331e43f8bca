#include "cDownloadProgress.h"

#include "IView.h"
#include "net/cDownload.h"

#include <algorithm>

cDownloadProgress::cDownloadProgress(IView& view, const QString& display, int position, int count,
                                     cTimeCount::Clock clock)
    : view_(view), display_(display), position_(position), count_(count), clock_(clock)
{
}

cDownloadProgress::~cDownloadProgress()
{
    view_.SetDownloadProgress(-1, QString());
}

void cDownloadProgress::OnEvent(int32_t status, int64_t bytes, int32_t speed, int64_t total)
{
    if (status != cDownload::Connected && status != cDownload::ChunkReceived &&
        status != cDownload::TransferEnded)
        return;
    bytes_ = bytes;
    total_ = total;
    const uint32_t now = clock_();
    // The first event and the end always show; chunks in between at most once
    // per kUpdateMs (the clock may wrap: the difference is taken modulo 2^32).
    if (shown_ && status == cDownload::ChunkReceived && now - lastUpdate_ < kUpdateMs)
        return;
    shown_ = true;
    lastUpdate_ = now;
    view_.SetDownloadProgress(
        Permille(), DownloadProgressLine(display_, bytes, total, speed, position_, count_));
}

void cDownloadProgress::OnRetry(int32_t attempt, int32_t attempts)
{
    shown_ = true;
    lastUpdate_ = clock_();
    view_.SetDownloadProgress(
        Permille(), display_ + QStringLiteral(" 重新连接 (%1/%2)").arg(attempt).arg(attempts));
}

int32_t cDownloadProgress::Permille() const
{
    return total_ > 0 ? static_cast<int32_t>(std::clamp<int64_t>(bytes_ * 1000 / total_, 0, 1000))
                      : -1;
}

QString FormatByteSize(int64_t bytes)
{
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return QString::number(bytes) + QStringLiteral(" B");
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    // Round first, so that 1023.96 KB reads 1.0 MB rather than 1024.0 KB.
    while (unit + 1 < std::size(units) && value >= 1023.95) {
        value /= 1024.0;
        ++unit;
    }
    // QString::number does not follow the locale: a decimal point everywhere.
    return QString::number(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString DownloadProgressLine(const QString& display, int64_t bytes, int64_t total, int32_t speed,
                             int position, int count)
{
    QString line = display + u' ' + FormatByteSize(bytes);
    if (total > 0)
        line += QStringLiteral(" / ") + FormatByteSize(total);
    line += QStringLiteral(" · ") + FormatByteSize(std::max(speed, 0)) + QStringLiteral("/s");
    if (count > 0)
        line += QStringLiteral(" (%1/%2)").arg(position).arg(count);
    return line;
}
