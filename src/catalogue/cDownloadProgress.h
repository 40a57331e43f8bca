#pragma once

#include "net/cTimeCount.h"

#include <QString>
#include <cstdint>

class IView;

// What the main window shows of one package download: the share done on the
// progress bar when the server sent the body's length, and a line with the
// package, the bytes so far, the total and the speed. The view is updated at
// most once per kUpdateMs and on the end of the transfer, so a fast download
// spends its time on the body rather than on drawing.
class cDownloadProgress
{
public:
    static constexpr uint32_t kUpdateMs = 100;

    // position and count place the package in an install-all; count 0 for a
    // single installation.
    cDownloadProgress(IView& view, const QString& display, int position = 0, int count = 0,
                      cTimeCount::Clock clock = &GetTickCount);
    // Takes the line away and gives the bar back to the busy marquee.
    ~cDownloadProgress();
    cDownloadProgress(const cDownloadProgress&) = delete;
    cDownloadProgress& operator=(const cDownloadProgress&) = delete;

    // One event of the download (status, bytes so far, speed in bytes per
    // second); total is the body's length, -1 when unknown.
    void OnEvent(int32_t status, int64_t bytes, int32_t speed, int64_t total);
    // The download waits to ask again: "宾得扩展 重新连接 (2/3)", the bar at
    // the share kept so far.
    void OnRetry(int32_t attempt, int32_t attempts);

private:
    // The share of the last event's bytes, -1 without a total.
    int32_t Permille() const;

    IView& view_;
    QString display_;
    int position_;
    int count_;
    cTimeCount::Clock clock_;
    bool shown_ = false;
    uint32_t lastUpdate_ = 0;
    int64_t bytes_ = 0;
    int64_t total_ = -1;
};

// 1023 B, 1.0 KB, 3.1 MB, 2.0 GB: units of 1024, one decimal above bytes,
// written the same in every locale.
QString FormatByteSize(int64_t bytes);

// "宾得扩展 3.1 MB / 12.0 MB · 1.2 MB/s (2/5)": the total only when known,
// the position only in an install-all.
QString DownloadProgressLine(const QString& display, int64_t bytes, int64_t total, int32_t speed,
                             int position, int count);
