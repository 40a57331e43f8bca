#pragma once

#include <QString>
#include <cstdint>

// The status of one row of the main list.
enum ExtensionStatus : int32_t
{
    Installed = 0,
    OrderPending = 1,
    PendingDownload = 2,
    PendingUpdate = 3,
    Downloading = 4,
    PendingInstall = 5,
    Installing = 6,
    Uninstalling = 7,
    NotPurchased = 8,
    Failed = 9,
    Superseded = 10,
};

// One row of the main list: a built-in maker or a package of the account.
struct ExtensionEntry
{
    QString Name;       // package key; the maker key for built-in rows
    QString Display;    // display name
    QString Checksum;   // package identifier; empty for built-in rows
    QString Descriptor; // decrypted extension.cfg, with its zero padding, or empty
    QString Version;    // normalised version
    bool IsExtension = false;
    bool PendingSave = false; // installed in this run, not yet written to the database
    int32_t Status = Installed;
};

// The label shown for a status: text, then the symbol when it has one. Empty
// for codes outside 0..10.
QString GetStatusText(int32_t status);

// True for the statuses an installation can start from: 2, 3, 5 and 9.
bool IsInstallable(int32_t status);

// Appends ".0" when the last "." is the second character (1.2 -> 1.2.0).
QString NormalizeVersion(const QString& version);
