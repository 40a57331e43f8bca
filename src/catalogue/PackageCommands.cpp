// The user's commands on packages: install one or all, remove, buy, browse.

#include "Catalogue.h"
#include "JsonLookup.h"
#include "cLongWork.h"
#include "crypto/MachineKey.h"
#include "net/VendorUrl.h"

#include <algorithm>
#include <utility>

namespace {
constexpr int32_t kQuestion = MsgStyle::YesNo + MsgStyle::Question;
} // namespace

bool Catalogue::CheckPackageSupport()
{
    if (state_.EditorBuild >= kMinimumEditorBuild)
        return true;
    prompt_.MsgBox(QStringLiteral("当前编辑器版本不支持扩展包，请升级到最新版后重试"),
                   MsgStyle::Critical, CatalogueText::ErrorTitle);
    return false;
}

void Catalogue::CancelWork()
{
    if (work_)
        work_->RequestStop();
}

void Catalogue::InstallAll()
{
    if (work_ || !CheckPackageSupport())
        return;
    cLongWork work(*this, cLongWork::Kind::Install);
    bool failed = false;
    const int32_t rows =
        std::min<int32_t>(view_.count(), static_cast<int32_t>(state_.Entries.size()));
    const auto count = static_cast<int>(
        std::count_if(state_.Entries.begin(), state_.Entries.begin() + rows,
                      [](const ExtensionEntry& entry) { return IsInstallable(entry.Status); }));
    std::vector<size_t> installed;
    int position = 0;
    for (int32_t i = 0; i < rows && !work.StopRequested(); ++i) {
        if (IsInstallable(state_.Entries[static_cast<size_t>(i)].Status)) {
            work.SetBatchPosition(++position, count);
            work.SetStoppable(true);
            if (InstallPackage(state_.Entries[static_cast<size_t>(i)].Checksum, true)) {
                installed.push_back(static_cast<size_t>(i));
            } else if (!work.StopRequested()) { // a cancelled package has not failed
                state_.Entries[static_cast<size_t>(i)].Status = Failed;
                failed = true;
            }
        }
        view_.DoEvents();
    }
    work.SetStoppable(false);
    // Once, after the batch; a database that could not be written leaves
    // every package of the batch unrecorded: a failure, even of a cancelled one.
    failed = !RecordPackages(installed) || failed;
    if (failed)
        prompt_.MsgBox(QStringLiteral("部分扩展包安装失败！"), MsgStyle::Exclamation,
                       QStringLiteral("提醒"));
    else if (work.StopRequested())
        prompt_.MsgBox(
            QStringLiteral("已取消安装，取消前已成功安装 %1 个扩展包。").arg(installed.size()),
            MsgStyle::Information, CatalogueText::HintTitle);
    else
        prompt_.MsgBox(QStringLiteral("成功安装所有已购买的扩展包！"), MsgStyle::Information,
                       CatalogueText::HintTitle);
    RefreshList();
}

Catalogue::InstallFault Catalogue::InstallOne(int32_t row, bool carriedIn)
{
    const ExtensionEntry entry = state_.Entries[static_cast<size_t>(row)];
    InstallFault fault = InstallFault::Failed;
    if (!InstallPackage(entry.Checksum, false, &fault)) {
        // The user who cancelled knows; the row is back as it was.
        if (work_ && work_->StopRequested())
            return fault;
        if (carriedIn && fault == InstallFault::Damaged)
            prompt_.MsgBox(CatalogueText::ArchiveUnsafe, MsgStyle::Exclamation,
                           CatalogueText::ReminderTitle);
        else if (carriedIn && fault == InstallFault::CannotWrite)
            prompt_.MsgBox(CatalogueText::FolderNotWritable, MsgStyle::Critical,
                           CatalogueText::ErrorTitle);
        else
            prompt_.MsgBox(QStringLiteral("安装扩展包失败！"), MsgStyle::Critical,
                           CatalogueText::ErrorTitle);
        return fault;
    }
    prompt_.MsgBox(QStringLiteral("成功安装 ") + entry.Display + QStringLiteral(" 扩展包！"),
                   MsgStyle::Information, CatalogueText::HintTitle);
    RefreshList();
    return InstallFault::None;
}

