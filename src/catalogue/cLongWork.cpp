#include "cLongWork.h"

#include "Catalogue.h"
#include "net/cDownload.h"

#include <utility>

namespace {

bool IsTransient(int32_t status)
{
    return status == Downloading || status == Installing || status == Uninstalling;
}

} // namespace

cLongWork::cLongWork(Catalogue& catalogue, Kind kind)
    : catalogue_(catalogue), kind_(kind), outer_(std::exchange(catalogue.work_, this)),
      stoppable_(kind == Kind::Install)
{
    catalogue_.State().Busy = true;
    catalogue_.UpdateControls();
}

cLongWork::~cLongWork()
{
    // The row first, so that the controls below count it as what it is again
    // (a cancelled package is installable), and the focus last, after the
    // buttons it might otherwise have fallen on were hidden or disabled.
    EndRow();
    catalogue_.work_ = outer_;
    catalogue_.State().Busy = outer_ != nullptr;
    catalogue_.UpdateControls();
    if (kind_ != Kind::Sync)
        catalogue_.View().FocusList(row_);
}

void cLongWork::RequestStop()
{
    if (!stoppable_)
        return;
    stopRequested_ = true;
    if (running_)
        running_->StopDownload();
}

void cLongWork::SetStoppable(bool stoppable)
{
    stoppable_ = stoppable && CancelOffered();
    catalogue_.View().SetCancel(CancelOffered(), stoppable_);
}

void cLongWork::SetBatchPosition(int position, int count)
{
    batchPosition_ = position;
    batchCount_ = count;
}

void cLongWork::BeginRow(int32_t index)
{
    EndRow();
    const std::vector<ExtensionEntry>& entries = catalogue_.State().Entries;
    row_ = index;
    rowOpen_ = index >= 0 && index < static_cast<int32_t>(entries.size());
    rowChecksum_ = rowOpen_ ? entries[static_cast<size_t>(index)].Checksum : QString();
    rowBefore_ = rowOpen_ ? entries[static_cast<size_t>(index)].Status : Installed;
}

bool cLongWork::RowInPlace() const
{
    const std::vector<ExtensionEntry>& entries = catalogue_.State().Entries;
    return rowOpen_ && row_ < static_cast<int32_t>(entries.size()) &&
           entries[static_cast<size_t>(row_)].Checksum == rowChecksum_;
}

void cLongWork::ShowRow(int32_t status)
{
    if (RowInPlace())
        ShowRowStatus(catalogue_, row_, status);
}

void cLongWork::EndRow(std::optional<int32_t> outcome)
{
    // A row rebuilt meanwhile shows what the files say; only a status of
    // this work is taken back.
    if (RowInPlace() &&
        (outcome || IsTransient(catalogue_.State().Entries[static_cast<size_t>(row_)].Status)))
        ShowRowStatus(catalogue_, row_, outcome.value_or(rowBefore_));
    rowOpen_ = false;
}

cLongWork::Transfer::Transfer(cLongWork* work, cDownload& download, const QString& display)
    : work_(work), download_(download)
{
    if (!work_)
        return;
    progress_.emplace(work_->catalogue_.View(), display, work_->batchPosition_, work_->batchCount_);
    download.DownloadEvent = [this](int32_t status, int32_t bytes, int32_t speed) {
        progress_->OnEvent(status, bytes, speed, download_.ContentLength());
    };
    download.RetryEvent = [this](int32_t attempt, int32_t attempts) {
        progress_->OnRetry(attempt, attempts);
    };
    work_->running_ = &download;
}

cLongWork::Transfer::~Transfer()
{
    if (!work_)
        return;
    work_->running_ = nullptr;
    download_.DownloadEvent = nullptr;
    download_.RetryEvent = nullptr;
}

void ShowRowStatus(Catalogue& catalogue, int32_t row, int32_t status)
{
    std::vector<ExtensionEntry>& entries = catalogue.State().Entries;
    if (row < 0 || row >= static_cast<int32_t>(entries.size()))
        return;
    entries[static_cast<size_t>(row)].Status = status;
    if (row >= catalogue.View().count())
        return;
    catalogue.View().SetItemTag(row, status);
    catalogue.View().SubItemSet(row, 3, GetStatusText(status), -1);
}
