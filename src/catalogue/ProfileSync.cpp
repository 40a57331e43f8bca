// The profile sync: the endpoint file, then the account's profile, which
// replaces the catalogue cache only after it deciphers and parses from disk.

#include "Catalogue.h"
#include "JsonLookup.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "net/VendorUrl.h"
#include "net/cDownload.h"
#include "net/cPartialDownload.h"
#include "startup/FileIo.h"
#include "startup/Trace.h"

#include <QFile>

namespace {

const QString kSyncFailedTitle = CatalogueText::ErrorTitle;
constexpr int32_t kRetryCritical = MsgStyle::RetryCancel + MsgStyle::Critical;

} // namespace

void Catalogue::PingReturn(bool successStatus)
{
    state_.Busy = false;
    const auto ask = [&](const QString& text) {
        if (prompt_.MsgBox(text, kRetryCritical, kSyncFailedTitle) == MsgAnswer::Retry)
            view_.EnableCheckOnline();
    };

    if (!successStatus) {
        ask(QStringLiteral("服务器无响应！"));
    } else {
        cDownload download;
        ByteArray buffer;
        int32_t n = download.DownloadToBuffer(
            DefaultUpdateUrl() + QStringLiteral("tvh_endpoint.txt"), buffer);
        const QString endpoint = n > 0 ? Utf8ToString(buffer) : QString();
        if (n <= 0 || !endpoint.startsWith(QLatin1String("http"))) {
            state_.ProfileSynced = false;
            ask(QStringLiteral("下载配置文件失败！"));
        } else {
            state_.Endpoint = endpoint;
            const QString url = state_.Endpoint + QStringLiteral("/kvxta_user_ext_info/?u=") +
                                process_.UserName + QStringLiteral("&s=") + GetMachineID() +
                                QStringLiteral("&t=") + UnixTimeNow() + QStringLiteral("&a=") +
                                GetVersionTag();

            buffer.reset();
            n = download.DownloadToBuffer(url, buffer);
            const QString tmp = ProgramFile(QStringLiteral("extcache.tmp"));
            const QString cache = ProgramFile(QStringLiteral("extcache.cfg"));
            // The file an earlier attempt left goes first, so that a failed
            // write can never let it be validated in place of this answer.
            bool written = false;
            if (n > 0) {
                QFile::remove(tmp);
                written = WriteEnvelopeFile(tmp, *buffer, false);
            }

            std::optional<JsonNode> root;
            int c = 0;
            if (written && FileLength(tmp) > 0) {
                const ByteArray plain = ReadEnvelopeFile(tmp, false);
                if (!IsArrayEmpty(plain))
                    root = JsonNode::parse(Utf8ToString(plain));
                c = CountOf(root, QStringLiteral("extensions"));
            }

            if (written && c > 0 && RenameOver(tmp, cache)) {
                state_.ProfileSynced = true;
                LoadExtensionCache();
                // Partial downloads of packages the account no longer holds
                // will never be continued.
                QSet<QString> held;
                for (const ExtensionEntry& entry : state_.Entries)
                    held.insert(entry.Checksum + QStringLiteral(".Z"));
                cPartialDownload::Tidy(ProgramFile(QStringLiteral("Downloads")), held);
                Trace::Mark(QStringLiteral("sync-done"));
            } else {
                state_.ProfileSynced = false;
                QString text = QStringLiteral("获取用户扩展包信息失败！");
                if (root) {
                    try {
                        text = u'[' + root->Item(QStringLiteral("code")).text() +
                               QStringLiteral("] ") + root->Item(QStringLiteral("message")).text();
                    } catch (const JsonError&) {
                    }
                }
                ask(text);
            }
        }
    }

    // Off line the packages of the last accepted catalogue stay listed, so
    // that they can still be browsed and removed; the sync state says when
    // that catalogue was synced.
    if (!state_.ProfileSynced)
        LoadExtensionCache(true);
    UpdateControls();
}
