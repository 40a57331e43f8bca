#pragma once

#include "cDownloadProgress.h"

#include <QString>
#include <cstdint>
#include <optional>

class Catalogue;
class cDownload;

// One long operation of the main window, from the command that starts it to
// its end: the sync, installing one package, all of them or one from a file,
// a removal. While one lives, Catalogue::WorkRunning() is true and every
// entry point refuses, and Busy is set (the sync's handler clears it early:
// from then on the list and the close button are the user's again). It holds
// the stop request, the download it stops, the progress shown for that
// download and the transient status of the row worked on.
//
// When it ends, on every path (an exception included): the row takes back the
// status it had unless the work gave it its outcome, then the controls are
// worked out from the rows as they are, then the list gets the keyboard focus
// on that row - never a button that the next key would press.
class cLongWork
{
public:
    enum class Kind
    {
        Sync,    // the probe and the profile sync; the focus stays where the user put it
        Install, // one package, all of them, one from a file: the cancel button shows
        Remove,
    };

    cLongWork(Catalogue& catalogue, Kind kind);
    ~cLongWork();
    cLongWork(const cLongWork&) = delete;
    cLongWork& operator=(const cLongWork&) = delete;

    // The cancel button and Escape. Taken only while the work is stoppable;
    // it ends the running download at once, also in the middle of a wait.
    void RequestStop();
    bool StopRequested() const { return stopRequested_; }

    bool CancelOffered() const { return kind_ == Kind::Install; }
    // An installation stops being stoppable once its archive is in place: from
    // there it completes, and the cancel button is disabled meanwhile.
    // Install-all makes each next package stoppable again.
    bool Stoppable() const { return stoppable_; }
    void SetStoppable(bool stoppable);

    // The package's place in an install-all, for the progress line.
    void SetBatchPosition(int position, int count);

    // The row worked on (an index of Entries). BeginRow settles the row before
    // it; ShowRow shows a transient status (downloading, installing,
    // removing); EndRow shows the outcome and keeps it, or without one gives
    // the row back the status it had.
    void BeginRow(int32_t index);
    void ShowRow(int32_t status);
    void EndRow(std::optional<int32_t> outcome = std::nullopt);

    // While one lives, its download is the one a stop request ends, and the
    // download's progress shows on the bar and the line. Does nothing
    // without a work.
    class Transfer
    {
    public:
        Transfer(cLongWork* work, cDownload& download, const QString& display);
        ~Transfer();
        Transfer(const Transfer&) = delete;
        Transfer& operator=(const Transfer&) = delete;

    private:
        cLongWork* work_;
        cDownload& download_;
        std::optional<cDownloadProgress> progress_;
    };

private:
    // The row still exists as it was begun: the list may have been rebuilt.
    bool RowInPlace() const;

    Catalogue& catalogue_;
    Kind kind_;
    cLongWork* outer_;
    bool stoppable_;
    bool stopRequested_ = false;
    cDownload* running_ = nullptr;
    int batchPosition_ = 0;
    int batchCount_ = 0;
    int32_t row_ = -1;
    QString rowChecksum_;
    int32_t rowBefore_ = 0;
    bool rowOpen_ = false; // a transient status may be showing
};

// A status in a row's cell and in Entries; only Entries for a row the list
// does not show (yet).
void ShowRowStatus(Catalogue& catalogue, int32_t row, int32_t status);