void Catalogue::ContextCommand(int index)
{
    const int32_t selected = state_.SelectedIndex;
    const bool haveRow = selected >= 0 && selected < static_cast<int32_t>(state_.Entries.size());
    if (work_) // every command waits for the long work under way to end
        return;
    switch (index) {
    case 0: {
        if (!haveRow || !CheckPackageSupport())
            return;
        cLongWork work(*this, cLongWork::Kind::Install);
        InstallOne(selected);
        return;
    }
    case 1: {
        if (!haveRow)
            return;
        cLongWork work(*this, cLongWork::Kind::Remove);
        const ExtensionEntry row = state_.Entries[static_cast<size_t>(selected)];
        if (!UninstallPackage(row.Checksum)) {
            prompt_.MsgBox(QStringLiteral("卸载扩展包失败！"), MsgStyle::Critical,
                           CatalogueText::ErrorTitle);
            return;
        }
        prompt_.MsgBox(QStringLiteral("成功卸载 ") + row.Display + QStringLiteral(" 扩展包！"),
                       MsgStyle::Information, CatalogueText::HintTitle);
        RefreshList();
        return;
    }
    case 2:
        if (haveRow)
            prompt_.OpenUrl(PurchaseLink(selected));
        return;
    case 99:
        RowDoubleClick();
        return;
    default:
        return;
    }
}

QString Catalogue::PurchaseLink(int row) const
{
    // The inserted values go in as they are; the last literal is already
    // percent-encoded.
    return PurchasePageUrl() + QStringLiteral("email=") + process_.UserName +
           QStringLiteral("&sn=") + GetMachineID() + QStringLiteral("&t=") + UnixTimeNow() +
           QStringLiteral("&from=%2Fregister%2Fmy-plans%3Fext%3D") +
           state_.Entries[static_cast<size_t>(row)].Name;
}

void Catalogue::RowDoubleClick()
{
    const int32_t selected = state_.SelectedIndex;
    if (work_ || selected < 0 || selected >= static_cast<int32_t>(state_.Entries.size()))
        return;
    const ExtensionEntry row = state_.Entries[static_cast<size_t>(selected)];
    if (row.Status != Installed && row.Status != Superseded) {
        if (IsInstallable(row.Status)) {
            if (prompt_.MsgBox(QStringLiteral("是否安装 ") + row.Display +
                                   QStringLiteral(" 型号扩展包？"),
                               kQuestion, QStringLiteral("安装扩展包")) == MsgAnswer::Yes)
                ContextCommand(0);
        } else if (row.Status == NotPurchased) {
            if (prompt_.MsgBox(QStringLiteral("当前尚未购买 ") + row.Display +
                                   QStringLiteral(" 扩展包，是否前往购买？"),
                               kQuestion, QStringLiteral("购买扩展包")) == MsgAnswer::Yes)
                ContextCommand(2);
        }
        return;
    }

    std::optional<JsonNode> models;
    try {
        if (row.IsExtension) {
            if (state_.InstalledDb)
                models = state_.InstalledDb->Item(row.Name);
        } else if (state_.EquipmentDb) {
            models = state_.EquipmentDb->Item(QStringLiteral("bodies")).Item(row.Name);
        }
    } catch (const JsonError&) {
        models.reset();
    }
    view_.ShowModelBrowser(models, row.Display, row.IsExtension, row.Version);
}

std::optional<Catalogue::ContextMenuState> Catalogue::ListMouseUp(int button, int selectedRow)
{
    state_.SelectedIndex = -1;
    if (selectedRow < 0 || selectedRow >= static_cast<int>(state_.Entries.size()))
        return std::nullopt;
    state_.SelectedIndex = selectedRow;
    if (button != 2 || work_)
        return std::nullopt;
    const ExtensionEntry& row = state_.Entries[static_cast<size_t>(selectedRow)];
    ContextMenuState menu;
    menu.install = row.IsExtension && IsInstallable(row.Status);
    menu.uninstall = row.IsExtension && row.Status == Installed;
    menu.buyVisible = row.IsExtension && row.Status == NotPurchased;
    menu.browse = row.Status == Installed;
    return menu;
}
