#pragma once

#include "ExtensionEntry.h"
#include "startup/JsonNode.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// The main window's form-level state, shared by the catalogue procedures.
struct MainState
{
    std::vector<ExtensionEntry> Entries; // one per list row, in row order
    int32_t SelectedIndex = -1;
    bool Busy = false;            // a sync, download, installation or removal is under way
    bool CatalogueLoaded = false; // the account's catalogue rows have been loaded
    bool ProfileSynced = false;   // the last sync that reached the server stored a profile
    QString Endpoint;             // base URL of the profile service
    QString Hub;                  // base URL of the package archives, without trailing "/"
    // When the catalogue whose rows the list shows was synced: the time its
    // cache file was written. Invalid while the list shows no catalogue rows.
    QDateTime CatalogueTime;
    std::optional<JsonNode> InstalledDb;
    std::optional<JsonNode> EquipmentDb;
    int32_t EditorBuild = 0;
};
